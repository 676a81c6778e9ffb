#pragma once

namespace platform {

// The system's sockets library (Winsock 2.0 on Windows; nothing to do on
// POSIX). Windows refuses every socket call and every address lookup until
// WSAStartup ran, so the first socket or lookup of the process starts it
// through EnsureSocketLibrary(), and it stays started until the process ends.

// Starts the library once per process; later calls only report the result.
bool EnsureSocketLibrary();

// Counted starts and releases, one pair per channel: each start must be
// matched by one release. The process-wide start above is not affected.
bool StartSocketLibrary();
void ReleaseSocketLibrary();

} // namespace platform
