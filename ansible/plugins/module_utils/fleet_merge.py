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
    EXIT_DONE, EXIT_INTERRUPTED, EXIT_NOTHING_TO_DO, collectors_of, summary_text)

CSV_COLUMNS = ("site", "collector", "serial", "version_before", "version_after", "outcome",
               "reason")


def site_status(report):
    if report is None:
        return "no_report"
    if not isinstance(report, dict) or "exit_status" not in report:
        return "unreadable_report"
    status = report.get("exit_status")
    if status in (EXIT_DONE, EXIT_NOTHING_TO_DO):
        return "planned" if report.get("dry_run") else "complete"
    if status == EXIT_INTERRUPTED or report.get("interrupted"):
        return "interrupted"
    return "failed"


def site_entry(site, report):
    status = site_status(report)
    entry = {"site": site, "status": status}
    if status in ("no_report", "unreadable_report"):
        entry["summary"] = "%s: %s" % (site, status.replace("_", " "))
        return entry
    for key in ("exit_status", "dry_run", "started", "ended", "adapter", "image", "tool"):
        entry[key] = report.get(key)
    entry["summary"] = "%s: %s (exit %s): %s" % (site, status, report.get("exit_status"),
                                                 summary_text(report))
    return entry


def merge(site_reports):
    """site_reports: {site: report or None}; sites in name order."""
    sites, collectors = [], []
    for site in sorted(site_reports):
        report = site_reports[site]
        sites.append(site_entry(site, report))
        for c in collectors_of(report):
            collectors.append({
                "site": site,
                "collector": c.get("ip"),
                "serial": c.get("serial"),
                "version_before": c.get("version_before"),
                "version_after": c.get("version_after"),
                "outcome": c.get("outcome"),
                "reason": c.get("reason") or "",
                "stage": c.get("stage"),
            })
    return {"sites": sites, "collectors": collectors}


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
