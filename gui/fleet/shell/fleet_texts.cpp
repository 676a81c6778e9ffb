#include "gui/fleet/shell/fleet_texts.h"

#include "fleet/run/doctor_findings.h"
#include "fleet/run/fleet_sockets.h"

namespace fleetui::text {

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

std::string ExpectedCountsText(const fleet::ExpectedCounts& counts) {
    return "预期 " + std::to_string(counts.expected) + " 台：找到 " + std::to_string(counts.found) +
           "，缺少 " + std::to_string(counts.missing);
}

std::string SelectionCountText(std::size_t checked, std::size_t rows) {
    return "已选择 " + std::to_string(checked) + " / " + std::to_string(rows) + " 台";
}

std::string EmptySweepText(const std::string& subnet, const std::string& adapter,
                           const std::string& findings) {
    return "在 " + subnet + "（网卡 " + adapter + "）上没有采集器应答。检查结果：" + findings;
}

std::string PortHeldText(std::uint16_t port, const platform::PortHolders& holders) {
    return fleet::PortInUseText(port) + "。占用端口 " + std::to_string(port) + " 的是：" +
           fleet::HoldersText(holders, true);
}

std::string EngineFailureText(const std::string& what,
                              const std::optional<platform::CrashReport>& report) {
    std::string text = "搜索或升级因意外错误而停止（" + what + "）。";
    if (report)
        text += "\n" + platform::CrashReportText(*report);
    return text;
}

std::string FoundText(std::size_t collectors, const std::string& subnet) {
    return "找到 " + std::to_string(collectors) + " 台采集器（" + subnet + "）";
}

std::string ExpectedListText(std::size_t collectors) {
    return collectors == 0 ? "没有预期列表"
                           : "预期列表：" + std::to_string(collectors) + " 台采集器";
}

std::string RunStartedText(std::size_t targets) {
    return "正在升级 " + std::to_string(targets) + " 台采集器";
}

std::string RunProgressText(std::size_t done, std::size_t targets) {
    return "正在升级：" + std::to_string(done) + " / " + std::to_string(targets) + " 台已完成";
}

std::string RunFinishedText(bool interrupted, const std::string& outcomes, int exitStatus) {
    return std::string(interrupted ? "已停止" : "完成") + "：" + outcomes + "（退出状态 " +
           std::to_string(exitStatus) + "）";
}

std::string OutcomeCountsText(const std::vector<fleet::CollectorResult>& results) {
    std::map<fleet::ResultKind, int> counts;
    for (const auto& result : results)
        ++counts[result.result];
    std::string text;
    for (const auto& [kind, count] : counts)
        text +=
            std::string(text.empty() ? "" : "，") + OutcomeText(kind) + " " + std::to_string(count);
    return text.empty() ? "没有采集器" : text;
}

std::string KeptReportText(const std::string& imageName, const std::string& sha256,
                           const std::string& started, const std::optional<std::string>& ended,
                           std::optional<int> exitStatus, const std::string& outcomes) {
    std::string text =
        "上次的报告：" + imageName + "（SHA-256 " + sha256.substr(0, 12) + "…），开始 " + started;
    if (ended)
        return text + "，结束 " + *ended + "，退出状态 " +
               (exitStatus ? std::to_string(*exitStatus) : std::string("?")) + "：" + outcomes;
    return text + "。这次运行没有正常结束，未完成的采集器状态不明";
}

std::string ConfirmationText(std::size_t collectors, const fleet::FirmwareImage* image,
                             const std::string& sha256, std::size_t canary,
                             const std::string& signature) {
    std::string text = "升级 " + std::to_string(collectors) + " 台采集器\n";
    if (image)
        text += "升级文件：" + image->fileName + "\n版本号：" + image->versionText + "\nSHA-256：" +
                sha256 + "\n" + (signature.empty() ? "" : signature + "\n");
    text += canary == 0 ? std::string("不先试升级，全部同时开始")
                        : "先试升级 " + std::to_string(canary) + " 台，成功后再升级其余的";
    return text;
}

std::string SignatureText(const image::SignatureCheck& signature) {
    return signature.isSigned ? "已签名：" + signature.keyName : "未签名";
}

std::string SignatureRefusalText(const std::string& reason) {
    return "升级文件的签名未通过检查，不能使用：" + reason + "。";
}

} // namespace fleetui::text
