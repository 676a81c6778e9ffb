# -*- coding: utf-8 -*-
# Merges the reports of many sites into one: a JSON document, CSV rows and a
# summary line per site. Plain functions, tested without Ansible.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import csv
import io
import json
import os
import tempfile

from ansible_collections.fieldcollector.fleet.plugins.module_utils.fleet_cli import (
    DEFAULT_FAIL_ON, EXIT_DONE, EXIT_INTERRUPTED, EXIT_NOTHING_TO_DO, collectors_of,
    outcome_counts, site_failure, summary_text)

# The merged report's layout; raised when a field changes meaning or goes.
SCHEMA_VERSION = 1

CSV_COLUMNS = ("run_id", "image_version", "site", "collector", "serial", "version_before",
               "version_after", "outcome", "reason", "ended")


# What the playbook keeps beside a site's report when a step failed before
# the program's report of this run came home: sites/<site>.<status>, one
# line, the reason. The site then has that status whatever else is there.
STEP_STATUSES = ("failed", "unreachable")

# The counts of an expected list that a site's report head carries.
EXPECTED_KEYS = ("expected", "found", "missing")


def site_status(report, reached=True, fail_on=DEFAULT_FAIL_ON, step=None):
    """The status a failed step recorded (failed, unreachable), else
    unreachable (its batch ran, no report came back), not_run (its batch
    has not run), incomplete (a report without an end: the program is still
    running or never ended), or the site's own result."""
    if step:
        return step["status"]
    if report is None:
        return "unreachable" if reached else "not_run"
    if not isinstance(report, dict) or "exit_status" not in report:
        return "unreadable_report"
    if report.get("ended") is None:
        return "incomplete"
    status = report.get("exit_status")
    if status in (EXIT_DONE, EXIT_NOTHING_TO_DO):
        return "planned" if report.get("dry_run") else "complete"
    if status == EXIT_INTERRUPTED or report.get("interrupted"):
        return "interrupted"
    # Exit 1 with only outcomes that fail_on leaves out (a refused collector).
    return "failed" if site_failure(status, report, fail_on) else "complete"


def expected_counts(report):
    """expected, found and missing of the report's head, when it has them."""
    if not isinstance(report, dict) or not isinstance(report.get("expected"), int):
        return {}
    return {k: report[k] for k in EXPECTED_KEYS if isinstance(report.get(k), int)}


def site_entry(site, report, reached=True, fail_on=DEFAULT_FAIL_ON, step=None):
    status = site_status(report, reached, fail_on, step)
    entry = {"site": site, "status": status, "counts": outcome_counts(report)}
    entry.update(expected_counts(report))
    if step:
        entry["why"] = step["reason"]
    if status in ("unreachable", "not_run", "unreadable_report") or \
            not isinstance(report, dict) or "exit_status" not in report:
        entry["summary"] = "%s: %s" % (site, status.replace("_", " "))
        if step:
            entry["summary"] += ": " + step["reason"]
        return entry
    for key in ("exit_status", "dry_run", "started", "ended", "adapter", "image", "tool"):
        entry[key] = report.get(key)
    entry["summary"] = "%s: %s (exit %s): %s" % (site, status, report.get("exit_status"),
                                                 summary_text(report))
    if "expected" in entry:
        entry["summary"] += "; expected %s, found %s, missing %s" % tuple(
            entry.get(k) for k in EXPECTED_KEYS)
    if step:
        entry["summary"] += "; " + step["reason"]
    elif status == "failed":
        entry["why"] = site_failure(report.get("exit_status"), report, fail_on)
        entry["summary"] += "; " + entry["why"]
    return entry


def image_version(run, site_reports):
    """The version the image gives: from a site's report, else its name."""
    for report in site_reports.values():
        if isinstance(report, dict) and isinstance(report.get("image"), dict):
            if report["image"].get("version"):
                return report["image"]["version"]
    name = (run.get("image") or {}).get("name") or ""
    return os.path.splitext(name)[0] or None


