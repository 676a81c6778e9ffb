# -*- coding: utf-8 -*-
# The merged report of an estate as one self-contained HTML page, with the
# look of the page collector-fleet writes for one site (the same style and
# script: fleet_page): a head table, a bar of outcomes, a table per site and a
# sortable collector table. Every text from a report is escaped.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

from html import escape

from ansible_collections.fieldcollector.fleet.plugins.module_utils.fleet_page import SCRIPT, STYLE

# The bar's order and colours; an outcome not listed comes last, in grey.
OUTCOME_COLOURS = (
    ("upgraded", "#2e7d32"), ("already_current", "#4f83cc"), ("planned", "#81b4e6"),
    ("not_verified", "#f9a825"), ("interrupted", "#ef6c00"), ("refused", "#8e5ea2"),
    ("failed", "#c62828"), ("conflict", "#6d1b1b"), ("not_started", "#9e9e9e"),
)
OTHER_COLOUR = "#bdbdbd"

SITE_COLUMNS = ("site", "status", "exit status", "expected", "found", "missing", "started",
                "ended", "summary")
COLLECTOR_COLUMNS = ("site", "IP", "serial", "version before", "version after", "outcome",
                     "reason", "stage", "ended")


def text(value):
    return "" if value is None else escape(str(value), quote=True)


def colour_of(outcome):
    return dict(OUTCOME_COLOURS).get(outcome, OTHER_COLOUR)


def ip_value(ip):
    """The IPv4 address as a number to sort by, or None."""
    parts = str(ip or "").split(".")
    if len(parts) != 4 or not all(p.isdigit() and int(p) < 256 for p in parts):
        return None
    value = 0
    for part in parts:
        value = value * 256 + int(part)
    return value


def head(run):
    image = run.get("image") or {}
    rows = (("run", text(run.get("id")) + (" (check mode)" if run.get("dry_run") else "")),
            ("image", "%s, version %s" % (text(image.get("name")), text(image.get("version")))),
            ("SHA-256", "<code>%s</code>" % text(image.get("sha256"))),
            ("started", text(run.get("started"))),
            ("ended", text(run.get("ended")) or "not yet"))
    return ("<table class=\"head\">\n"
            + "".join("<tr><th>%s</th><td>%s</td></tr>\n" % row for row in rows) + "</table>\n")


def outcome_bar(counts):
    known = [name for name, colour in OUTCOME_COLOURS]
    order = [n for n in known if counts.get(n)] + sorted(set(counts) - set(known))
    total = sum(counts.values()) or 1
    segments = "<div class=\"bar\" role=\"img\" aria-label=\"collectors per outcome\">"
    legend = "<ul class=\"legend\">"
    for name in order:
        label = "%s: %d" % (text(name), counts[name])
        segments += "<span style=\"width:%.3f%%;background:%s\" title=\"%s\"></span>" % (
            100.0 * counts[name] / total, colour_of(name), label)
        legend += "<li><span class=\"swatch\" style=\"background:%s\"></span>%s</li>" % (
            colour_of(name), label)
    return segments + "</div>\n" + legend + "</ul>\n"


def site_table(sites):
    html = "<table id=\"sites\">\n<thead><tr>%s</tr></thead>\n<tbody>\n" % "".join(
        "<th>%s</th>" % c for c in SITE_COLUMNS)
    for site in sites:
        bad = site.get("status") not in ("complete", "planned")
        cells = [text(site.get(k)) for k in ("site", "status", "exit_status", "expected", "found",
                                             "missing", "started", "ended", "summary")]
        html += "<tr>" + "".join(
            "<td class=\"bad\">%s</td>" % c if bad and i == 1 else "<td>%s</td>" % c
            for i, c in enumerate(cells)) + "</tr>\n"
    return html + "</tbody>\n</table>\n"


def collector_table(collectors):
    html = "<table id=\"collectors\">\n<thead><tr>%s</tr></thead>\n<tbody>\n" % "".join(
        "<th>%s</th>" % c for c in COLLECTOR_COLUMNS)
    for c in collectors:
        ip = ip_value(c.get("collector"))
        ip_cell = ("<td data-sort=\"%d\">%s</td>" % (ip, text(c.get("collector"))) if ip is not None
                   else "<td>%s</td>" % text(c.get("collector")))
        html += "<tr class=\"%s\"><td>%s</td>%s%s</tr>\n" % (
            text(c.get("outcome")), text(c.get("site")), ip_cell, "".join(
                "<td>%s</td>" % text(c.get(k)) for k in (
                    "serial", "version_before", "version_after", "outcome", "reason", "stage",
                    "ended")))
    return html + "</tbody>\n</table>\n"


def estate_html(merged):
    """The whole page for a merged report (fleet_merge.merge)."""
    run = merged.get("run") or {}
    collectors = merged.get("collectors") or []
    return ("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<title>collector-fleet estate report: %s</title>\n%s</head>\n<body>\n"
            "<h1>collector-fleet estate report</h1>\n%s"
            "<h2>Outcomes of %d collectors</h2>\n%s"
            "<h2>Sites</h2>\n%s"
            "<h2>Collectors</h2>\n<p>Click a column's header to sort by it.</p>\n%s%s"
            "</body>\n</html>\n") % (
        text(run.get("id")), STYLE, head(run), len(collectors),
        outcome_bar(merged.get("counts") or {}), site_table(merged.get("sites") or []),
        collector_table(collectors), SCRIPT)
