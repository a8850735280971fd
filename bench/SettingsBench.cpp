// Cost of one ReadSetting as the program calls it on Linux: the settings
// file with 500 values, the real event loop's pump in the existence check.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/Runtime.h"
#include "base/Varn_Registry.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixEventLoop.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixSystemInfo.h"
#include "platform/posix/RegFileRegistry.h"

using namespace nocturo;
using Clock = std::chrono::steady_clock;

int main() {
    std::string folder = (std::filesystem::temp_directory_path() / "nocturo-settings-bench-XXXXXX").string();
    if (!mkdtemp(folder.data())) return 1;
    platform::RegFileRegistry registry(folder + "/registry.reg");
    platform::PosixFileSystem files;
    platform::PosixSystemInfo system(folder);
    platform::PosixClock clock;
    platform::PosixEventLoop loop;
    Runtime runtime;
    runtime.pf.registry = &registry;
    runtime.pf.files = &files;
    runtime.pf.system = &system;
    runtime.pf.clock = &clock;
    runtime.pf.loop = &loop;
    RuntimeScope scope(runtime);

    for (int i = 0; i < 500; ++i)
        registry.writeString(SettingPath(AppKeyFor("USER" + std::to_string(i / 100)), kSettings, "value" + std::to_string(i)),
                             "text " + std::to_string(i));

    std::vector<double> rounds;
    const int perRound = 2000;
    for (int r = 0; r < 7; ++r) {
        auto start = Clock::now();
        for (int i = 0; i < perRound; ++i) {
            int v = (i * 37) % 500;
            ReadSetting(AppKeyFor("USER" + std::to_string(v / 100)), kSettings, "value" + std::to_string(v),
                        std::string("default"));
        }
        rounds.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() / perRound);
    }
    std::sort(rounds.begin(), rounds.end());
    std::printf("ReadSetting, store of 500 values on disk, real event loop: median %.2f us, best %.2f us per call\n",
                rounds[rounds.size() / 2], rounds.front());
    std::printf("  (one timer tick of the time-window mode reads 4 settings: about %.1f us)\n",
                4 * rounds[rounds.size() / 2]);
    std::filesystem::remove_all(folder);
    return 0;
}
