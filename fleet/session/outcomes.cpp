#include "fleet/session/outcomes.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <iterator>

namespace fleet {

namespace {

template <typename Kind> struct Row {
    Kind kind;
    CodeEntry entry;
};

// Each table lists its kinds in declaration order, so that a kind is its
// row's index; the build checks it.
template <typename Kind, std::size_t N>
constexpr bool InDeclarationOrder(const Row<Kind> (&rows)[N]) {
    for (std::size_t i = 0; i < N; ++i)
        if (static_cast<std::size_t>(rows[i].kind) != i)
            return false;
    return true;
}

constexpr Row<PlanKind> kPlans[] = {
    {PlanKind::Upgrade, {"upgrade", "the image is sent", "升级", false}},
    {PlanKind::AlreadyCurrent,
     {"already_current", "it runs the image's version", "已是当前版本", false}},
    {PlanKind::RefusedV,
     {"refused_v", "a version this program cannot upgrade", "拒绝(V版本)", false}},
    {PlanKind::NotInSubnet, {"not_in_subnet", "outside the adapter's subnet", "不在子网内", false}},
    {PlanKind::AddressConflict,
     {"address_conflict", "two serials answer from the address", "地址冲突", false}},
    {PlanKind::NotFound,
     {"not_found", "it did not answer, or another collector answers there now", "未应答", false}},
    {PlanKind::Unexpected, {"unexpected", "found, but not in the expected list", "非预期", false}},
};

constexpr Row<ResultKind> kResults[] = {
    {ResultKind::Upgraded,
     {"upgraded", "completed and (unless --no-verify) reported the image's version", "升级成功",
      false}},
    {ResultKind::NotVerified,
     {"not_verified", "completed, but gave no version answer in the verification time",
      "已完成，未验证", true}},
    {ResultKind::Refused,
     {"refused", "answered \"E80\" (no flash), or its version cannot be upgraded by this program",
      "拒绝", false}},
    {ResultKind::AlreadyCurrent,
     {"already_current", "runs the image's version (the sweep's version, or \"E81\")",
      "已是当前版本", false}},
    {ResultKind::Failed,
     {"failed", "did not complete; reason and stage say why and where", "失败", true}},
    {ResultKind::Interrupted,
     {"interrupted", "the run was interrupted while its upgrade was under way", "已中断", true}},
    {ResultKind::Conflict,
     {"conflict",
      "two serial numbers answer from its address, or its serial answers on two adapters; never "
      "upgraded",
      "地址冲突", true}},
    {ResultKind::NotStarted,
     {"not_started", "its upgrade never started; the reason says why", "未开始", true}},
    {ResultKind::Planned, {"planned", "a dry run would upgrade it", "计划升级", false}},
    {ResultKind::InProgress,
     {"in_progress", "its upgrade was under way when the report was written", "进行中", false}},
    {ResultKind::NotFound,
     {"not_found", "not found: expected, but never answered the sweep", "未找到", true}},
};

constexpr Row<Reason> kReasons[] = {
    {Reason::None, {"", "", "", false}},
    {Reason::NoFlash,
     {"E80", "answered the request \"E80\": it has no flash to take an upgrade",
      "采集器不能升级(E80)", false}},
    {Reason::SameVersion,
     {"E81", "answered the request \"E81\": it already runs this version", "采集器已是此版本(E81)",
      false}},
    {Reason::RequestUnanswered,
     {"no_reply_request", "no answer to five upgrade requests", "升级请求无应答", false}},
    {Reason::RequestAnswer,
     {"bad_reply_request", "answered the upgrade request with something unexpected",
      "升级请求的应答无法识别", false}},
    {Reason::QueryUnanswered,
     {"no_reply_query", "no answer to five completion queries", "完成查询无应答", false}},
    {Reason::QueryAnswer,
     {"bad_reply_query", "answered a completion query with something unexpected",
      "完成查询的应答无法识别", false}},
    {Reason::PassLimit,
     {"pass_limit", "still missing blocks after 32 passes", "补发次数已达上限", false}},
    {Reason::WrongVersion,
     {"wrong_version",
      "completed, but kept reporting another version until the verification time ran out",
      "升级后的版本号不符", false}},
    {Reason::NoVersionReply,
     {"timeout_verify", "completed, but gave no version answer within the verification time",
      "数据已发完，未读到新版本号", false}},
    {Reason::Interrupted,
     {"interrupted", "the run was interrupted before or while its upgrade ran", "操作员停止了升级",
      false}},
    {Reason::CanaryNotUpgraded,
     {"canary_not_upgraded", "not started: the canary did not end upgraded",
      "试升级的采集器未成功，未开始", true}},
    {Reason::FailureLimit,
     {"failure_limit", "not started: the --max-failures limit was reached",
      "失败数已达上限，未开始", false}},
    {Reason::NotInSubnet,
     {"not_in_subnet", "a named target outside the adapter's subnet; nothing sent to it",
      "不在所选网卡的子网内", false}},
    {Reason::NoSweepReply,
     {"no_sweep_reply", "a named or expected collector that did not answer the sweep",
      "搜索时未应答", false}},
    {Reason::AddressConflict,
     {"address_conflict", "several collectors answer from this address", "多台采集器使用此地址",
      false}},
    {Reason::SerialMismatch,
     {"serial_mismatch",
      "another collector answers at the address than the one its target was pinned to; "
      "nothing sent to it",
      "此地址现在是另一台采集器，未发送任何数据", true}},
    {Reason::NotConfirmed,
     {"not_confirmed", "not started: the question before the upgrade was not answered yes",
      "升级未经确认，未开始", false}},
    {Reason::VersionV,
     {"version_v", "its version begins with \"V\": it needs the older upgrade program",
      "V版本不能用本程序升级", false}},
    {Reason::VersionNotS,
     {"version_not_s", "its version does not begin with \"S\"", "版本号不以S开头，不能升级",
      false}},
    {Reason::AlreadyCurrent,
     {"already_current", "the sweep found it at the image's version", "已是此版本", false}},
    {Reason::Unexpected,
     {"unexpected", "left alone: not in the expected list, and only expected collectors upgrade",
      "不在预期列表中，未升级", false}},
    {Reason::SerialOnTwoAdapters,
     {"serial_on_two_adapters",
      "its serial answered on two adapters of the run; neither is upgraded",
      "此序列号在两块网卡上都有应答，均未升级", false}},
};

static_assert(std::size(kPlans) == kPlanKindCount && InDeclarationOrder(kPlans));
static_assert(std::size(kResults) == kResultKindCount && InDeclarationOrder(kResults));
static_assert(std::size(kReasons) == kReasonCount && InDeclarationOrder(kReasons));

template <typename Kind, std::size_t N>
std::span<const CodeEntry> Entries(const Row<Kind> (&rows)[N]) {
    static const auto entries = [&rows] {
        std::array<CodeEntry, N> all{};
        std::transform(std::begin(rows), std::end(rows), all.begin(),
                       [](const Row<Kind>& row) { return row.entry; });
        return all;
    }();
    return entries;
}

} // namespace

const CodeEntry& Describe(PlanKind kind) {
    return kPlans[static_cast<std::size_t>(kind)].entry;
}

const CodeEntry& Describe(ResultKind kind) {
    return kResults[static_cast<std::size_t>(kind)].entry;
}

const CodeEntry& Describe(Reason reason) {
    return kReasons[static_cast<std::size_t>(reason)].entry;
}

std::span<const CodeEntry> PlanEntries() {
    return Entries(kPlans);
}

std::span<const CodeEntry> ResultEntries() {
    return Entries(kResults);
}

std::span<const CodeEntry> ReasonEntries() {
    return Entries(kReasons);
}

const char* PlanName(PlanKind kind) {
    return Describe(kind).code;
}

const char* ResultName(ResultKind kind) {
    return Describe(kind).code;
}

const char* ReasonName(Reason reason) {
    return Describe(reason).code;
}

std::optional<Reason> ReasonNamed(std::string_view code) {
    for (const auto& row : kReasons)
        if (code == row.entry.code)
            return row.kind;
    return std::nullopt;
}

} // namespace fleet
