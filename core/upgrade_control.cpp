#include "core/upgrade_control.h"

#include "platform/gbk.h"
#include "protocol/collector_rules.h"
#include "protocol/messages.h"
#include "protocol/version_class.h"

namespace core {

void UpgradeControl::Request(const std::string& imagePath, const ImageText& image) {
    auto& notices = parts_.notices;
    const auto selected = parts_.devices.Row(parts_.input.SelectedRow());
    if (!selected) {
        notices.Notice("请选择一个采集器进行升级");
        return;
    }
    if (parts_.mode.Is(Mode::UD) || parts_.mode.Is(Mode::EN)) {
        notices.Notice("上一次升级尚未完成");
        return;
    }
    const auto versionClass = protocol::ClassifyVersion(selected->version);
    if (versionClass == protocol::VersionClass::V) {
        notices.Notice("采集器版本不兼容，请使用老版升级程序");
        return;
    }
    if (versionClass != protocol::VersionClass::S) {
        notices.Notice("版本号不正确，不能下载");
        return;
    }
    if (imagePath.empty()) {
        notices.Notice("请选择升级文件");
        return;
    }
    if (image->empty()) {
        sendImageHex_ = image;
        notices.Notice("读取升级文件失败");
        return;
    }
    // Refused before anything is replaced: a late accept of an earlier
    // request still sends the image that request announced.
    const std::size_t blockCount = protocol::BlockCount(image->size());
    if (blockCount > protocol::kMaxBlocks) {
        notices.Notice("升级文件过大，不能升级");
        return;
    }
    sendImageHex_ = image;
    parts_.mode.Set(Mode::LU);
    const std::string version = platform::Utf8ToGbk(parts_.input.VersionText());
    parts_.upgradeChannel.Send(protocol::BuildUpgradeRequest(version, blockCount), selected->ip);
    requestAddress_ = selected->ip;
    parts_.status.Show("正在请求升级");
}

void UpgradeControl::HandleReply(const std::string& frame) {
    const auto event = ReplyEvent(parts_.mode.Get(), frame);
    if (!event)
        return;
    if (const SessionTransition* transition = FindTransition(parts_.mode.Get(), *event))
        Apply(*transition, frame);
}

void UpgradeControl::Apply(const SessionTransition& transition, const std::string& frame) {
    const auto land = [&](ModeLands when) {
        if (transition.to && transition.modeLands == when)
            parts_.mode.Set(*transition.to);
    };
    land(ModeLands::BeforeParsing);
    if (!transition.status.empty())
        parts_.status.Show(std::string(transition.status));
    switch (transition.work) {
    case SessionWork::None:
        break;
    case SessionWork::SendRange: {
        const int startBlock = protocol::ParseAcceptStartBlock(frame); // may throw
        const auto blockCount =
            static_cast<int>(protocol::BlockCount(sendImageHex_ ? sendImageHex_->size() : 0));
        land(ModeLands::AfterParsing);
        parts_.workers.StartRange({startBlock, blockCount, TargetAddress(), sendImageHex_});
        break;
    }
    case SessionWork::SendList: {
        auto list = protocol::ParseResendList(frame); // may throw
        land(ModeLands::AfterParsing);
        parts_.workers.StartList({std::move(list), TargetAddress(), sendImageHex_});
        break;
    }
    }
    if (!transition.notice.empty())
        parts_.notices.Notice(std::string(transition.notice));
}

std::string UpgradeControl::TargetAddress() const {
    if (const auto selected = parts_.devices.Row(parts_.input.SelectedRow()))
        return selected->ip;
    return requestAddress_;
}

} // namespace core
