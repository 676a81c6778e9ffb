#include "gui/fleet_common/fleet_texts.h"

#include "protocol/collector_rules.h"

namespace fleetwin::text {

const char* PlanText(fleet::PlanKind plan) {
    return fleet::Describe(plan).chinese;
}

const char* OutcomeText(fleet::ResultKind result) {
    return fleet::Describe(result).chinese;
}

const char* StageText(const std::string& stage) {
    if (stage == "sweep")
        return "等待";
    if (stage == "request")
        return "请求";
    if (stage == "blocks")
        return "发送数据";
    if (stage == "query")
        return "查询";
    if (stage == "verify")
        return "验证";
    if (stage == "done")
        return "完成";
    return "";
}

std::string ReasonText(const fleet::CollectorResult& result) {
    if (const auto known = fleet::ReasonNamed(result.reasonCode);
        known && *known != fleet::Reason::None)
        return fleet::Describe(*known).chinese;
    return result.reason.empty() ? result.reasonCode : result.reason;
}

std::string SelectionCountText(std::size_t checked, std::size_t rows) {
    return "已选择 " + std::to_string(checked) + " / " + std::to_string(rows) + " 台";
}

std::string EmptySweepText(const std::string& subnet, const std::string& adapter) {
    return "在 " + subnet + "（网卡 " + adapter +
           "）上没有采集器应答。请检查采集器的电源和网线、所选网卡是否正确，以及防火墙是否放行 UDP " +
           std::to_string(protocol::kSearchPort) + " 端口。";
}

std::string EngineFailureText(const std::string& what,
                              const std::optional<platform::CrashReport>& report) {
    std::string text = "搜索或升级因意外错误而停止（" + what + "）。";
    if (report)
        text += "\n" + platform::CrashReportText(*report);
    return text;
}

} // namespace fleetwin::text
