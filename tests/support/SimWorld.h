#pragma once
// A runtime on the simulated machine for scheduler tests: virtual clock and
// event loop, scripted dialogs, journalled power, processes, sound and
// speech, a journalled notification area, an in-memory file system and
// registry.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/Runtime.h"
#include "platform/sim/SimServices.h"
#include "support/FakeFileSystem.h"
#include "support/TestWorld.h"

namespace nocturo::test {

class SimWorld {
public:
    explicit SimWorld(platform::PathStyle style = platform::PathStyle::Windows,
                      platform::LocalTime start = {2026, 12, 8, 20, 59, 50, 0, 1});
    ~SimWorld();

    FakeFileSystem fs;
    MapRegistry reg;
    FakeSystemInfo sys;
    platform::Journal journal;
    platform::SimClock clock;
    platform::SimEventLoop loop;
    platform::SimDialogs dialogs;
    platform::SimSessionPower power;
    platform::SimProcesses processes;
    platform::SimSound sound;
    platform::SimSpeech speech;
    platform::FixedScreen screen;
    platform::SimTray tray;
    platform::SimHttp http;
    platform::SimTimeSettings time;
    platform::SimSntp sntp;  // answers the default server; others over 127.0.0.1
    platform::SimScreenSaver screenSaver;
    Runtime runtime;

    std::vector<std::uint32_t> sessionEnds;  // flags of every simulated session end

    std::string programFolder() const { return sys.programDir; }
    std::string actionLog();  // Nocturo.log in the program folder
    std::string errorLog();
    std::vector<std::string> actionLogLines();  // event texts only (columns 21..50, trimmed)
    std::vector<std::string> calls() const { return journal.calls(); }
    int count(const std::string& call) const;
    const platform::JsonObject* last(const std::string& call) const;
    void setNow(int hour, int minute, int second);
    // Runs the loop until done() holds (looked at every 10 ms of virtual
    // time) or maxMs have passed; returns done().
    bool runUntil(const std::function<bool()>& done, std::int64_t maxMs = 3600 * 1000);

private:
    std::unique_ptr<RuntimeScope> scope_;
};

}  // namespace nocturo::test
