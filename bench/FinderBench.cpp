// Cost of CFindFile walks as the cleaning run makes them on Linux: a tree of
// 100,000 files in 2,000 folders, with subfolders, on the real file system
// (each folder held open, entries examined relative to it). Four questions:
// one specification, three, the zero-length pass, and the 15 built-in
// specifications. Each is timed next to find(1) asking the same on the same
// tree; the names found must agree. Also reports the process's peak memory.
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
#include "cleaner/Varn_CleanSettings.h"
#include "platform/posix/PosixEventLoop.h"
#include "platform/posix/PosixFileSystem.h"

using namespace nocturo;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kTopFolders = 40;
constexpr int kSubFolders = 50;  // per top folder
constexpr int kFiles = 50;       // per subfolder

// One file name of the tree: a tenth each .bak, .TMP and .old, some starting
// with "~", every thirteenth file empty; the rest ordinary documents, in mixed
// lengths.
std::string FileName(int i) {
    static const char* const kOther[] = {".txt", ".log", ".dat", ".cpp", ".h", ".jpg", ".pdf", ".cfg"};
    const std::string stem = (i % 3 == 0 ? "report_" : i % 3 == 1 ? "img" : "a_longer_file_name_") + std::to_string(i);
    switch (i % 10) {
    case 3: return stem + ".bak";
    case 5: return stem + ".old";
    case 7: return stem + ".TMP";
    case 9: return i % 20 == 9 ? "~" + stem + ".doc" : stem + kOther[i % 8];
    default: return stem + kOther[i % 8];
    }
}

bool Empty(int i) { return i % 13 == 0; }

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
                if (!Empty(f + s * kFiles) && write(fd, "x", 1) != 1) {
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
    long hits = 0;  // names found, each once
};

// One question of the benchmark: the finder's settings and find's expression.
struct Question {
    const char* title;
    std::string specs;
    bool zeroPass;
};

// find(1)'s expression for a list of specifications: -iname each, and for a
// spec ending ".*" also the name without it (Windows's "temp.*" matches "temp").
std::string FindExpression(const Question& q) {
    if (q.zeroPass) return "-type f -empty";
    std::string expr;
    std::string delimiters;
    std::vector<std::string> specs;
    std::string list = q.specs;
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        if (end > start) specs.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    for (const auto& spec : specs) {
        expr += (expr.empty() ? "" : " -o ") + std::string("-iname '") + spec + "'";
        if (spec.size() > 2 && spec.ends_with(".*")) expr += " -o -iname '" + spec.substr(0, spec.size() - 2) + "'";
    }
    return "\\( " + expr + " \\)";
}

Walk FinderWalk(const std::string& root, const Question& q) {
    CFindFile finder;
    std::vector<std::string> names;
    finder.FoundFile = [&](std::string& name, bool&) {
        if (finder.LastHit().kind != platform::EntryKind::Folder) names.push_back(name);
    };
    finder.Path(root + "/");
    finder.FileSpec(q.zeroPass ? "*.none" : q.specs);
    finder.InclSubDir(true);
    finder.InclZeroFiles(q.zeroPass);
    std::vector<std::string> list;
    const auto start = Clock::now();
    finder.FindAll(list);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    // A name matching several specifications is reported once per pattern.
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return {ms, static_cast<long>(names.size())};
}

Walk FindWalk(const std::string& root, const Question& q) {
    const std::string command = "find '" + root + "' -mindepth 1 " + FindExpression(q) + " -print";
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
        const Question questions[] = {
            {"one spec \"*.bak\"", "*.bak", false},
            {"three specs \"*.bak;*.tmp;*.old\"", "*.bak;*.tmp;*.old", false},
            {"the zero-length pass", "", true},
            {"the 15 built-in specs", kBuiltInExtList, false},
        };
        const long hwmBefore = StatusKb("VmHWM");
        const bool peakReset = ResetPeak();
        const long rssAtStart = StatusKb("VmRSS");
        std::printf("  %-36s %12s %12s %7s\n", "question (with subfolders)", "CFindFile", "find", "ratio");
        for (const Question& q : questions) {
            const Walk finder = BestOf3([&] { return FinderWalk(root, q); });
            const Walk find = BestOf3([&] { return FindWalk(root, q); });
            std::printf("  %-36s %9.1f ms %9.1f ms %7.2f   %ld names%s\n", q.title, finder.ms, find.ms, finder.ms / find.ms,
                        finder.hits, finder.hits == find.hits ? "" : " MISMATCH with find");
            if (finder.hits != find.hits) status = 1;
        }
        const long hwmAfter = StatusKb("VmHWM");
        std::printf("  (%ld of the files match \"*.bak;*.tmp\")\n", expected);
        if (peakReset)
            std::printf("  memory during the walks: VmRSS at start %ld kB, peak (VmHWM) %ld kB, growth %ld kB\n",
                        rssAtStart, hwmAfter, hwmAfter - rssAtStart);
        else
            std::printf("  memory: VmHWM before %ld kB, after %ld kB\n", hwmBefore, hwmAfter);
        std::printf("  ru_maxrss %ld kB\n", MaxRssKb());
    }

    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    if (ec) std::printf("  could not remove %s: %s\n", root.c_str(), ec.message().c_str());
    return status;
}
