// Compiles only where pubpro's folder is on the include path.
#include "pubpro/text_utils.h"

using pubpro::Pos;

int LayerProbePubpro() {
    return static_cast<int>(Pos("b", "abc"));
}
