#pragma once

// Where a program keeps what belongs to this one computer: the settings it
// remembers and the files it writes for itself.

#include <filesystem>
#include <string>
#include <vector>

namespace platform {

// Moves each entry of `oldFolder` that `newFolder` does not hold yet into
// `newFolder` (made when needed), then removes `oldFolder` once it is empty.
// Silent: whatever cannot be moved stays where it was, and a missing
// `oldFolder` means there is nothing to do.
void MoveOldFolderContents(const std::filesystem::path& oldFolder,
                           const std::filesystem::path& newFolder);

#ifdef _WIN32
// The folder `name` under the local application data folder (%LOCALAPPDATA%),
// UTF-8; empty when the system names none. What an earlier version kept under
// the roaming one (%APPDATA%) is moved there first: settings of one machine
// must not follow the user to another.
std::string LocalAppDataFolder(const std::string& name);
#endif

// The folders of the public keys trusted to sign firmware images, and of the
// site's signature policy (UTF-8): /etc/collector-upgrade/trusted-keys on
// Linux; on Windows trusted-keys beside the program, then
// %ProgramData%\CollectorUpgrade\trusted-keys. A folder need not exist.
std::vector<std::string> TrustedKeyFolders();

} // namespace platform
