// How many of a whole subnet's 254 search replies, arriving while the UI
// thread is stalled, reach the device list, with the receive buffer this
// process is granted. Run it as a normal user to see the system's limits
// (net.core.rmem_max) at work; root is granted the full 1 MiB regardless.
// Prints one table row; packaging/measure_reply_burst.sh runs it under
// several limits.
#include "subnet_burst.h"

#include <unistd.h>

#include <cstdio>

int main() {
    const auto burst = RunSubnetBurst(254);
    if (!burst.sent) {
        std::fprintf(stderr, "reply_burst: could not send from 127.0.1.x\n");
        return 2;
    }
    std::printf("%6u %14d %14d %10zu/254\n", static_cast<unsigned>(::geteuid()),
                burst.receiveBufferBytes, burst.queuedBytes, burst.listed);
    return 0;
}
