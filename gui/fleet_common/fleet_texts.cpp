#include "gui/fleet_common/fleet_texts.h"

#include "protocol/collector_rules.h"

#include <map>

namespace fleetwin::text {

const char* PlanText(fleet::PlanKind plan) {
    switch (plan) {
    case fleet::PlanKind::Upgrade:
        return "升级";
    case fleet::PlanKind::AlreadyCurrent:
        return "已是当前版本";
    case fleet::PlanKind::RefusedV:
        return "拒绝(V版本)";
    case fleet::PlanKind::NotInSubnet:
        return "不在子网内";
    case fleet::PlanKind::AddressConflict:
        return "地址冲突";
    case fleet::PlanKind::NotFound:
        return "未应答";
    case fleet::PlanKind::Unexpected:
        return "非预期";
    }
    return "";
}

const char* OutcomeText(fleet::ResultKind result) {
    switch (result) {
    case fleet::ResultKind::Upgraded:
        return "升级成功";
    case fleet::ResultKind::NotVerified:
        return "已完成，未验证";
    case fleet::ResultKind::Refused:
        return "拒绝";
    case fleet::ResultKind::AlreadyCurrent:
        return "已是当前版本";
    case fleet::ResultKind::Failed:
        return "失败";
    case fleet::ResultKind::Interrupted:
        return "已中断";
    case fleet::ResultKind::Conflict:
        return "地址冲突";
    case fleet::ResultKind::NotStarted:
        return "未开始";
    case fleet::ResultKind::Planned:
        return "计划升级";
    case fleet::ResultKind::InProgress:
        return "进行中";
    case fleet::ResultKind::NotFound:
        return "未找到";
    }
    return "";
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
    static const std::map<std::string, const char*> kReasons = {
        {"E80", "采集器不能升级(E80)"},
        {"E81", "采集器已是此版本(E81)"},
        {"no_reply_request", "升级请求无应答"},
        {"bad_reply_request", "升级请求的应答无法识别"},
        {"no_reply_query", "完成查询无应答"},
        {"bad_reply_query", "完成查询的应答无法识别"},
        {"pass_limit", "补发次数已达上限"},
        {"wrong_version", "升级后的版本号不符"},
        {"timeout_verify", "数据已发完，未读到新版本号"},
        {"interrupted", "操作员停止了升级"},
        {"serial_mismatch", "此地址现在是另一台采集器，未发送任何数据"},
        {"not_confirmed", "升级未经确认，未开始"},
        {"canary_not_upgraded", "试升级的采集器未成功，未开始"},
        {"failure_limit", "失败数已达上限，未开始"},
        {"not_in_subnet", "不在所选网卡的子网内"},
        {"no_sweep_reply", "搜索时未应答"},
        {"address_conflict", "多台采集器使用此地址"},
        {"version_v", "V版本不能用本程序升级"},
        {"version_not_s", "版本号不以S开头，不能升级"},
        {"already_current", "已是此版本"},
        {"unexpected", "不在预期列表中，未升级"},
    };
    if (const auto known = kReasons.find(result.reasonCode); known != kReasons.end())
        return known->second;
    return result.reason.empty() ? result.reasonCode : result.reason;
}

std::string ExpectedCountsText(const fleet::ExpectedCounts& counts) {
    return "预期 " + std::to_string(counts.expected) + " 台：找到 " +
           std::to_string(counts.found) + "，缺少 " + std::to_string(counts.missing);
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
