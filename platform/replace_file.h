#pragma once

// Writing a whole file by its (UTF-8) name so that a reader never sees it
// half written: the bytes go to a temporary file beside it, which then takes
// the name in one step (replacing an older file of that name). Durable: the
// bytes are on the disk before the rename, and the rename is before this
// returns (POSIX: fsync of the file and of its folder; Windows:
// FlushFileBuffers and a move written through), so a power cut leaves the
// old file or the new one, never an empty one.

#include <string>
#include <string_view>

namespace platform {

// Who may read the file: anyone the folder lets, or its owner alone (POSIX
// mode 0600, for a private key; on Windows the folder's permissions apply).
enum class FileAccess { Shared, OwnerOnly };

// False on failure, with the system's reason in *error; the temporary file
// is removed then and an older file of the name is left as it was.
bool ReplaceFileContents(const std::string& utf8Path, std::string_view bytes, std::string* error,
                         FileAccess access = FileAccess::Shared);

} // namespace platform
