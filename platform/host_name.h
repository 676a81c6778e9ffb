#pragma once

// The name of this computer, for records that say where a run took place.

#include <string>

namespace platform {

// UTF-8; empty when the system does not say. Linux: gethostname. Windows:
// the DNS host name (GetComputerNameExW), else the NetBIOS name.
std::string HostName();

} // namespace platform
