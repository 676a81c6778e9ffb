#include "platform/app_data_folder.h"

#ifdef _WIN32
#include "platform/wide_text.h"

#include <shlobj.h>
#endif

#include <system_error>
#include <vector>

namespace platform {

namespace fs = std::filesystem;

void MoveOldFolderContents(const fs::path& oldFolder, const fs::path& newFolder) {
    std::error_code error;
    if (!fs::is_directory(oldFolder, error))
        return;
    // Listed first, so that the moves do not change the folder being read.
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(oldFolder, error), end; !error && it != end;
         it.increment(error))
        entries.push_back(it->path());
    fs::create_directories(newFolder, error);
    for (const fs::path& entry : entries) {
        const fs::path target = newFolder / entry.filename();
        if (fs::exists(target, error))
            continue; // the newer one wins
        fs::rename(entry, target, error);
        if (!error)
            continue;
        // Another volume (a roaming folder redirected to a server): copy, then remove.
        fs::copy(entry, target, fs::copy_options::recursive, error);
        if (!error)
            fs::remove_all(entry, error);
    }
    fs::remove(oldFolder, error); // only when left empty
}

#ifdef _WIN32

namespace {

fs::path KnownFolder(REFKNOWNFOLDERID id) {
    wchar_t* path = nullptr;
    fs::path folder;
    if (SHGetKnownFolderPath(id, 0, nullptr, &path) == S_OK)
        folder = path;
    CoTaskMemFree(path);
    return folder;
}

} // namespace

std::string LocalAppDataFolder(const std::string& name) {
    const fs::path local = KnownFolder(FOLDERID_LocalAppData);
    if (local.empty())
        return {};
    const fs::path folder = local / Utf8ToWide(name);
    const fs::path roaming = KnownFolder(FOLDERID_RoamingAppData);
    if (!roaming.empty())
        MoveOldFolderContents(roaming / Utf8ToWide(name), folder);
    return WideToUtf8(folder.native());
}

#endif

} // namespace platform
