#include "support/SimWorld.h"

#include "support/TestSupport.h"

namespace nocturo::test {

SimWorld::SimWorld(platform::PathStyle style, platform::LocalTime start)
    : fs(style),
      clock(start),
      loop(clock),
      dialogs(journal),
      power(journal),
      processes(journal, clock),
      sound(journal),
      speech(journal),
      tray(journal),
      http(journal),
      time(journal, &clock),
      sntp(journal, time),
      screenSaver(journal) {
    LayOutProgramFolder(fs, sys, style);
    fs.addFile(sys.programDir + fs.separator() + ".." + fs.separator() + "Common" + fs.separator() + "language" +
                   fs.separator() + "english.lng",
               "T0021\tnot yet\nT0022\tnext version\nT0023\tNocturo Info\nT0127\tOnly one copy.\nT0306\tAlready running.\n");
    power.setSessionEndHook([this](std::uint32_t flags) { sessionEnds.push_back(flags); });
    runtime.pf.files = &fs;
    runtime.pf.registry = &reg;
    runtime.pf.system = &sys;
    runtime.pf.clock = &clock;
    runtime.pf.loop = &loop;
    runtime.pf.dialogs = &dialogs;
    runtime.pf.power = &power;
    runtime.pf.processes = &processes;
    runtime.pf.sound = &sound;
    runtime.pf.speech = &speech;
    runtime.pf.windows = &screen;
    runtime.pf.tray = &tray;
    runtime.pf.http = &http;
    runtime.pf.sntp = &sntp;
    runtime.pf.time = &time;
    runtime.pf.screenSaver = &screenSaver;
    runtime.winVersionCode = 30;
    runtime.soundAvailable = true;
    scope_ = std::make_unique<RuntimeScope>(runtime);
}

SimWorld::~SimWorld() = default;

std::string SimWorld::actionLog() {
    return fs.readFile(sys.programDir + fs.separator() + "Nocturo.log").value_or("");
}

std::string SimWorld::errorLog() {
    char s = fs.separator();
    return fs.readFile(sys.programDir + s + ".." + s + "Common" + s + "error.log").value_or("");
}

std::vector<std::string> SimWorld::actionLogLines() { return ActionLogEvents(actionLog()); }

bool SimWorld::runUntil(const std::function<bool()>& done, std::int64_t maxMs) {
    const std::int64_t end = clock.monotonicMs() + maxMs;
    while (!done()) {
        if (clock.monotonicMs() >= end) return false;
        if (loop.runFor(10)) return done();  // the loop was told to quit
    }
    return true;
}

int SimWorld::count(const std::string& call) const {
    int n = 0;
    for (const auto& c : journal.calls())
        if (c == call) ++n;
    return n;
}

const platform::JsonObject* SimWorld::last(const std::string& call) const {
    const auto& entries = journal.entries();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        if (it->at("call").asString() == call) return &*it;
    return nullptr;
}

void SimWorld::setNow(int hour, int minute, int second) {
    platform::LocalTime t = clock.now();
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    t.millisecond = 0;
    clock.setNow(t);
}

}  // namespace nocturo::test
