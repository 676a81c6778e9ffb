#include "core/upgrade_tool.h"

#include <cctype>

UpgradeTool::UpgradeTool(ToolPortsAndViews views, ToolPorts ports)
    : views_(std::move(views)), ports_(ports) {}

UpgradeTool::~UpgradeTool() {
    StopWorkers();
    CloseUpgradeChannel(upgradeChannel_, views_.socketEvents);
    CloseSearchChannel(searchChannel_, views_.socketEvents);
}

void UpgradeTool::FormShow() {
    if (const auto address =
            views_.lookupLocalAddress ? views_.lookupLocalAddress() : std::nullopt) {
        views_.fields.SetLocalAddressText(*address);
        return;
    }
    // lbl3 keeps its initial text; say why no sweep can find anything, unless
    // a channel failure already occupies the status line.
    if (views_.fields.StatusText().empty())
        views_.fields.SetStatusText("未找到本机IP地址");
}

void UpgradeTool::FormActivate() {
    if (activated_)
        return;
    activated_ = true;
    const std::string failure = "端口创建套接字失败!!";
    upgradeChannel_.SetPorts(ports_.upgradeLocal, ports_.upgradeDestination);
    if (!OpenUpgradeChannel(upgradeChannel_, views_.socketEvents))
        views_.fields.SetStatusText(failure);
    searchChannel_.SetPorts(ports_.searchLocal, ports_.searchDestination);
    if (!OpenSearchChannel(searchChannel_, views_.socketEvents))
        views_.fields.SetStatusText(failure);
    if (views_.fields.StatusText().empty())
        views_.fields.SetStatusText("等待升级");
    const WorkerContext context{upgradeChannel_, mode_, views_.sleeper, views_.workerDisplay};
    tupthread_ = std::make_unique<Tupthread>(context);
    tupthread1_ = std::make_unique<Tupthread1>(context);
}

void UpgradeTool::FormClose() {
    CloseUpgradeChannel(upgradeChannel_, views_.socketEvents);
    CloseSearchChannel(searchChannel_, views_.socketEvents);
}

void UpgradeTool::StopWorkers() {
    views_.sleeper.Cancel();
    tupthread_.reset();
    tupthread1_.reset();
}

void UpgradeTool::HandleSocketMessage() {
    ::HandleSocketMessage(
        upgradeChannel_, searchChannel_,
        [this](const std::string& frame) { HandleUpgradeFrame(frame); },
        [this](const std::string& frame, const std::string& sender) {
            HandleSearchReply(frame, sender);
        });
}

std::string ErrorBoxText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + ".";
    return message;
}

std::string ApplicationTitle(const std::string& programPath) {
    const auto slash = programPath.find_last_of("/\\");
    std::string name = programPath.substr(slash == std::string::npos ? 0 : slash + 1);
    name = name.substr(0, name.find('.'));
    for (std::size_t i = 1; i < name.size(); ++i)
        name[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
    return name;
}
