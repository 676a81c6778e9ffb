#!/usr/bin/env python3
"""Holds every list of plans, outcomes and reason codes kept outside C++ to
the program's own table (fleet/session/outcomes.cpp, printed as JSON by
print-fleet-outcomes): the report's schema, the manual page, docs/fleet.md,
the Ansible collection's fleet_outcomes.py (written from the table) and the
default fail_on that the collection's role, modules and docs spell out.

    check_outcomes.py PRINT_FLEET_OUTCOMES SOURCE_DIR [--write]

--write writes ansible/plugins/module_utils/fleet_outcomes.py from the table;
without it, any difference is an error (exit 1), each one named."""

import ast
import json
import re
import subprocess
import sys
from pathlib import Path

import yaml

PYTHON_FILE = "ansible/plugins/module_utils/fleet_outcomes.py"


def python_text(table):
    def codes(kind):
        return [row["code"] for row in table[kind]]

    def tuple_text(name, words):
        return "%s = (\n%s)\n" % (name, "".join('    "%s",\n' % w for w in words))

    fail_on = []
    for kind in ("outcomes", "reasons"):
        fail_on += [row["code"] for row in table[kind]
                    if row["fails_site"] and row["code"] not in fail_on]
    return "".join([
        "# -*- coding: utf-8 -*-\n",
        "# The plans, outcomes and reason codes of collector-fleet's report, and the\n",
        "# words that fail a site by default. Written from the program's own table\n",
        "# (fleet/session/outcomes.cpp) by tools/fleet_outcomes/check_outcomes.py --write; the\n",
        "# build's test fleet_outcome_lists fails when the two differ.\n",
        "from __future__ import absolute_import, division, print_function\n",
        "\n",
        "__metaclass__ = type\n",
        "\n",
        tuple_text("PLANS", codes("plans")),
        "\n",
        tuple_text("OUTCOMES", codes("outcomes")),
        "\n",
        tuple_text("REASONS", codes("reasons")),
        "\n",
        "# Outcomes or reason codes that fail a site unless fail_on says otherwise.\n",
        tuple_text("DEFAULT_FAIL_ON", fail_on),
    ])


def schema_lists(source):
    schema = json.loads((source / "fleet/run/report.schema.json").read_text(encoding="utf-8"))
    fields = schema["$defs"]["collector"]["properties"]
    return {"plans": fields["plan"]["enum"], "outcomes": fields["outcome"]["enum"],
            "reasons": [r for r in fields["reason"]["enum"] if r != ""]}


def man_lists(source):
    """The words of the manual's plan entry, its Outcomes and its Reason codes."""
    text = (source / "packaging/man/collector-fleet.1").read_text(encoding="utf-8")

    def bold_words(part):
        return re.findall(r"^\.B ([a-zA-Z0-9_]+)\s*$", part, re.M)

    plan = text.split(".B plan\n", 1)[1].split(".TP", 1)[0]
    outcomes = text.split(".SS Outcomes\n", 1)[1].split(".SS", 1)[0]
    reasons = text.split(".SS Reason codes\n", 1)[1].split(".SH", 1)[0]
    return {"plans": bold_words(plan), "outcomes": bold_words(outcomes),
            "reasons": bold_words(reasons)}


def docs_lists(source):
    """The words of docs/fleet.md's Plans paragraph and its outcome and reason tables."""
    text = (source / "docs/fleet.md").read_text(encoding="utf-8")

    def table_words(header):
        rows = text.split(header, 1)[1].split("\n\n", 1)[0].splitlines()[2:]
        return [re.match(r"\| `([^`]+)` \|", row).group(1) for row in rows]

    plans = text.split("\nPlans: ", 1)[1].split("\n\n", 1)[0]
    return {"plans": re.findall(r"`([a-z_]+)`\s+\(", plans),
            "outcomes": table_words("| outcome | meaning |"),
            "reasons": table_words("| reason code | meaning |")}


def fail_on_defaults(source):
    """Each place that spells out the default fail_on, with its list."""
    found = {}
    role = yaml.safe_load((source / "ansible/roles/fleet_site/defaults/main.yml").read_text())
    found["the role's fleet_site_fail_on"] = role["fleet_site_fail_on"]
    for module in ("fleet_upgrade", "fleet_report_merge"):
        tree = ast.parse((source / ("ansible/plugins/modules/%s.py" % module)).read_text())
        docs = yaml.safe_load(next(node.value.value for node in tree.body
                                   if isinstance(node, ast.Assign)
                                   and getattr(node.targets[0], "id", "") == "DOCUMENTATION"))
        found["%s's documented fail_on default" % module] = docs["options"]["fail_on"]["default"]
    row = re.search(r"^\| `fleet_site_fail_on` \| `\[([^\]]*)\]`",
                    (source / "docs/ansible.md").read_text(encoding="utf-8"), re.M)
    found["docs/ansible.md's fleet_site_fail_on"] = row.group(1).split(", ") if row else None
    return found


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    table = json.loads(subprocess.run([sys.argv[1]], check=True, capture_output=True,
                                      text=True).stdout)
    source = Path(sys.argv[2])
    generated = python_text(table)
    python_file = source / PYTHON_FILE
    if "--write" in sys.argv[3:]:
        python_file.write_text(generated, encoding="utf-8")
    problems = []
    if python_file.read_text(encoding="utf-8") != generated:
        problems.append("%s differs from the table: run %s %s %s --write"
                        % (PYTHON_FILE, sys.argv[0], sys.argv[1], sys.argv[2]))
    codes = {kind: [row["code"] for row in rows] for kind, rows in table.items()}
    for place, lists in (("fleet/run/report.schema.json", schema_lists(source)),
                         ("packaging/man/collector-fleet.1", man_lists(source)),
                         ("docs/fleet.md", docs_lists(source))):
        for kind, words in lists.items():
            missing = [w for w in codes[kind] if w not in words]
            unknown = [w for w in words if w not in codes[kind]]
            if missing or unknown or len(words) != len(set(words)):
                problems.append("%s's %s: missing %s, not in the table %s, listed %d times for %d"
                                % (place, kind, missing, unknown, len(words), len(set(words))))
    namespace = {}
    exec(compile(generated, PYTHON_FILE, "exec"), namespace)  # pylint: disable=exec-used
    default = list(namespace["DEFAULT_FAIL_ON"])
    for place, words in fail_on_defaults(source).items():
        if words != default:
            problems.append("%s is %s, not %s" % (place, words, default))
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
