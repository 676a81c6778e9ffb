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

std::vector<std::string> TrustedKeyFolders() {
    std::vector<std::string> folders;
    std::wstring program(MAX_PATH, L'\0');
    DWORD length = 0;
    while ((length = GetModuleFileNameW(nullptr, program.data(),
                                        static_cast<DWORD>(program.size()))) == program.size())
        program.resize(program.size() * 2);
    if (length > 0)
        folders.push_back(
            WideToUtf8((fs::path(program.substr(0, length)).parent_path() / L"trusted-keys").native()));
    const fs::path common = KnownFolder(FOLDERID_ProgramData);
    if (!common.empty())
        folders.push_back(WideToUtf8((common / L"CollectorUpgrade" / L"trusted-keys").native()));
    return folders;
}

#else

std::vector<std::string> TrustedKeyFolders() {
    return {"/etc/collector-upgrade/trusted-keys"};
}

#endif

} // namespace platform
