# -*- coding: utf-8 -*-
# The merged report of an estate as one self-contained HTML page, with the
# look of the page collector-fleet writes for one site: a head table, a bar
# of outcomes, a table per site and a sortable collector table. Every text
# from a report is escaped.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

from html import escape

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

STYLE = """<style>
body{font-family:sans-serif;margin:1.5em;color:#212121}
h1{font-size:1.4em}h2{font-size:1.15em;margin-top:1.4em}
table{border-collapse:collapse}
th,td{padding:.25em .6em;text-align:left;border-bottom:1px solid #e0e0e0}
table.head th{color:#616161;font-weight:normal}
#sites td.bad{color:#b71c1c}
#collectors{font-size:.9em}
#collectors th,#collectors td{padding:.25em .45em}
#collectors td{white-space:nowrap}
#collectors th{cursor:pointer;background:#f5f5f5;user-select:none;vertical-align:bottom}
#collectors th[aria-sort=ascending]::after{content:" \\25B2"}
#collectors th[aria-sort=descending]::after{content:" \\25BC"}
#collectors tr.failed td,#collectors tr.conflict td{color:#b71c1c}
.bar{display:flex;height:1.6em;max-width:60em;border:1px solid #9e9e9e}
.bar span{display:block;height:100%}
.legend{list-style:none;padding:0;display:flex;flex-wrap:wrap;gap:1.2em}
.swatch{display:inline-block;width:.9em;height:.9em;margin-right:.35em;vertical-align:middle}
</style>
"""

# Sorts the collector table by the clicked column: numbers as numbers, the IP
# column by its value, the rest as text; a second click reverses.
SCRIPT = """<script>
(function () {
  var table = document.getElementById("collectors");
  var headers = table.tHead.rows[0].cells;
  function key(row, column) {
    var cell = row.cells[column];
    var text = cell.hasAttribute("data-sort") ? cell.getAttribute("data-sort") : cell.textContent;
    return text !== "" && !isNaN(text) ? Number(text) : text;
  }
  Array.prototype.forEach.call(headers, function (header, column) {
    header.addEventListener("click", function () {
      var ascending = header.getAttribute("aria-sort") !== "ascending";
      Array.prototype.forEach.call(headers, function (h) { h.removeAttribute("aria-sort"); });
      header.setAttribute("aria-sort", ascending ? "ascending" : "descending");
      var body = table.tBodies[0];
      var rows = Array.prototype.slice.call(body.rows);
      rows.sort(function (a, b) {
        var x = key(a, column), y = key(b, column);
        var order = typeof x === "number" && typeof y === "number" ? x - y
                    : String(x).localeCompare(String(y));
        return ascending ? order : -order;
      });
      rows.forEach(function (row) { body.appendChild(row); });
    });
  });
})();
</script>
"""


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
