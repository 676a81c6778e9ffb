# -*- coding: utf-8 -*-
# Builds collector-fleet command lines and reads what the program answers.
# Plain functions without Ansible imports, so that they are tested alone.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import re
import os

from ansible_collections.fieldcollector.fleet.plugins.module_utils.fleet_outcomes import (
    DEFAULT_FAIL_ON, OUTCOMES, REASONS)

# Exit statuses of `collector-fleet upgrade`.
EXIT_DONE = 0
EXIT_FAILED = 1
EXIT_USAGE = 2
EXIT_NOTHING_TO_DO = 3
EXIT_NOT_CONFIRMED = 4
EXIT_INTERRUPTED = 130

# A collector that took the whole image, whether or not its new version was
# seen afterwards: either way its firmware changed. Used for reports that do
# not count the blocks sent.
FLASHED_OUTCOMES = ("upgraded", "not_verified")

# DEFAULT_FAIL_ON (fleet_outcomes.py): the outcomes (or reason codes) that fail
# a site unless the task says otherwise. A refused collector (a "V" version,
# E80) needs another tool and an already current one needs nothing: both are
# reported but do not stop the estate. A site whose canary did not end
# upgraded (not_started, canary_not_upgraded) is a failed site, whatever the
# canary's own outcome.

# The words fail_on may name: every outcome and reason code of the report.
FAIL_ON_WORDS = tuple(sorted(set(OUTCOMES) | set(REASONS)))

# Bounds of the numeric options, as the program checks them.
OPTION_RANGES = {"canary": (0, None), "parallel": (1, None), "max_failures": (1, None),
                 "verify_timeout": (1, 3600), "sweeps": (1, None), "wait_ms": (0, None),
                 "lock_timeout": (0, None)}

# The order in which outcomes are counted in a summary line.
OUTCOME_ORDER = ("upgraded", "planned", "already_current", "not_verified", "refused",
                 "failed", "conflict", "interrupted", "not_started", "not_found")


def adapter_args(params):
    """--interface (one, then each of a list; "all" for every usable adapter) or
    --address, when one is given, and each --subnet."""
    args = []
    names = ([params["interface"]] if params.get("interface") else []) + list(
        params.get("interfaces") or [])
    for name in names:
        args += ["--interface", name]
    if not names and params.get("address"):
        args += ["--address", params["address"]]
    for subnet in params.get("subnets") or []:
        args += ["--subnet", subnet]
    return args


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


def fail_on_error(words):
    """Why fail_on names words that are no outcome or reason code, or None."""
    unknown = [w for w in words or [] if w not in FAIL_ON_WORDS]
    if not unknown:
        return None
    return "fail_on names no outcome or reason code: %s; the words are: %s" % (
        ", ".join(unknown), ", ".join(FAIL_ON_WORDS))


def range_errors(params):
    """Why numeric options are out of range, one text each."""
    errors = []
    for name, (low, high) in sorted(OPTION_RANGES.items()):
        value = params.get(name)
        if value is None:
            continue
        if value < low or (high is not None and value > high):
            errors.append("%s must be %s, not %d" % (
                name, "at least %d" % low if high is None else "%d to %d" % (low, high), value))
    return errors


def expect_args(expect_file):
    """--expect, when the run was given a list of the collectors it expects."""
    return ["--expect", expect_file] if expect_file else []


def upgrade_argv(command, params, check_mode, expect_file=None):
    """The upgrade command line. Check mode plans from the image's name and
    digest without reading the image, sends no upgrade and writes no report
    file: nothing on the site host changes."""
    argv = [command, "upgrade"] + adapter_args(params) + sweep_args(params) + \
        expect_args(expect_file)
    if check_mode:
        argv += ["--image-name", os.path.basename(params["image"])]
    else:
        argv += ["--image", params["image"]]
    if params.get("image_sha256"):
        argv += ["--image-sha256", params["image_sha256"]]
    for key in params.get("trusted_keys") or []:
        argv += ["--trusted-key", key]
    if params.get("require_signature"):
        argv.append("--require-signature")
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
    if params.get("report") and not check_mode:
        argv += ["--report", params["report"]]
    # The report is read from standard output; progress goes to standard
    # error as plain lines; there is nobody to confirm.
    argv += ["--format", "json", "--progress", "plain", "--yes"]
    return argv


def discover_argv(command, params, expect_file=None):
    return [command, "discover"] + adapter_args(params) + sweep_args(params) + \
        expect_args(expect_file) + ["--format", "json"]


def error_line(stderr):
    """The program's first error line: its first line that begins with
    "collector-fleet:" (progress lines come before it when the sweep ran),
    else its first line that is not blank; "" when it printed nothing."""
    lines = [line.strip() for line in (stderr or "").splitlines() if line.strip()]
    for line in lines:
        if line.startswith("collector-fleet:"):
            return line
    return lines[0] if lines else ""


# The lines that carry on collector-fleet's error line: the English of a
# held port and who holds it, and each of doctor's findings ("[问题 problem]
# ...", its English indented below it).
_CONTINUATION = re.compile(r"^(\[|    |占用端口 |port \d+ is held by |local port )")


