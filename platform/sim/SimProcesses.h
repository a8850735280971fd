#pragma once
// Simulated processes: starting a program is journalled and gives a fake
// process id; how long the program "runs" and what it exits with is scripted
// per program and measured on the virtual monotonic clock.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/IClock.h"
#include "platform/IProcesses.h"
#include "platform/sim/Journal.h"

namespace nocturo::platform {

class SimProcesses : public IProcesses {
public:
    struct Script {
        std::uint32_t exitCode = 0;
        std::int64_t runMs = 0;       // virtual time until it ends
        bool fails = false;           // start throws platform::Error(53, "File not found")
        std::string windowTitle;      // a top-level window it shows while it runs (findWindow)
        bool crashes = false;         // it ends abnormally (killed by a signal, a crash)
    };
    using InstanceLock = std::function<bool(const std::string& key)>;

    SimProcesses(Journal& journal, IClock& clock);

    // Journals the start (also one that fails) and returns ids 1000, 1001, ...
    std::uint32_t start(const std::string& program, const std::vector<std::string>& arguments,
                        int windowStyle) override;
    // As on Windows when set (setTakesCommandLine): the parameters are
    // journalled as the start's "commandLine", as they were given.
    bool takesCommandLine() const override { return takesCommandLine_; }
    std::uint32_t startCommandLine(const std::string& program, const std::string& parameters,
                                   int windowStyle) override;
    void setTakesCommandLine(bool takes) { takesCommandLine_ = takes; }
    // StillActive (259) until runMs of virtual time have passed since the
    // start, then the scripted exit code; nullopt for an id not given here.
    std::optional<std::uint32_t> exitCode(std::uint32_t pid) override;
    // The scripted crash, once the program has ended.
    bool endedAbnormally(std::uint32_t pid) override;
    void openDocument(const std::string& pathOrUrl) override;
    // True for a title set with addWindow, and for the window title of a
    // scripted program while it runs.
    bool findWindow(const std::string& title) override;
    // Journalled as ShowWindow; a hidden window is still found.
    bool showWindow(const std::string& title, bool show) override;
    // False after showWindow hid it, until it is shown again.
    bool windowShown(const std::string& title) const { return hidden_.count(title) == 0; }
    bool acquireInstanceLock(const std::string& key) override;

    // Per program, matched by the exact program text given to start.
    // Unscripted programs run 0 ms and exit with 0.
    void script(const std::string& program, std::uint32_t exitCode, std::int64_t runMs);
    void script(const std::string& program, Script behaviour);
    void scriptFailure(const std::string& program);

    void addWindow(const std::string& title) { windows_.insert(title); }
    void removeWindow(const std::string& title) { windows_.erase(title); }
    void setWindows(std::set<std::string> titles) { windows_ = std::move(titles); }

    // Decides acquireInstanceLock; the default grants every lock.
    void setInstanceLock(InstanceLock lock);

    // The program started under pid, for tests.
    std::optional<std::string> programOf(std::uint32_t pid) const;

private:
    struct Process {
        std::string program;
        std::int64_t startedMs;
        Script behaviour;
    };
    bool running(const Process& p);

    Journal& journal_;
    IClock& clock_;
    std::map<std::string, Script> scripts_;
    std::map<std::uint32_t, Process> processes_;
    std::uint32_t launch(const std::string& program);
    std::uint32_t nextPid_ = 1000;
    bool takesCommandLine_ = false;
    std::set<std::string> windows_;
    std::set<std::string> hidden_;
    InstanceLock instanceLock_;
};

}  // namespace nocturo::platform
