# -*- coding: utf-8 -*-
# The style and the script of the report pages, written once for both: the
# page collector-fleet writes for one run (its build embeds the text inside
# the two raw strings below, see cmake/EmbedReportPage.cmake) and the estate
# page of the merged report (fleet_html). Keep each value a raw string in
# triple double quotes: that is the form the build reads.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

STYLE = r"""<style>
body{font-family:sans-serif;margin:1.5em;color:#212121}
h1{font-size:1.4em}h2{font-size:1.15em;margin-top:1.4em}
table{border-collapse:collapse}
th,td{padding:.25em .6em;text-align:left;border-bottom:1px solid #e0e0e0}
table.head th{color:#616161;font-weight:normal}
#sites td.bad{color:#b71c1c}
#collectors{font-size:.9em}
#collectors th,#collectors td{padding:.25em .45em}
#collectors td{white-space:nowrap}
#collectors td.detail{white-space:normal;min-width:14em}
#collectors td.number{text-align:right}
#collectors th{cursor:pointer;background:#f5f5f5;user-select:none;vertical-align:bottom}
#collectors th[aria-sort=ascending]::after{content:" \25B2"}
#collectors th[aria-sort=descending]::after{content:" \25BC"}
#collectors tr.failed td,#collectors tr.conflict td{color:#b71c1c}
.bar{display:flex;height:1.6em;max-width:60em;border:1px solid #9e9e9e}
.bar span{display:block;height:100%}
.legend{list-style:none;padding:0;display:flex;flex-wrap:wrap;gap:1.2em}
.swatch{display:inline-block;width:.9em;height:.9em;margin-right:.35em;vertical-align:middle}
</style>
"""

# Sorts the collector table by the clicked column: numbers as numbers, the IP
# column by its value, the rest as text; a second click reverses.
SCRIPT = r"""<script>
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
