// Compiles only where the core's folder is on the include path.
#include "core/session_mode.h"

using core::Mode;

int LayerProbeCore() {
    return static_cast<int>(Mode::SS);
}
