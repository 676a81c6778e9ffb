// Compiles only where the image loader's folder is on the include path: the
// protocol, which parses bytes and reads no file, cannot reach it.
#include "image/image_loader.h"

int LayerProbeImage() {
    return static_cast<int>(image::Checks::Sendable);
}
