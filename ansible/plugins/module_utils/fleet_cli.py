# -*- coding: utf-8 -*-
# Builds collector-fleet command lines and reads what the program answers.
# Plain functions without Ansible imports, so that they are tested alone.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json

# Exit statuses of `collector-fleet upgrade`.
EXIT_DONE = 0
EXIT_FAILED = 1
EXIT_USAGE = 2
EXIT_NOTHING_TO_DO = 3
EXIT_NOT_CONFIRMED = 4
EXIT_INTERRUPTED = 130

# A collector that took the whole image, whether or not its new version was
# seen afterwards: either way its firmware changed.
FLASHED_OUTCOMES = ("upgraded", "not_verified")

# The order in which outcomes are counted in a summary line.
OUTCOME_ORDER = ("upgraded", "planned", "already_current", "not_verified", "refused",
                 "failed", "conflict", "interrupted", "not_started")


def adapter_args(params):
    """--interface or --address, when one is given."""
    if params.get("interface"):
        return ["--interface", params["interface"]]
    if params.get("address"):
        return ["--address", params["address"]]
    return []


def sweep_args(params):
    args = []
    if params.get("sweeps") is not None:
        args += ["--sweeps", str(params["sweeps"])]
    if params.get("wait_ms") is not None:
        args += ["--wait", str(params["wait_ms"])]
    return args


def target_choice_error(params):
    """Why the targets are not named exactly one way, or None."""
    ways = [name for name, given in (("all", params.get("all")),
                                     ("targets", params.get("targets")),
                                     ("target_file", params.get("target_file"))) if given]
    if len(ways) == 1:
        return None
    if not ways:
        return "name the collectors: all, targets or target_file"
    return "name the collectors one way only, not " + " and ".join(ways)


def upgrade_argv(command, params, check_mode):
    """The upgrade command line. Check mode plans without sending an upgrade."""
    argv = [command, "upgrade"] + adapter_args(params) + sweep_args(params)
    argv += ["--image", params["image"]]
    if params.get("image_sha256"):
        argv += ["--image-sha256", params["image_sha256"]]
    if params.get("all"):
        argv.append("--all")
    for target in params.get("targets") or []:
        argv += ["--target", target]
    if params.get("target_file"):
        argv += ["--target-file", params["target_file"]]
    for excluded in params.get("exclude") or []:
        argv += ["--exclude", excluded]
    for name, option in (("canary", "--canary"), ("parallel", "--parallel"),
                         ("max_failures", "--max-failures"),
                         ("verify_timeout", "--verify-timeout")):
        if params.get(name) is not None:
            argv += [option, str(params[name])]
    if params.get("verify") is False:
        argv.append("--no-verify")
    if check_mode:
        argv.append("--dry-run")
    if params.get("report"):
        argv += ["--report", params["report"]]
    # The report is read from standard output; progress goes to standard
    # error as plain lines; there is nobody to confirm.
    argv += ["--format", "json", "--progress", "plain", "--yes"]
    return argv


def discover_argv(command, params):
    return [command, "discover"] + adapter_args(params) + sweep_args(params) + ["--format", "json"]


def parse_json(text):
    """The JSON document the program printed, or None when there is none."""
    if not text or not text.strip():
        return None
    try:
        return json.loads(text)
    except ValueError:
        return None


def collectors_of(report):
    if not isinstance(report, dict):
        return []
    return [c for c in report.get("collectors") or [] if isinstance(c, dict)]


def outcome_counts(report):
    counts = {}
    for collector in collectors_of(report):
        outcome = collector.get("outcome") or "unknown"
        counts[outcome] = counts.get(outcome, 0) + 1
    return counts


def changed_by(report, check_mode):
    """Whether a collector was flashed (or, in check mode, would be)."""
    if check_mode:
        return any(c.get("plan") == "upgrade" for c in collectors_of(report))
    return any(c.get("outcome") in FLASHED_OUTCOMES for c in collectors_of(report))


def summary_text(report):
    """'3 collectors: 2 upgraded, 1 refused (E80)'."""
    collectors = collectors_of(report)
    counts = outcome_counts(report)
    ordered = [o for o in OUTCOME_ORDER if o in counts] + sorted(set(counts) - set(OUTCOME_ORDER))
    parts = []
    for outcome in ordered:
        part = "%d %s" % (counts[outcome], outcome.replace("_", " "))
        reasons = sorted({c.get("reason") for c in collectors
                          if c.get("outcome") == outcome and c.get("reason")})
        if reasons and outcome not in ("upgraded", "already_current", "planned"):
            part += " (" + ", ".join(reasons) + ")"
        parts.append(part)
    noun = "collector" if len(collectors) == 1 else "collectors"
    text = "%d %s" % (len(collectors), noun)
    return text + (": " + ", ".join(parts) if parts else "")


def exit_meaning(rc):
    return {
        EXIT_DONE: "done",
        EXIT_FAILED: "failed",
        EXIT_USAGE: "usage error",
        EXIT_NOTHING_TO_DO: "nothing to do",
        EXIT_NOT_CONFIRMED: "not confirmed",
        EXIT_INTERRUPTED: "interrupted",
    }.get(rc, "ended with status %s" % rc)


def upgrade_result(rc, report, check_mode):
    """changed, failed and msg of one upgrade run from its exit status and report."""
    failed = rc not in (EXIT_DONE, EXIT_NOTHING_TO_DO)
    if not failed and report is None:
        return {"changed": False, "failed": True,
                "msg": "collector-fleet printed no report (exit status %d)" % rc}
    msg = "%s: %s" % (exit_meaning(rc), summary_text(report)) if report is not None \
        else "collector-fleet %s (exit status %d)" % (exit_meaning(rc), rc)
    return {"changed": report is not None and changed_by(report, check_mode),
            "failed": failed, "msg": msg}
