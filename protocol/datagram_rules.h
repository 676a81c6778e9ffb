#pragma once

// What a received datagram contributes to its channel's text, before frames
// are cut out of it.

#include <string>
#include <string_view>

namespace protocol {

// Upgrade-channel text ends at the datagram's first zero byte.
std::string_view UpgradeDatagramText(std::string_view datagram);

// Search-channel text has the bytes 00, 0A, FB and FF turned into spaces, in
// place. A reported version shows the same change (FB is a common GBK trail
// byte: 他 is CB FB).
void ScrubSearchDatagram(std::string& datagram);

} // namespace protocol
