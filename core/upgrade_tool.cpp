#include "core/upgrade_tool.h"

namespace core {

UpgradeTool::UpgradeTool(WindowPorts window, ToolPorts ports)
    : window_(std::move(window)), ports_(ports), status_(window_.view, window_.workerDisplay),
      discovery_(window_.view, mode_), session_({mode_, upgradeChannel_, status_, window_.notices,
                                                 window_.input, discovery_.Devices(), *this}),
      workerPort_(mode_, status_) {}

UpgradeTool::~UpgradeTool() {
    StopWorkers();
    CloseUpgradeChannel(upgradeChannel_, window_.socketEvents);
    CloseSearchChannel(searchChannel_, window_.socketEvents);
}

void UpgradeTool::FormShow() {
    if (const auto address =
            window_.lookupLocalAddress ? window_.lookupLocalAddress() : std::nullopt) {
        discovery_.SetLocalAddress(*address);
        return;
    }
    // lbl3 keeps its initial text; say why no sweep can find anything. The
    // window is shown before it is first activated, so start-up comes after
    // this: it keeps the text instead of "等待升级", and a channel failure
    // replaces it.
    status_.Show("未找到本机IP地址");
}

void UpgradeTool::FormActivate() {
    if (activated_)
        return;
    activated_ = true;
    const std::string failure = "端口创建套接字失败!!";
    upgradeChannel_.SetPorts(ports_.upgradeLocal, ports_.upgradeDestination);
    if (!OpenUpgradeChannel(upgradeChannel_, window_.socketEvents))
        status_.Show(failure);
    searchChannel_.SetPorts(ports_.searchLocal, ports_.searchDestination);
    if (!OpenSearchChannel(searchChannel_, window_.socketEvents))
        status_.Show(failure);
    if (status_.Text().empty())
        status_.Show("等待升级");
    workers_ = std::make_unique<BlockWorkers>(
        WorkerContext{upgradeChannel_, workerPort_, window_.sleeper, window_.workerDisplay});
}

void UpgradeTool::FormClose() {
    CloseUpgradeChannel(upgradeChannel_, window_.socketEvents);
    CloseSearchChannel(searchChannel_, window_.socketEvents);
}

void UpgradeTool::btnsearchClick() {
    discovery_.Sweep(searchChannel_);
}

void UpgradeTool::btn1Click() {
    image_.Browse(window_.fileDialog, window_.notices, window_.view);
}

void UpgradeTool::btnUPGClick() {
    session_.Request(image_.Path(), image_.Hex());
}

void UpgradeTool::HandleSocketMessage() {
    core::HandleSocketMessage(
        upgradeChannel_, searchChannel_,
        [this](const std::string& frame) { session_.HandleReply(frame); },
        [this](const std::string& frame, const std::string& sender) {
            discovery_.HandleSearchReply(frame, sender);
        });
}

void UpgradeTool::StopWorkers() {
    window_.sleeper.Cancel();
    workers_.reset();
}

void UpgradeTool::StartRange(RangeRequest request) {
    if (workers_)
        workers_->StartRange(std::move(request));
}

void UpgradeTool::StartList(ListRequest request) {
    if (workers_)
        workers_->StartList(std::move(request));
}

} // namespace core
