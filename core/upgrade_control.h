#pragma once

// The window's upgrade control: the mode, the address the request went to,
// the image sent (SendImageHex), the request itself and every transition that
// a reply makes (core/session_transitions.h). UI thread only; the workers
// make theirs through core/worker_port.h.

#include "core/channels.h"
#include "core/chosen_image.h"
#include "core/device_table.h"
#include "core/session_mode.h"
#include "core/session_transitions.h"
#include "core/status_line.h"
#include "core/tool_view.h"
#include "core/worker_requests.h"

#include <optional>
#include <string>

namespace core {

class UpgradeControl {
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
    explicit UpgradeControl(Parts parts) : parts_(parts) {}

    // The upgrade button: checks the selection, the mode, the collector's
    // version, the chosen file and the image, then sends the request with the
    // version field's text encoded to GBK. Each refusal is a notice.
    void Request(const std::string& imagePath, const ImageText& image);

    // A checksummed frame from the upgrade channel. A numeric field that does
    // not parse throws ConversionError, leaving what already changed.
    void HandleReply(const std::string& frame);

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
