// The subnet sweep and the device list.
#include "core/discovery.h"

#include "protocol/messages.h"
#include "pubpro/text_utils.h"
#include "core/upgrade_tool.h"

std::string SubnetPrefix(const std::string& localAddress) {
    std::size_t k = 0;
    for (int dot = 0; dot < 3; ++dot) {
        const auto q =
            Pos(".", Copy(localAddress, static_cast<long long>(k) + 1, localAddress.size()));
        k += q;
    }
    return localAddress.substr(0, k);
}

void UpgradeTool::btnsearchClick() {
    views_.deviceList.Clear();
    mode_.Set(Mode::SS);
    const std::string prefix = SubnetPrefix(views_.fields.LocalAddressText());
    const std::string probe = protocol::BuildSearchProbe();
    for (int host = 1; host <= kLastSweptHost; ++host)
        searchChannel_.Send(probe, prefix + std::to_string(host));
}

void UpgradeTool::HandleSearchReply(const std::string& frame, const std::string& sender) {
    if (!mode_.Is(Mode::SS))
        return;
    const auto reply = protocol::ParseSearchReply(frame);
    if (sender.empty() || sender == views_.fields.LocalAddressText())
        return;
    if (reply.serial.empty())
        return;
    auto& list = views_.deviceList;
    for (int row = 0; row < list.RowCount(); ++row) {
        if (list.Row(row).ip == sender) {
            list.SetRowSerial(row, reply.serial);
            return;
        }
    }
    list.AppendRow({Trim(reply.serial), sender, reply.version});
}
