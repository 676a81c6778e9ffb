// Compiles only where the core's folder is on the include path.
#include "core/session_mode.h"

int LayerProbeCore() {
    return static_cast<int>(Mode::SS);
}
