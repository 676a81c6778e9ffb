#pragma once

// What a collector's reported version says about upgrading it: only the
// first byte counts.

#include <string_view>

namespace protocol {

enum class VersionClass {
    S,     // begins "S": this tool upgrades it
    V,     // begins "V": an older generation, for the older upgrade program
    Other, // anything else, the empty version included: cannot be upgraded
};

inline VersionClass ClassifyVersion(std::string_view version) {
    if (version.empty())
        return VersionClass::Other;
    if (version.front() == 'S')
        return VersionClass::S;
    if (version.front() == 'V')
        return VersionClass::V;
    return VersionClass::Other;
}

} // namespace protocol
