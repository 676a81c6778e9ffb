#include "core/discovery.h"

#include "protocol/collector_rules.h"
#include "protocol/messages.h"
#include "pubpro/text_utils.h"

namespace core {

std::string SubnetPrefix(const std::string& localAddress) {
    std::size_t k = 0;
    for (int dot = 0; dot < 3; ++dot)
        k += pubpro::Pos(
            ".", pubpro::Copy(localAddress, static_cast<long long>(k) + 1, localAddress.size()));
    return localAddress.substr(0, k);
}

void Discovery::SetLocalAddress(const std::string& address) {
    localAddress_ = address;
    view_.LocalAddressChanged(address);
}

void Discovery::Sweep(UdpChannel& searchChannel) {
    devices_.Clear();
    mode_.Set(Mode::SS);
    const std::string prefix = SubnetPrefix(localAddress_);
    const std::string probe = protocol::BuildSearchProbe();
    for (int host = protocol::kFirstSweptHost; host <= protocol::kLastSweptHost; ++host)
        searchChannel.Send(probe, prefix + std::to_string(host));
}

void Discovery::HandleSearchReply(const std::string& frame, const std::string& sender) {
    if (!mode_.Is(Mode::SS))
        return;
    const auto reply = protocol::ParseSearchReply(frame);
    if (sender.empty() || sender == localAddress_ || reply.serial.empty())
        return;
    // A known address keeps its version and takes the serial as received; a
    // new one is listed with the serial trimmed.
    if (const auto row = devices_.FindByIp(sender)) {
        devices_.SetSerial(*row, reply.serial);
        return;
    }
    devices_.Append({pubpro::Trim(reply.serial), sender, reply.version});
}

} // namespace core
