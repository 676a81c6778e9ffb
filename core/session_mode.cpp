#include "core/session_mode.h"

namespace core {

std::string_view ModeText(Mode mode) {
    switch (mode) {
    case Mode::SS:
        return "SS";
    case Mode::LU:
        return "LU";
    case Mode::UD:
        return "UD";
    case Mode::EN:
        return "EN";
    case Mode::Empty:
        break;
    }
    return "";
}

} // namespace core
