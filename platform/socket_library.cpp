#include "platform/socket_library.h"

#ifdef _WIN32
#include <winsock2.h>
#endif

namespace platform {

#ifdef _WIN32

namespace {

constexpr WORD kVersion = MAKEWORD(2, 0);

// WSAStartup in the constructor, WSACleanup at process exit.
struct ProcessWideStart {
    ProcessWideStart() {
        WSADATA data;
        started = ::WSAStartup(kVersion, &data) == 0;
    }
    ~ProcessWideStart() {
        if (started)
            ::WSACleanup();
    }
    bool started = false;
};

} // namespace

bool EnsureSocketLibrary() {
    static const ProcessWideStart start; // thread-safe, once
    return start.started;
}

bool StartSocketLibrary() {
    WSADATA data;
    return ::WSAStartup(kVersion, &data) == 0;
}

void ReleaseSocketLibrary() {
    ::WSACleanup();
}

#else

bool EnsureSocketLibrary() {
    return true;
}

bool StartSocketLibrary() {
    return true;
}

void ReleaseSocketLibrary() {}

#endif

} // namespace platform
