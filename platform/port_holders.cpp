#include "platform/port_holders.h"

#ifdef _WIN32
// Order matters (Winsock first, the IP helper last); blank lines keep the
// formatter from sorting them.
#include <winsock2.h>

#include <ws2tcpip.h>

#include <windows.h>

#include <iphlpapi.h>

#include <tlhelp32.h>

#include "platform/wide_text.h"

#include <memory>
#else
#include <filesystem>
#include <fstream>
#include <sstream>
#endif

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <set>

namespace platform {

#ifdef _WIN32

namespace {

// The file name of `pid`'s image: from the process itself, else from a
// snapshot of the process list (which needs no rights on the process).
std::string ImageName(DWORD pid) {
    if (HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid)) {
        wchar_t path[MAX_PATH * 2] = {};
        DWORD size = static_cast<DWORD>(std::size(path));
        const BOOL ok = QueryFullProcessImageNameW(process, 0, path, &size);
        CloseHandle(process);
        if (ok && size > 0) {
            std::wstring full(path, size);
            const auto slash = full.find_last_of(L"\\/");
            return WideToUtf8(slash == std::wstring::npos ? full : full.substr(slash + 1));
        }
    }
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return {};
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    std::string name;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && name.empty();
         more = Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == pid)
            name = WideToUtf8(entry.szExeFile);
    CloseHandle(snapshot);
    return name;
}

// The owners of `port` in the system's UDP table of `family`; false when the
// table could not be read.
template <typename Table>
bool OwnersFromTable(ULONG family, std::uint16_t port, std::set<DWORD>& owners) {
    DWORD size = 0;
    DWORD result = ERROR_INSUFFICIENT_BUFFER;
    std::unique_ptr<unsigned char[]> buffer;
    // The table can grow between the size query and the call: a few tries.
    for (int attempt = 0; attempt < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        buffer = std::make_unique<unsigned char[]>(size + 1024);
        size += 1024;
        result = GetExtendedUdpTable(buffer.get(), &size, FALSE, family, UDP_TABLE_OWNER_PID, 0);
    }
    if (result != NO_ERROR)
        return false;
    const auto* table = reinterpret_cast<const Table*>(buffer.get());
    for (DWORD i = 0; i < table->dwNumEntries; ++i)
        if (ntohs(static_cast<u_short>(table->table[i].dwLocalPort)) == port)
            owners.insert(table->table[i].dwOwningPid);
    return true;
}

} // namespace

PortHolders UdpPortHolders(std::uint16_t port) {
    PortHolders found;
    std::set<DWORD> owners;
    const bool v4 = OwnersFromTable<MIB_UDPTABLE_OWNER_PID>(AF_INET, port, owners);
    OwnersFromTable<MIB_UDP6TABLE_OWNER_PID>(AF_INET6, port, owners);
    if (!v4) {
        found.error = "the system's UDP table (GetExtendedUdpTable) could not be read";
        return found;
    }
    // Owner 0: a socket that the system cannot tie to a process (under wine,
    // one of a program that is not a Windows program).
    for (const DWORD pid : owners)
        if (pid == 0)
            ++found.unowned;
        else
            found.holders.push_back({static_cast<std::uint32_t>(pid), ImageName(pid)});
    return found;
}

#else

namespace fs = std::filesystem;

std::vector<unsigned long> UdpSocketInodes(std::string_view table, std::uint16_t port) {
    // "  sl  local_address rem_address   st tx_queue:rx_queue tr:tm->when retrnsmt   uid  timeout
    // inode ...", the local address as hex IP ':' hex port.
    std::vector<unsigned long> inodes;
    std::istringstream lines{std::string(table)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
        unsigned long inode = 0;
        if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
              timeout >> inode) ||
            slot.empty() || slot.back() != ':')
            continue;
        const auto colon = local.rfind(':');
        if (colon == std::string::npos || colon + 1 >= local.size())
            continue;
        unsigned long localPort = 0;
        std::istringstream hex(local.substr(colon + 1));
        if (!(hex >> std::hex >> localPort) || localPort != port || inode == 0)
            continue;
        inodes.push_back(inode);
    }
    return inodes;
}

namespace {

std::string ReadText(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return in ? text.str() : std::string();
}

} // namespace

PortHolders UdpPortHoldersUnder(const std::string& procRoot, std::uint16_t port) {
    PortHolders found;
    const fs::path root(procRoot);
    std::set<unsigned long> wanted;
    bool readTable = false;
    for (const char* table : {"net/udp", "net/udp6"}) {
        std::ifstream in(root / table);
        if (!in)
            continue;
        readTable = true;
        std::ostringstream text;
        text << in.rdbuf();
        for (const unsigned long inode : UdpSocketInodes(text.str(), port))
            wanted.insert(inode);
    }
    if (!readTable) {
        found.error =
            "the kernel's UDP table " + (root / "net/udp").string() + " could not be read";
        return found;
    }
    std::set<unsigned long> owned;
    std::error_code error;
    for (const auto& process : fs::directory_iterator(root, error)) {
        const std::string pid = process.path().filename().string();
        if (wanted.empty() || pid.empty() ||
            !std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        bool holds = false;
        std::error_code fdError;
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", fdError)) {
            std::error_code linkError;
            const std::string target = fs::read_symlink(fd.path(), linkError).string();
            // "socket:[12345]"
            if (linkError || target.rfind("socket:[", 0) != 0 || target.back() != ']')
                continue;
            const unsigned long inode = std::strtoul(target.c_str() + 8, nullptr, 10);
            if (wanted.count(inode) != 0) {
                owned.insert(inode);
                holds = true;
            }
        }
        if (!holds)
            continue;
        std::string name = ReadText(process.path() / "comm");
        while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
            name.pop_back();
        found.holders.push_back(
            {static_cast<std::uint32_t>(std::strtoul(pid.c_str(), nullptr, 10)), name});
    }
    found.unowned = static_cast<int>(wanted.size() - owned.size());
    std::sort(found.holders.begin(), found.holders.end(),
              [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
    return found;
}

PortHolders UdpPortHolders(std::uint16_t port) {
    return UdpPortHoldersUnder("/proc", port);
}

#endif

} // namespace platform
