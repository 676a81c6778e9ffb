#include "protocol/datagram_rules.h"

namespace protocol {

std::string_view UpgradeDatagramText(std::string_view datagram) {
    return datagram.substr(0, datagram.find('\0'));
}

void ScrubSearchDatagram(std::string& datagram) {
    for (auto& c : datagram) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0x00 || b == 0x0A || b == 0xFB || b == 0xFF)
            c = ' ';
    }
}

} // namespace protocol
