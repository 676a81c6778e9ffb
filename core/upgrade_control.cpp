// The upgrade button and the collector's replies on the upgrade channel.
#include "platform/gbk.h"
#include "protocol/messages.h"
#include "core/upgrade_tool.h"

namespace {

// Four-digit block fields address at most this many blocks.
constexpr std::size_t kMaxBlocks = 0xFFFF;

} // namespace

void UpgradeTool::btnUPGClick() {
    auto& notices = views_.notices;
    const auto selected = views_.deviceList.SelectedRow();
    if (!selected) {
        notices.Notice("请选择一个采集器进行升级");
        return;
    }
    if (mode_.Is(Mode::UD) || mode_.Is(Mode::EN)) {
        notices.Notice("上一次升级尚未完成");
        return;
    }
    const DeviceEntry device = views_.deviceList.Row(*selected);
    const char v = device.version.empty() ? '\0' : device.version.front();
    if (v == 'V') {
        notices.Notice("采集器版本不兼容，请使用老版升级程序");
        return;
    }
    if (v != 'S') {
        notices.Notice("版本号不正确，不能下载");
        return;
    }
    if (views_.fields.ImagePath().empty()) {
        notices.Notice("请选择升级文件");
        return;
    }
    sendImageHex_ = std::make_shared<const std::string>(imageHex_);
    if (sendImageHex_->empty()) {
        notices.Notice("读取升级文件失败");
        return;
    }
    const std::size_t blockCount = protocol::BlockCount(sendImageHex_->size());
    if (blockCount > kMaxBlocks) {
        notices.Notice("升级文件过大，不能升级");
        return;
    }
    mode_.Set(Mode::LU);
    const std::string version = Utf8ToGbk(views_.fields.VersionText());
    upgradeChannel_.Send(protocol::BuildUpgradeRequest(version, blockCount), device.ip);
    requestAddress_ = device.ip;
    views_.fields.SetStatusText("正在请求升级");
}

void UpgradeTool::HandleUpgradeFrame(const std::string& frame) {
    if (mode_.Is(Mode::LU)) {
        switch (protocol::ClassifyRequestReply(frame)) {
        case protocol::RequestReply::Accept:
            OnAccept(frame);
            return;
        case protocol::RequestReply::NoFlash:
            mode_.Set(Mode::Empty);
            views_.notices.Notice("当前无Flash，不能升级");
            return;
        case protocol::RequestReply::SameVersion:
            mode_.Set(Mode::Empty);
            views_.notices.Notice("版本相同，无需升级");
            return;
        case protocol::RequestReply::Other:
            mode_.Set(Mode::Empty);
            return;
        }
    }
    if (!mode_.Is(Mode::EN))
        return;
    switch (protocol::ClassifyCompletionReply(frame)) {
    case protocol::CompletionReply::ResendList:
        OnResendList(frame);
        return;
    case protocol::CompletionReply::Complete:
        mode_.Set(Mode::Empty);
        views_.notices.Notice("升级完成");
        return;
    case protocol::CompletionReply::Failure:
        mode_.Set(Mode::Empty);
        views_.notices.Notice("升级未完成，发生未知错误");
        return;
    }
}

void UpgradeTool::OnAccept(const std::string& frame) {
    views_.fields.SetStatusText("正在升级");
    const int startBlock = protocol::ParseAcceptStartBlock(frame); // may throw; mode stays "LU"
    const auto blockCount =
        static_cast<int>(protocol::BlockCount(sendImageHex_ ? sendImageHex_->size() : 0));
    mode_.Set(Mode::UD);
    if (tupthread_)
        tupthread_->Start({startBlock, blockCount, TargetAddress(), sendImageHex_});
}

void UpgradeTool::OnResendList(const std::string& frame) {
    mode_.Set(Mode::UD);
    views_.fields.SetStatusText("正在升级");
    auto list = protocol::ParseResendList(frame); // may throw; mode stays "UD"
    if (tupthread1_)
        tupthread1_->Start({std::move(list), TargetAddress(), sendImageHex_});
}

std::string UpgradeTool::TargetAddress() const {
    if (const auto selected = views_.deviceList.SelectedRow())
        return views_.deviceList.Row(*selected).ip;
    return requestAddress_;
}
