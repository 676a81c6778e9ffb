// Prints the host's own IPv4 address as the program finds it, or nothing.
#include "platform/local_address.h"

#include <cstdio>

using platform::LookupLocalIPv4;

int main() {
    const auto address = LookupLocalIPv4();
    std::printf("%s\n", address ? address->c_str() : "");
    return 0;
}
