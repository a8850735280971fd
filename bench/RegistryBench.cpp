// Cost of the settings registry file: one settings read as ReadSetting does
// it (exists, then read), one write, and one parse of the whole file.
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/common/RegStore.h"
#include "platform/posix/RegFileRegistry.h"

using nocturo::platform::RegFileRegistry;
using nocturo::platform::RegStore;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kValues = 500;

std::string valuePath(int i) {
    // Five trees of a hundred values, like the user, machine and cleaner
    // trees; settings are read tree by tree.
    return "HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\Tree" + std::to_string(i / 100) + "\\Settings\\value" +
           std::to_string(i);
}

double nsSince(Clock::time_point start) {
    return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
}

std::string makeFolder(const std::string& parent) {
    std::string tmpl = parent + "/nocturo-bench-XXXXXX";
    if (!mkdtemp(tmpl.data())) return "";
    return tmpl;
}

void benchFolder(const std::string& parent, bool full) {
    const std::string dir = makeFolder(parent);
    if (dir.empty()) {
        std::printf("cannot create a folder in %s\n", parent.c_str());
        return;
    }
    const std::string path = dir + "/registry.reg";

    // The file with 500 values, written in one go.
    RegStore seed;
    for (int i = 0; i < kValues; ++i) {
        if (i % 2)
            seed.writeDword(valuePath(i), static_cast<std::uint32_t>(i));
        else
            seed.writeString(valuePath(i), "text value number " + std::to_string(i));
    }
    const std::string text = seed.serialize();
    std::ofstream(path, std::ios::binary) << text;

    RegFileRegistry reg(path);
    std::printf("folder %s\n", dir.c_str());
    std::printf("  file: %d values, %zu bytes\n", kValues, text.size());

    if (full) {
        // Settings read: hit, as ReadSetting does it for a value that exists.
        constexpr int kReads = 200000;
        std::vector<std::string> paths;
        for (int i = 0; i < kValues; ++i) paths.push_back(valuePath(i));
        reg.exists(paths[0]);  // first parse outside the measurement
        const auto parsesBefore = reg.parseCount();
        std::size_t sink = 0;
        auto start = Clock::now();
        for (int i = 0; i < kReads; ++i) {
            const std::string& p = paths[static_cast<std::size_t>(i) % paths.size()];
            if (reg.exists(p)) sink += reg.read(p)->index();
        }
        const double readNs = nsSince(start) / kReads;
        // A setting never written: exists only, then the default.
        const std::string missing = "HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\Tree1\\Settings\\neverWritten";
        start = Clock::now();
        for (int i = 0; i < kReads; ++i) sink += reg.exists(missing) ? 1 : 0;
        const double missNs = nsSince(start) / kReads;
        std::printf("  settings read (exists + read): %.0f ns per setting (%.2f us), %d reads, %llu parses\n", readNs,
                    readNs / 1000.0, kReads, static_cast<unsigned long long>(reg.parseCount() - parsesBefore));
        std::printf("  settings read of a missing value (exists only): %.0f ns\n", missNs);
        // Every read looks at the file once (stat) to see whether another
        // process changed it; on a virtual machine that call dominates.
        struct stat st {};
        start = Clock::now();
        for (int i = 0; i < kReads; ++i) sink += stat(path.c_str(), &st) == 0 ? 1 : 0;
        std::printf("  of which one stat() of the file: %.0f ns\n", nsSince(start) / kReads);

        // Parse of the whole file, as after another process wrote it.
        constexpr int kParses = 200;
        start = Clock::now();
        for (int i = 0; i < kParses; ++i) sink += RegStore::parse(text).valueCount();
        std::printf("  parse of the %zu-byte file: %.1f us\n", text.size(), nsSince(start) / kParses / 1000.0);
        if (sink == 42) std::printf(" ");
    }

    // Writes: each one locks, checks the file, rewrites it and syncs.
    constexpr int kWrites = 100;
    std::vector<double> us;
    for (int i = 0; i < kWrites; ++i) {
        const auto start = Clock::now();
        reg.writeDword(valuePath(1), static_cast<std::uint32_t>(1000 + i));
        us.push_back(nsSince(start) / 1000.0);
    }
    std::sort(us.begin(), us.end());
    double total = 0;
    for (double u : us) total += u;
    std::printf("  write of one value: %.0f us average, %.0f us median, %.0f us slowest (%d writes)\n", total / kWrites,
                us[us.size() / 2], us.back(), kWrites);
    const auto start = Clock::now();
    for (int i = 0; i < kWrites; ++i) reg.writeDword(valuePath(1), 1000 + kWrites - 1);
    std::printf("  write of an unchanged value: %.1f us (file left alone)\n", nsSince(start) / kWrites / 1000.0);

    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace

int main() {
    std::printf("RegistryBench: settings registry file\n");
    benchFolder(std::filesystem::temp_directory_path().string(), true);
    // Writes are dominated by fsync; a RAM file system shows the rest.
    if (std::filesystem::is_directory("/dev/shm")) benchFolder("/dev/shm", false);
    return 0;
}