def error_text(stderr):
    """The program's first error line with the lines that carry it on (who
    holds a port, what the checks found on the adapter), one a line; "" when
    it printed nothing."""
    lines = (stderr or "").splitlines()
    for index, line in enumerate(lines):
        if line.strip().startswith("collector-fleet:"):
            block = [line.strip()]
            for more in lines[index + 1:]:
                if not _CONTINUATION.match(more):
                    break
                block.append(more.rstrip())
            return "\n".join(block)
    return error_line(stderr)


def findings_text(stderr):
    """What collector-fleet found on the adapter after a sweep that found
    nobody, or fewer than expected: its message with the findings; "" when
    it printed none."""
    text = error_text(stderr)
    return text if "(检查结果):" in text else ""


def discover_failure(rc, collectors, expected_given):
    """Why a discovery failed, or None. With an expected list, exit 1 with a
    list means that an expected collector did not answer: the upgrade then
    reports it not found, so the discovery itself has done its work."""
    if not isinstance(collectors, list):
        return "collector-fleet discover printed no list (exit status %d)" % rc
    if rc == EXIT_DONE or (rc == EXIT_FAILED and expected_given and collectors):
        return None
    return "collector-fleet discover failed (exit status %d)" % rc


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
    """Whether a collector received blocks (or, in check mode, would): a
    session that failed or was interrupted after sending blocks may have
    written flash, so it counts as a change."""
    collectors = collectors_of(report)
    if check_mode:
        return any(c.get("plan") == "upgrade" for c in collectors)
    return any((c.get("blocks_sent") or 0) > 0 if "blocks_sent" in c
               else c.get("outcome") in FLASHED_OUTCOMES for c in collectors)


def failing_collectors(report, fail_on):
    """The collectors whose outcome or reason is named in fail_on."""
    names = set(fail_on)
    return [c for c in collectors_of(report)
            if c.get("outcome") in names or (c.get("reason") or "") in names]


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


def site_failure(rc, report, fail_on):
    """Why the site fails, or None. Exit 3 (nothing to do) and a run whose
    only bad outcomes are not named in fail_on are successes."""
    if rc == EXIT_USAGE or rc == EXIT_NOT_CONFIRMED or rc not in (
            EXIT_DONE, EXIT_FAILED, EXIT_NOTHING_TO_DO, EXIT_INTERRUPTED):
        return "collector-fleet %s (exit status %s)" % (exit_meaning(rc), rc)
    if report is None:
        return "collector-fleet printed no report (exit status %d)" % rc
    if rc == EXIT_INTERRUPTED and "interrupted" in fail_on:
        return "the run was interrupted"
    if rc == EXIT_FAILED and not collectors_of(report):
        return "no collector found"
    failing = failing_collectors(report, fail_on)
    if not failing:
        return None
    why = "%d collector(s) %s" % (len(failing), ", ".join(sorted(
        {c.get("outcome") if c.get("outcome") in fail_on else c.get("reason")
         for c in failing})))
    # The rows the canary held back name it and how it ended.
    canary = [c.get("detail") for c in failing
              if c.get("reason") == "canary_not_upgraded" and c.get("detail")]
    if canary:
        why += ": " + canary[0].replace("not started: ", "", 1)
    return why


def upgrade_result(rc, report, check_mode, fail_on=DEFAULT_FAIL_ON, stderr=""):
    """changed, failed, msg and fleet_exit_status of one upgrade run, and
    `error`, the program's first error line, when it ended without a report
    or with a status that says it could not run (2, 4, another one)."""
    why = site_failure(rc, report, fail_on)
    if report is not None:
        msg = "%s: %s" % (exit_meaning(rc), summary_text(report))
    else:
        msg = "collector-fleet %s (exit status %d)" % (exit_meaning(rc), rc)
    if why and why not in msg:
        msg = "%s; fails the site: %s" % (msg, why)
    result = {"changed": report is not None and changed_by(report, check_mode),
              "failed": why is not None, "msg": msg, "fleet_exit_status": rc}
    could_not_run = report is None or rc not in (
        EXIT_DONE, EXIT_FAILED, EXIT_NOTHING_TO_DO, EXIT_INTERRUPTED)
    if why and could_not_run and error_line(stderr):
        result["error"] = error_line(stderr)
        result["msg"] = "%s: %s" % (msg, error_text(stderr))
    elif why and findings_text(stderr):
        result["msg"] = "%s\n%s" % (msg, findings_text(stderr))
    return result


def version_diff(report, check_mode, image_version=None):
    """Each collector's version before and after, as --diff shows it."""
    before, after = [], []
    for c in collectors_of(report):
        name = "%s %s" % (c.get("ip"), c.get("serial") or "")
        old = c.get("version_before") or ""
        if check_mode:
            new = image_version if c.get("plan") == "upgrade" and image_version else old
        else:
            new = c.get("version_after") or old
        before.append("%s: %s\n" % (name, old))
        after.append("%s: %s\n" % (name, new))
    return {"before": "".join(before), "after": "".join(after)}
