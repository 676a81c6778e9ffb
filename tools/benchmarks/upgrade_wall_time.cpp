// Wall time of whole upgrades on loopback against the protocol's floor
// (N × 150 ms + 5000 ms + one reply), printed as a table. Real time: a run
// of N = 50 takes about 12.5 s.
#include "loopback_upgrade.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

double UpgradeSeconds(int blocks) {
    const std::string image(static_cast<std::size_t>(blocks) * 300, 'x');
    const auto run =
        RunLoopbackUpgrade("S0.bench.bin", image, std::chrono::milliseconds(blocks * 150 + 20000));
    if (!run.finished || run.notices.front() != "升级完成" || run.collectorImage != image) {
        std::fprintf(stderr, "upgrade of %d blocks did not complete\n", blocks);
        std::exit(1);
    }
    return std::chrono::duration<double>(run.elapsed).count();
}

} // namespace

int main(int argc, char** argv) {
    std::printf("%8s %10s %10s %8s\n", "blocks", "wall s", "floor s", "ratio");
    for (int i = 1; i < argc || i == 1; ++i) {
        const int blocks = argc > 1 ? std::atoi(argv[i]) : 50;
        const double floor = blocks * 0.150 + 5.0;
        const double wall = UpgradeSeconds(blocks);
        std::printf("%8d %10.3f %10.3f %8.4f\n", blocks, wall, floor, wall / floor);
    }
}
