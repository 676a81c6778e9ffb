// Whole-process memory while loading a firmware image: prints the resident
// peak (VmHWM) before and after loading a file of the given size (default
// 64 MiB), and the growth as a multiple of the file size.
#include "image/image_loader.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

long StatusKib(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::string(field).size());
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    const long mib = argc > 1 ? std::atol(argv[1]) : 64;
    const auto path = std::filesystem::temp_directory_path() / "S.memory.bin";
    {
        std::ofstream file(path, std::ios::binary);
        const std::string chunk(1 << 20, '\x5A');
        for (long i = 0; i < mib; ++i)
            file << chunk;
    }
    const long idle = StatusKib("VmHWM:");
    const protocol::ImageText imageHex =
        image::LoadImage(*protocol::NameFirmware(path.string())).hex;
    const long peak = StatusKib("VmHWM:");
    std::filesystem::remove(path);
    const double growthMib = (peak - idle) / 1024.0;
    std::printf("%10s %12s %12s %14s %10s\n", "file MiB", "idle MiB", "peak MiB", "growth MiB",
                "x file");
    std::printf("%10ld %12.1f %12.1f %14.1f %10.2f\n", mib, idle / 1024.0, peak / 1024.0, growthMib,
                growthMib / static_cast<double>(mib));
    return imageHex->size() == static_cast<std::size_t>(mib) * 2 * 1024 * 1024 ? 0 : 1;
}
