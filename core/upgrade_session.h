#pragma once

// One upgrade of one collector: the mode, the address the request went to,
// the image sent (SendImageHex), the request itself and every transition that
// a reply or a worker makes (core/session_transitions.h). The request and the
// replies run on the UI thread; the workers reach the session through
// BlocksSent, Polling, QuerySent and QueriesEnded.

#include "core/channels.h"
#include "core/device_table.h"
#include "core/firmware_image.h"
#include "core/session_mode.h"
#include "core/session_transitions.h"
#include "core/status_line.h"
#include "core/tool_view.h"
#include "core/worker_requests.h"

#include <optional>
#include <string>

namespace core {

// Four-digit block fields address at most this many blocks.
inline constexpr std::size_t kMaxBlocks = 0xFFFF;

class UpgradeSession {
public:
    struct Parts {
        SessionMode& mode;
        UdpChannel& upgradeChannel;
        StatusLine& status;
        Notices& notices;
        OperatorInput& input;
        const DeviceTable& devices;
        WorkerLauncher& workers;
    };
    explicit UpgradeSession(Parts parts) : parts_(parts) {}

    // The upgrade button: checks the selection, the mode, the collector's
    // version, the chosen file and the image, then sends the request with the
    // version field's text encoded to GBK. Each refusal is a notice.
    void Request(const std::string& imagePath, const ImageText& image);

    // A checksummed frame from the upgrade channel. A numeric field that does
    // not parse throws ConversionError, leaving what already changed.
    void HandleReply(const std::string& frame);

    // Worker side, any thread.
    void BlocksSent();    // after the settle pause: "EN"
    bool Polling() const; // still "EN": go on querying
    void QuerySent();     // status "正在查询升级是否成功"
    void QueriesEnded();  // no reply changed the mode: status "升级失败"

    SessionMode& Mode() { return parts_.mode; }
    const ImageText& SendImageHex() const { return sendImageHex_; }

private:
    void Apply(const SessionTransition& transition, const std::string& frame);
    // The selected row's address, or the one the request went to.
    std::string TargetAddress() const;

    Parts parts_;
    ImageText sendImageHex_;
    std::string requestAddress_;
};

} // namespace core
