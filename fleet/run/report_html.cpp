#include "fleet/run/report_html.h"

#include "fleet/report_page.h"
#include "fleet/run/ipv4_address.h"
#include "platform/gbk.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace fleet {

namespace {

// The bar's order and colours; an outcome not listed comes last, in grey.
constexpr std::pair<ResultKind, const char*> kOutcomeColours[] = {
    {ResultKind::Upgraded, "#2e7d32"},    {ResultKind::AlreadyCurrent, "#4f83cc"},
    {ResultKind::Planned, "#81b4e6"},     {ResultKind::NotVerified, "#f9a825"},
    {ResultKind::Interrupted, "#ef6c00"}, {ResultKind::Refused, "#8e5ea2"},
    {ResultKind::Failed, "#c62828"},      {ResultKind::Conflict, "#6d1b1b"},
    {ResultKind::NotFound, "#4e342e"},    {ResultKind::NotStarted, "#9e9e9e"},
};

const char* ColourOf(const std::string& outcome) {
    for (const auto& [kind, colour] : kOutcomeColours)
        if (outcome == ResultName(kind))
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

std::string Head(const std::string& toolVersion, const RunInfo& run, const ReportImage& image) {
    std::string html = "<table class=\"head\">\n";
    html += Row("tool", std::string("collector-fleet ") + HtmlEscape(toolVersion));
    html += Row("adapter", HtmlEscape(run.adapterName) + " (" + HtmlEscape(run.adapterAddress) +
                               "/" + std::to_string(run.adapterPrefix) + ")");
    if (run.adapters.size() > 1) {
        std::string adapters;
        for (const auto& adapter : run.adapters) {
            std::string subnets;
            for (const auto& subnet : adapter.subnets)
                subnets += (subnets.empty() ? "" : ", ") + subnet;
            adapters += (adapters.empty() ? "" : "<br>") + HtmlEscape(adapter.name) + " (" +
                        HtmlEscape(adapter.address) + "): " + HtmlEscape(subnets);
        }
        html += Row("adapters", adapters);
    }
    html += Row("image", HtmlEscape(image.name) + ", version " + HtmlEscape(image.version) + ", " +
                             std::to_string(image.size) + " bytes, " +
                             std::to_string(image.blocks) + " blocks");
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
    for (const auto& [kind, colour] : kOutcomeColours)
        counts.emplace_back(ResultName(kind), 0);
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

std::string ReportHtml(const Report& report) {
    const auto& results = report.results;
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<title>collector-fleet report: " +
                       HtmlEscape(report.image.name) + "</title>\n" + page::kStyle +
                       "</head>\n<body>\n";
    html += "<h1>collector-fleet upgrade report</h1>\n";
    html += Head(report.toolVersion, report.run, report.image);
    html += "<h2>Outcomes of " + std::to_string(results.size()) + " collectors</h2>\n";
    html += OutcomeBar(results);
    html += "<h2>Collectors</h2>\n<p>Click a column's header to sort by it.</p>\n";
    html += CollectorTable(results);
    html += page::kScript;
    return html + "</body>\n</html>\n";
}

std::string ReportHtml(const RunInfo& run, const FirmwareImage& image,
                       const std::vector<CollectorResult>& results) {
    return ReportHtml(Report{ToolVersion(), run, ImageOfReport(image), results});
}

} // namespace fleet
