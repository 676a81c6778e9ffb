#pragma once

// The fleet window's texts, as the operator reads them (UTF-8).

#include "fleet/run/fleet_report.h"
#include "image/image_signature.h"
#include "platform/crash_report.h"
#include "platform/port_holders.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fleetui::text {

inline constexpr const char* kTitle = "批量升级";
inline constexpr const char* kAdapter = "网卡";
inline constexpr const char* kSearch = "搜索";
inline constexpr const char* kFilter = "筛选";
inline constexpr const char* kImage = "升级文件";
inline constexpr const char* kBrowse = "浏览";
inline constexpr const char* kVersion = "版本号";
inline constexpr const char* kSelectAll = "全选";
inline constexpr const char* kSelectNone = "全不选";
inline constexpr const char* kSelectNotCurrent = "选择未是最新版本的";
inline constexpr const char* kStart = "开始升级";
inline constexpr const char* kStop = "停止";
inline constexpr const char* kRetryFailed = "重试失败的";
inline constexpr const char* kSaveJson = "保存报告(JSON)";
inline constexpr const char* kSaveCsv = "保存报告(CSV)";
inline constexpr const char* kTable = "采集器列表";
inline constexpr const char* kOverall = "总进度";
inline constexpr const char* kStatus = "状态";
inline constexpr const char* kExpectedFromFile = "载入预期列表";
inline constexpr const char* kExpectedFromSweep = "以搜索结果为预期";
inline constexpr const char* kExpectedClear = "清除预期";
// The files the expected list's open-file dialog lists.
inline constexpr const char* kExpectedFiles = "预期列表";
inline constexpr const char* kExpectedListProblem = "无法使用预期列表：";
// After the plan of a row the sweep found but the expected list does not name.
inline constexpr const char* kNotExpectedMark = "（非预期）";

// Column headers of the table.
inline constexpr const char* kColumns[] = {"选择", "序列号", "IP",   "版本", "计划",
                                           "阶段", "进度",   "结果", "原因"};

// The name rule's notice is protocol::kNameRuleNotice, the upgrade window's own.
inline constexpr const char* kConfirmTitle = "确认升级";
inline constexpr const char* kCloseTitle = "正在升级";
inline constexpr const char* kCloseQuestion = "升级正在进行。停止升级并关闭窗口吗？";
inline constexpr const char* kNoImage = "请先选择升级文件";
inline constexpr const char* kNothingSelected = "没有选择要升级的采集器";
inline constexpr const char* kChooseAdapter = "请选择网卡";
// A collector of a kept report whose run never ended.
inline constexpr const char* kOutcomeUnknown = "状态不明";
inline constexpr const char* kRunNeverEnded = "运行没有正常结束：升级可能已开始";
// The firmware files the open-file dialog lists.
inline constexpr const char* kImageFiles = "程序文件";
// "预期 5 台：找到 4，缺少 1"
std::string ExpectedCountsText(const fleet::ExpectedCounts& counts);
// How many collectors are ticked, of how many rows.
std::string SelectionCountText(std::size_t checked, std::size_t rows);

// What an upgrade would do to a collector, for the plan column (from the
// outcomes table, as the outcome and reason texts are).
const char* PlanText(fleet::PlanKind plan);
// A collector's outcome, for the result column.
const char* OutcomeText(fleet::ResultKind result);
// A report stage ("request", "blocks", ...), for the stage column.
const char* StageText(const std::string& stage);
// Why a collector ended as it did, from its report's reason code, for the
// reason column. A code this window does not know shows the report's own words.
std::string ReasonText(const fleet::CollectorResult& result);

// Status lines when a sweep or a run cannot go on. The system's own detail
// (an address, a socket error) follows the colon as the system gave it.
inline constexpr const char* kAdapterProblem = "无法使用所选网卡：";
inline constexpr const char* kPortProblem = "无法打开网络端口：";
inline constexpr const char* kReportProblem = "无法写入报告：";
inline constexpr const char* kSearchFirst = "请先搜索采集器";
// The engine failed unexpectedly with `what`; where its crash report is, if
// one was written.
std::string EngineFailureText(const std::string& what,
                              const std::optional<platform::CrashReport>& report);
// No collector answered the sweep of `subnet` from `adapter` (name and
// address), and what the checks found on that adapter.
std::string EmptySweepText(const std::string& subnet, const std::string& adapter,
                           const std::string& findings);
// Port `port` is held by another program: which one to close, and who holds it.
std::string PortHeldText(std::uint16_t port, const platform::PortHolders& holders);

// The status line through a sweep and a run.
inline constexpr const char* kSearching = "正在搜索采集器…";
inline constexpr const char* kStopping = "正在停止…";
// "找到 3 台采集器（192.168.1.0/24）"
std::string FoundText(std::size_t collectors, const std::string& subnet);
// Before a sweep: the expected list's size, or that there is none.
std::string ExpectedListText(std::size_t collectors);
// "正在升级 3 台采集器"
std::string RunStartedText(std::size_t targets);
// "正在升级：1 / 3 台已完成"
std::string RunProgressText(std::size_t done, std::size_t targets);
// "完成：升级成功 3，失败 1（退出状态 1）", or "已停止：..." when stopped.
// `outcomes` is OutcomeCountsText.
std::string RunFinishedText(bool interrupted, const std::string& outcomes, int exitStatus);
// Each outcome that occurred with its count, in the outcomes' order:
// "升级成功 3，失败 1"; "没有采集器" for none.
std::string OutcomeCountsText(const std::vector<fleet::CollectorResult>& results);
// The status line over a kept report: its image, digest and start, then its
// end, exit status and outcomes, or that the run never ended.
std::string KeptReportText(const std::string& imageName, const std::string& sha256,
                           const std::string& started, const std::optional<std::string>& ended,
                           std::optional<int> exitStatus, const std::string& outcomes);

// Start refused while a sweep or a run goes on.
inline constexpr const char* kBusy = "正在运行";
// The question before a run: how many collectors, the image (when one was
// chosen: its file, version and SHA-256) and whether a canary goes first.
std::string ConfirmationText(std::size_t collectors, const fleet::FirmwareImage* image,
                             const std::string& sha256, std::size_t canary,
                             const std::string& signature = {});

// "已签名：<key name>" or "未签名".
std::string SignatureText(const image::SignatureCheck& signature);
// The image refused for its signature, with the reason.
std::string SignatureRefusalText(const std::string& reason);

} // namespace fleetui::text