def merge(site_reports, run=None, reached=None, fail_on=DEFAULT_FAIL_ON, steps=None):
    """site_reports: {site: report or None}; sites in name order. run: the
    run's header (id, dry_run, image name and sha256, started, ended);
    reached: the sites whose batch ran (None: every site); fail_on: the
    outcomes that make a site failed; steps: {site: {status, reason}} of the
    sites where a step failed (read_site_steps)."""
    run = dict(run or {})
    image = dict(run.get("image") or {})
    image["version"] = image_version(run, site_reports)
    run["image"] = image
    steps = steps or {}
    sites, collectors, totals = [], [], {}
    for site in sorted(set(site_reports) | set(steps)):
        report = site_reports.get(site)
        entry = site_entry(site, report, reached is None or site in reached, fail_on,
                           steps.get(site))
        sites.append(entry)
        for outcome, count in entry["counts"].items():
            totals[outcome] = totals.get(outcome, 0) + count
        for c in collectors_of(report):
            collectors.append({
                "run_id": run.get("id"),
                "image_version": image["version"],
                "site": site,
                "collector": c.get("ip"),
                "serial": c.get("serial"),
                "version_before": c.get("version_before"),
                "version_after": c.get("version_after"),
                "outcome": c.get("outcome"),
                "reason": c.get("reason") or "",
                "stage": c.get("stage"),
                "ended": report.get("ended"),
            })
    return {"schema_version": SCHEMA_VERSION, "run": run, "counts": totals, "sites": sites,
            "collectors": collectors}


# A cell beginning with one of these would be run as a formula by a
# spreadsheet; serials and versions come from the network.
FORMULA_STARTS = ("=", "+", "-", "@", "\t", "\r")


def csv_cell(value):
    """The cell's text, with an apostrophe before one that looks like a formula."""
    text = "" if value is None else str(value)
    return "'" + text if text.startswith(FORMULA_STARTS) else text


def csv_text(merged):
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\n")
    writer.writerow(CSV_COLUMNS)
    for row in merged["collectors"]:
        writer.writerow([csv_cell(row.get(k)) for k in CSV_COLUMNS])
    return out.getvalue()


def read_report(path):
    """A site's report, None when the file is missing, {} when it is not JSON."""
    if not os.path.exists(path):
        return None
    try:
        with open(path, encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return {}


def read_site_reports(directory, sites):
    """Every <site>.json of the directory, plus the named sites without one."""
    reports = {}
    if os.path.isdir(directory):
        for name in os.listdir(directory):
            if name.endswith(".json"):
                reports[name[:-len(".json")]] = read_report(os.path.join(directory, name))
    for site in sites or []:
        reports.setdefault(site, None)
    return reports


def read_site_steps(directory):
    """{site: {"status", "reason"}} from the sites/<site>.failed and
    <site>.unreachable files of the directory (the first line is the
    reason); a failure wins over unreachable."""
    steps = {}
    if not os.path.isdir(directory):
        return steps
    for name in sorted(os.listdir(directory)):
        site, status = name.rpartition(".")[::2]
        if status not in STEP_STATUSES or not site or steps.get(site, {}).get("status") == "failed":
            continue
        try:
            with open(os.path.join(directory, name), encoding="utf-8", errors="replace") as f:
                reason = (f.read().strip().splitlines() or [""])[0]
        except OSError:
            continue
        steps[site] = {"status": status, "reason": reason}
    return steps


def write_atomically(path, text):
    """Readers never see half a file: written beside it, then renamed."""
    directory = os.path.dirname(os.path.abspath(path))
    os.makedirs(directory, exist_ok=True)
    fd, temporary = tempfile.mkstemp(dir=directory, prefix=".merge-")
    try:
        with os.fdopen(fd, "w", encoding="utf-8", newline="") as f:
            f.write(text)
        os.chmod(temporary, 0o644)
        os.replace(temporary, path)
    except BaseException:
        if os.path.exists(temporary):
            os.unlink(temporary)
        raise
