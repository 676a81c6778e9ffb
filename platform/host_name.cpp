#include "platform/host_name.h"

#ifdef _WIN32
#include "platform/wide_text.h"

#include <windows.h>
#else
#include <unistd.h>
#endif

namespace platform {

#ifdef _WIN32

namespace {

std::string ComputerName(COMPUTER_NAME_FORMAT format) {
    DWORD size = 0;
    GetComputerNameExW(format, nullptr, &size); // asks for the size, counting the terminator
    if (size == 0)
        return {};
    std::wstring name(size, L'\0');
    if (!GetComputerNameExW(format, name.data(), &size))
        return {};
    name.resize(size);
    return WideToUtf8(name);
}

} // namespace

std::string HostName() {
    const std::string dns = ComputerName(ComputerNameDnsHostname);
    return dns.empty() ? ComputerName(ComputerNameNetBIOS) : dns;
}

#else

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

#endif

} // namespace platform
