#include "core/upgrade_session.h"

#include "platform/gbk.h"
#include "protocol/messages.h"

namespace core {

void UpgradeSession::Request(const std::string& imagePath, const ImageText& image) {
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
    const char v = selected->version.empty() ? '\0' : selected->version.front();
    if (v == 'V') {
        notices.Notice("采集器版本不兼容，请使用老版升级程序");
        return;
    }
    if (v != 'S') {
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
    if (blockCount > kMaxBlocks) {
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

void UpgradeSession::HandleReply(const std::string& frame) {
    const auto event = ReplyEvent(parts_.mode.Get(), frame);
    if (!event)
        return;
    if (const SessionTransition* transition = FindTransition(parts_.mode.Get(), *event))
        Apply(*transition, frame);
}

void UpgradeSession::Apply(const SessionTransition& transition, const std::string& frame) {
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

void UpgradeSession::BlocksSent() {
    if (const auto* transition = FindTransition(parts_.mode.Get(), SessionEvent::BlocksSent))
        parts_.mode.Set(*transition->to);
}

bool UpgradeSession::Polling() const {
    return parts_.mode.Is(Mode::EN);
}

void UpgradeSession::QuerySent() {
    parts_.status.ShowFromWorker("正在查询升级是否成功");
}

void UpgradeSession::QueriesEnded() {
    const auto* transition = FindTransition(parts_.mode.Get(), SessionEvent::QueriesUnanswered);
    if (transition == nullptr)
        return;
    if (transition->to)
        parts_.mode.Set(*transition->to);
    parts_.status.ShowFromWorker(std::string(transition->status));
}

std::string UpgradeSession::TargetAddress() const {
    if (const auto selected = parts_.devices.Row(parts_.input.SelectedRow()))
        return selected->ip;
    return requestAddress_;
}

} // namespace core
