#pragma once

// The fleet window's texts, as the operator reads them (UTF-8).

#include "fleet/fleet_report.h"
#include "platform/crash_report.h"

#include <cstddef>
#include <optional>
#include <string>

namespace fleetwin::text {

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

// The name rule's notice, as the main window shows it.
inline constexpr const char* kNameRule = "版本号必须以S开头";
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

// What an upgrade would do to a collector, for the plan column.
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
// No collector answered the sweep of `subnet` from `adapter` (name and address).
std::string EmptySweepText(const std::string& subnet, const std::string& adapter);

} // namespace fleetwin::text
