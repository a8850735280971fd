// Cost of one CFindFile walk as the cleaning run makes it on Linux: a tree of
// 100,000 files in 2,000 folders, "*.bak;*.tmp" with subfolders, the real file
// system and the real event loop (every yield is a real turn of the loop).
// Timed next to find(1) on the same tree with the same question; the hit
// counts must agree. Also reports the process's peak memory during the walk.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/Runtime.h"
#include "cleaner/CFindFile.h"
#include "platform/posix/PosixEventLoop.h"
#include "platform/posix/PosixFileSystem.h"

using namespace nocturo;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kTopFolders = 40;
constexpr int kSubFolders = 50;  // per top folder
constexpr int kFiles = 50;       // per subfolder

// One file name of the tree: every tenth a .bak, every tenth a .TMP, the rest
// ordinary documents, in mixed lengths.
std::string FileName(int i) {
    static const char* const kOther[] = {".txt", ".log", ".dat", ".cpp", ".h", ".jpg", ".pdf", ".cfg"};
    const std::string stem = (i % 3 == 0 ? "report_" : i % 3 == 1 ? "img" : "a_longer_file_name_") + std::to_string(i);
    switch (i % 10) {
    case 3: return stem + ".bak";
    case 7: return stem + ".TMP";
    default: return stem + kOther[i % 8];
    }
}

// Builds the tree; returns the number of files a correct search finds.
long MakeTree(const std::string& root) {
    long expected = 0;
    for (int t = 0; t < kTopFolders; ++t) {
        const std::string top = root + "/top" + std::to_string(t);
        if (mkdir(top.c_str(), 0755) != 0) return -1;
        for (int s = 0; s < kSubFolders; ++s) {
            const std::string sub = top + "/folder_" + std::to_string(s);
            if (mkdir(sub.c_str(), 0755) != 0) return -1;
            for (int f = 0; f < kFiles; ++f) {
                const std::string name = FileName(f + s * kFiles);
                const std::string path = sub + "/" + name;
                const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
                if (fd < 0) return -1;
                if (write(fd, "x", 1) != 1) {
                    close(fd);
                    return -1;
                }
                close(fd);
                if (name.ends_with(".bak") || name.ends_with(".TMP")) ++expected;
            }
        }
    }
    return expected;
}

// Peak resident set (VmHWM) and current resident set (VmRSS) in kB.
long StatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) return std::strtol(line.c_str() + key.size(), nullptr, 10);
    return -1;
}

long MaxRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Resets the peak so VmHWM afterwards shows the walk's own peak (Linux
// 4.0 and later; without it the peak covers the whole process so far).
bool ResetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

struct Walk {
    double ms = 0;
    long hits = 0;
};

Walk FinderWalk(const std::string& root) {
    CFindFile finder;
    long hits = 0;
    finder.FoundFile = [&](std::string&, bool&) { ++hits; };
    finder.Path(root + "/");
    finder.FileSpec("*.bak;*.tmp");
    finder.InclSubDir(true);
    finder.InclZeroFiles(false);
    std::vector<std::string> list;
    const auto start = Clock::now();
    finder.FindAll(list);
    return {std::chrono::duration<double, std::milli>(Clock::now() - start).count(), hits};
}

// The same scans through the file system interface alone, without the
// finder: per folder "*.*" for the subfolders, then one scan per
// pattern. Shows how much of the walk is the enumeration itself.
long ScanOnly(const std::string& folder) {
    long hits = 0;
    std::vector<std::string> subFolders;
    auto all = files().enumerateNames(folder + "*.*");
    while (auto e = all->next())
        if ((e->attributes & platform::attr::Directory) && !(e->attributes & platform::attr::ReparsePoint) &&
            e->name[0] != '.')
            subFolders.push_back(e->name);
    all.reset();
    for (const char* wildcard : {"*.bak", "*.tmp"}) {
        auto matches = files().enumerateNames(folder + wildcard);
        while (matches->next()) ++hits;
    }
    for (const auto& name : subFolders) hits += ScanOnly(folder + name + "/");
    return hits;
}

Walk ScanWalk(const std::string& root) {
    const auto start = Clock::now();
    const long hits = ScanOnly(root + "/");
    return {std::chrono::duration<double, std::milli>(Clock::now() - start).count(), hits};
}

Walk FindWalk(const std::string& root) {
    const std::string command = "find '" + root + "' \\( -iname '*.bak' -o -iname '*.tmp' \\)";
    const auto start = Clock::now();
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {-1, -1};
    long lines = 0;
    char buffer[65536];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) lines += std::count(buffer, buffer + n, '\n');
    pclose(pipe);
    return {std::chrono::duration<double, std::milli>(Clock::now() - start).count(), lines};
}

template <class F>
Walk BestOf3(F walk) {
    walk();  // warm the caches
    Walk best{1e300, 0};
    for (int i = 0; i < 3; ++i) {
        const Walk w = walk();
        if (w.ms < best.ms) best = w;
    }
    return best;
}

}  // namespace

int main() {
    std::string root = (std::filesystem::temp_directory_path() / "nocturo-finder-bench-XXXXXX").string();
    if (!mkdtemp(root.data())) return 1;

    platform::PosixFileSystem files;
    platform::PosixEventLoop loop;
    Runtime runtime;
    runtime.pf.files = &files;
    runtime.pf.loop = &loop;
    RuntimeScope scope(runtime);

    std::printf("FinderBench: building %d files in %d folders below %s\n", kTopFolders * kSubFolders * kFiles,
                kTopFolders * kSubFolders, root.c_str());
    const long expected = MakeTree(root);
    int status = 0;
    if (expected < 0) {
        std::printf("  could not build the tree\n");
        status = 1;
    } else {
        const long hwmBefore = StatusKb("VmHWM");
        const long maxRssBefore = MaxRssKb();
        const bool peakReset = ResetPeak();
        const long rssAtStart = StatusKb("VmRSS");
        const Walk finder = BestOf3([&] { return FinderWalk(root); });
        const long hwmAfter = StatusKb("VmHWM");
        const long maxRssAfter = MaxRssKb();

        const Walk find = BestOf3([&] { return FindWalk(root); });
        const Walk scans = BestOf3([&] { return ScanWalk(root); });

        std::printf("  CFindFile \"*.bak;*.tmp\" with subfolders: best of 3 %.1f ms, %ld hits\n", finder.ms, finder.hits);
        std::printf("  find -iname '*.bak' -o -iname '*.tmp':     best of 3 %.1f ms, %ld hits\n", find.ms, find.hits);
        std::printf("  ratio CFindFile / find: %.2f\n", finder.ms / find.ms);
        std::printf("  of which the enumerations alone (3 scans per folder, no events, no yields): %.1f ms\n",
                    scans.ms);
        std::printf("  hits expected %ld: %s\n", expected,
                    finder.hits == expected && find.hits == expected ? "both agree" : "MISMATCH");
        if (peakReset)
            std::printf("  memory during the walks: VmRSS at start %ld kB, peak (VmHWM) %ld kB, growth %ld kB\n",
                        rssAtStart, hwmAfter, hwmAfter - rssAtStart);
        else
            std::printf("  memory: VmHWM before %ld kB, after %ld kB\n", hwmBefore, hwmAfter);
        std::printf("  ru_maxrss before the walks %ld kB, after %ld kB\n", maxRssBefore, maxRssAfter);
        if (finder.hits != expected || find.hits != expected) status = 1;
    }

    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    if (ec) std::printf("  could not remove %s: %s\n", root.c_str(), ec.message().c_str());
    return status;
}
