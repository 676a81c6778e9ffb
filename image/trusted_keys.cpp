#include "image/trusted_keys.h"

#include "platform/crypto.h"
#include "platform/read_file.h"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <system_error>

namespace image {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxKeyFileBytes = 16 * 1024;
constexpr std::size_t kMaxPolicyBytes = 16 * 1024;

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string Utf8Of(const fs::path& path) {
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Adds the key in `path` under its file name's stem.
std::string AddKey(TrustStore& store, const std::string& path) {
    auto read = ReadSmallFile(path, kMaxKeyFileBytes);
    if (read.index() == 1)
        return "cannot read the trusted key " + path + ": " + std::get<1>(read);
    std::string error;
    const auto id = KeyIdOf(std::get<0>(read), &error);
    if (!id)
        return "the trusted key " + path + " is not usable: " + error;
    store.keys.push_back({Utf8Of(platform::PathFromUtf8(path).stem()), *id, std::get<0>(read)});
    return {};
}

// Reads `require_signature = yes|no` lines; blank lines and # comments aside.
std::string ReadPolicy(TrustStore& store, const std::string& path) {
    auto read = ReadSmallFile(path, kMaxPolicyBytes);
    if (read.index() == 1)
        return "cannot read the signature policy " + path + ": " + std::get<1>(read);
    std::istringstream lines(std::get<0>(read));
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        line = Trim(line.substr(0, line.find('#')));
        if (line.empty())
            continue;
        const auto equals = line.find('=');
        const std::string value = equals == std::string::npos ? "" : Trim(line.substr(equals + 1));
        if (equals == std::string::npos || Trim(line.substr(0, equals)) != "require_signature" ||
            (value != "yes" && value != "no"))
            return "the signature policy " + path + ", line " + std::to_string(number) +
                   ": expected \"require_signature = yes\" or \"require_signature = no\"";
        store.requireSignature = store.requireSignature || value == "yes";
    }
    return {};
}

} // namespace

const TrustedKey* TrustStore::Find(const std::string& keyId) const {
    const auto found = std::find_if(keys.begin(), keys.end(),
                                    [&](const TrustedKey& key) { return key.id == keyId; });
    return found == keys.end() ? nullptr : &*found;
}

std::optional<std::string> KeyIdOf(const std::string& publicPem, std::string* error) {
    const auto der = platform::crypto::PublicKeyDer(publicPem);
    if (const auto* failure = std::get_if<platform::crypto::CryptoError>(&der)) {
        if (error)
            *error = failure->text;
        return std::nullopt;
    }
    return platform::crypto::Sha256Hex(std::get<0>(der)).substr(0, 16);
}

std::variant<TrustStore, std::string> LoadTrustStore(const std::vector<std::string>& folders,
                                                     const std::vector<std::string>& extraKeys) {
    TrustStore store;
    for (const auto& folder : folders) {
        std::error_code error;
        const fs::path root = platform::PathFromUtf8(folder);
        if (!fs::is_directory(root, error))
            continue;
        // Sorted, so that the first of two files holding one key names it.
        std::vector<fs::path> entries;
        for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error))
            entries.push_back(it->path());
        if (error)
            return "cannot list the trusted keys in " + folder + ": " + error.message();
        std::sort(entries.begin(), entries.end());
        for (const auto& entry : entries) {
            std::string problem;
            if (entry.filename() == "policy")
                problem = ReadPolicy(store, Utf8Of(entry));
            else if (entry.extension() == ".pem")
                problem = AddKey(store, Utf8Of(entry));
            if (!problem.empty())
                return problem;
        }
    }
    for (const auto& path : extraKeys)
        if (const auto problem = AddKey(store, path); !problem.empty())
            return problem;
    return store;
}

std::variant<std::string, std::string> ReadSmallFile(const std::string& path,
                                                     std::size_t maxBytes) {
    std::string text;
    const auto failure = platform::ReadWholeFile(
        path, maxBytes, [&](std::uint64_t size) { text.reserve(static_cast<std::size_t>(size)); },
        [&](std::string_view bytes) { text += bytes; });
    if (!failure)
        return std::variant<std::string, std::string>(std::in_place_index<0>, std::move(text));
    const std::string reason = failure->kind == platform::ReadFailure::Kind::TooLarge
                                   ? "it is larger than " + std::to_string(maxBytes) + " bytes"
                                   : failure->reason;
    return std::variant<std::string, std::string>(std::in_place_index<1>, reason);
}

} // namespace image
