#include "gui/fleet_common/fleet_texts.h"

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

} // namespace fleetwin::text
