#include "fleet/report_html.h"

#include "fleet/ipv4_address.h"
#include "platform/gbk.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace fleet {

namespace {

// The bar's order and colours; an outcome not listed comes last, in grey.
constexpr std::pair<const char*, const char*> kOutcomeColours[] = {
    {"upgraded", "#2e7d32"},     {"already_current", "#4f83cc"}, {"planned", "#81b4e6"},
    {"not_verified", "#f9a825"}, {"interrupted", "#ef6c00"},     {"refused", "#8e5ea2"},
    {"failed", "#c62828"},       {"conflict", "#6d1b1b"},        {"not_found", "#4e342e"},
    {"not_started", "#9e9e9e"},
};

const char* ColourOf(const std::string& outcome) {
    for (const auto& [name, colour] : kOutcomeColours)
        if (outcome == name)
            return colour;
    return "#bdbdbd";
}

// Texts from the network arrive as GBK bytes.
std::string FromNetwork(const std::string& gbk) {
    return HtmlEscape(platform::GbkToUtf8(gbk));
}

std::string Row(const char* name, const std::string& escapedValue) {
    return std::string("<tr><th>") + name + "</th><td>" + escapedValue + "</td></tr>\n";
}

std::string Head(const RunInfo& run, const FirmwareImage& image) {
    std::string html = "<table class=\"head\">\n";
    html += Row("tool", std::string("collector-fleet ") + HtmlEscape(ToolVersion()));
    html += Row("adapter", HtmlEscape(run.adapterName) + " (" + HtmlEscape(run.adapterAddress) +
                               "/" + std::to_string(run.adapterPrefix) + ")");
    html += Row("image", HtmlEscape(image.fileName) + ", version " + HtmlEscape(image.versionText) +
                             ", " + std::to_string(image.sizeBytes) + " bytes, " +
                             std::to_string(image.blockCount) + " blocks");
    html += Row("SHA-256", "<code>" + HtmlEscape(run.imageSha256) + "</code>");
    html += Row("started", HtmlEscape(run.started));
    html += Row("ended", run.ended ? HtmlEscape(*run.ended) : "not yet");
    std::string status = run.exitStatus ? std::to_string(*run.exitStatus) : "not yet";
    if (run.interrupted)
        status += " (interrupted)";
    if (run.dryRun)
        status += " (dry run)";
    html += Row("exit status", status);
    if (run.expected)
        html += Row("expected", ExpectedCountsText(*run.expected));
    return html + "</table>\n";
}

// One horizontal bar, a segment per outcome as wide as its share, and a legend.
std::string OutcomeBar(const std::vector<CollectorResult>& results) {
    std::vector<std::pair<std::string, std::size_t>> counts;
    for (const auto& [name, colour] : kOutcomeColours)
        counts.emplace_back(name, 0);
    for (const auto& result : results) {
        const std::string name = ResultName(result.result);
        auto it = std::find_if(counts.begin(), counts.end(),
                               [&](const auto& count) { return count.first == name; });
        if (it == counts.end())
            it = counts.insert(counts.end(), {name, 0});
        ++it->second;
    }
    std::string bar = "<div class=\"bar\" role=\"img\" aria-label=\"collectors per outcome\">";
    std::string legend = "<ul class=\"legend\">";
    for (const auto& [name, count] : counts) {
        if (count == 0)
            continue;
        char width[32];
        std::snprintf(width, sizeof width, "%.3f",
                      100.0 * static_cast<double>(count) / static_cast<double>(results.size()));
        const std::string label = HtmlEscape(name) + ": " + std::to_string(count);
        bar += "<span style=\"width:" + std::string(width) + "%;background:" + ColourOf(name) +
               "\" title=\"" + label + "\"></span>";
        legend += "<li><span class=\"swatch\" style=\"background:" + std::string(ColourOf(name)) +
                  "\"></span>" + label + "</li>";
    }
    return bar + "</div>\n" + legend + "</ul>\n";
}

std::string Cell(const std::string& escaped) {
    return "<td>" + escaped + "</td>";
}

std::string Cell(const char* cellClass, const std::string& escaped) {
    return std::string("<td class=\"") + cellClass + "\">" + escaped + "</td>";
}

std::string CollectorTable(const std::vector<CollectorResult>& results) {
    static const char* const kColumns[] = {
        "IP",     "serial", "version before", "version after", "plan",          "outcome", "reason",
        "detail", "stage",  "passes",         "blocks sent",   "blocks resent", "seconds"};
    std::string html = "<table id=\"collectors\">\n<thead><tr>";
    for (const char* column : kColumns)
        html += std::string("<th>") + column + "</th>";
    html += "</tr></thead>\n<tbody>\n";
    for (const auto& r : results) {
        const auto ip = Ipv4Value(r.address);
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", r.seconds);
        html += "<tr class=\"" + HtmlEscape(ResultName(r.result)) + "\">";
        html +=
            ip ? "<td data-sort=\"" + std::to_string(*ip) + "\">" + HtmlEscape(r.address) + "</td>"
               : Cell(HtmlEscape(r.address));
        html += Cell(FromNetwork(r.serial));
        html += Cell(FromNetwork(r.versionBefore));
        html += Cell(r.versionAfter ? FromNetwork(*r.versionAfter) : "");
        html += Cell(HtmlEscape(PlanName(r.plan)));
        html += Cell(HtmlEscape(ResultName(r.result)));
        html += Cell(HtmlEscape(r.reasonCode));
        html += Cell("detail", HtmlEscape(r.reason));
        html += Cell(HtmlEscape(r.stage));
        html += Cell("number", std::to_string(r.passes));
        html += Cell("number", std::to_string(r.blocksSent));
        html += Cell("number", std::to_string(r.blocksResent));
        html += Cell("number", seconds);
        html += "</tr>\n";
    }
    return html + "</tbody>\n</table>\n";
}

constexpr const char* kStyle = R"(<style>
body{font-family:sans-serif;margin:1.5em;color:#212121}
h1{font-size:1.4em}h2{font-size:1.15em;margin-top:1.4em}
table{border-collapse:collapse}
th,td{padding:.25em .6em;text-align:left;border-bottom:1px solid #e0e0e0}
table.head th{color:#616161;font-weight:normal}
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
)";

// Sorts the table by the clicked column: numbers as numbers, the IP column by
// its value, the rest as text; a second click reverses.
constexpr const char* kScript = R"(<script>
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
)";

} // namespace

std::string HtmlEscape(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\'':
            escaped += "&#39;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string ReportHtml(const RunInfo& run, const FirmwareImage& image,
                       const std::vector<CollectorResult>& results) {
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<title>collector-fleet report: " +
                       HtmlEscape(image.fileName) + "</title>\n" + kStyle + "</head>\n<body>\n";
    html += "<h1>collector-fleet upgrade report</h1>\n";
    html += Head(run, image);
    html += "<h2>Outcomes of " + std::to_string(results.size()) + " collectors</h2>\n";
    html += OutcomeBar(results);
    html += "<h2>Collectors</h2>\n<p>Click a column's header to sort by it.</p>\n";
    html += CollectorTable(results);
    html += kScript;
    return html + "</body>\n</html>\n";
}

} // namespace fleet
