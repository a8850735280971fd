#pragma once
// A runtime for core tests: an in-memory file system with the chosen path
// style, an in-memory registry, a settable clock, a loop that counts yields,
// scripted dialogs, configurable system information and a simulated
// notification area with its own journal.
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/Runtime.h"
#include "platform/common/RegStore.h"
#include "platform/sim/SimTray.h"
#include "support/FakeFileSystem.h"

namespace nocturo::test {

// The in-memory registry, with writes that can be made to fail.
class MapRegistry : public platform::MemoryRegistry {
public:
    void writeString(const std::string& path, const std::string& text) override;
    void writeDword(const std::string& path, std::uint32_t value) override;
    void deleteValue(const std::string& path) override;
    std::string storeId() const override { return "map"; }
    // As Windows' registry is for a user without administrator rights: user
    // settings below HKEY_CURRENT_USER, and every change below
    // HKEY_LOCAL_MACHINE refused (access denied) and recorded.
    void actAsOrdinaryWindowsUser() {
        setUserSettingsRoot("HKEY_CURRENT_USER");
        refuseMachineWrites = true;
    }
    bool failWrites = false;
    bool refuseMachineWrites = false;
    int refusedWrites = 0;
    std::vector<std::string> refusedPaths;  // the changes refused below HKEY_LOCAL_MACHINE

private:
    void check(const std::string& path);
};

class FixedClock : public platform::IClock {
public:
    platform::LocalTime now() override { return time; }
    std::int64_t monotonicMs() override { return monotonic; }
    platform::LocalTime time{2026, 12, 8, 17, 45, 30, 0, 1};
    std::int64_t monotonic = 0;
};

class CountingLoop : public platform::IEventLoop {
public:
    void yield() override;
    platform::TimerId addTimer(std::function<void()>) override { return ++lastTimer; }
    void setTimer(platform::TimerId, int, bool) override {}
    void removeTimer(platform::TimerId) override {}
    void post(std::function<void()> fn) override { posted.push_back(std::move(fn)); }
    int run() override { return 0; }
    void quit(int) override {}
    int yields = 0;
    int lastTimer = 0;
    std::function<void()> onYield;
    std::vector<std::function<void()>> posted;
};

class ScriptedDialogs : public platform::IDialogs {
public:
    int messageBox(const std::string& prompt, int style, const std::string& title) override;
    std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                        const std::string& defaultText) override;
    std::string browseForFolder(const std::string& title, const std::string& startFolder, bool includeFiles) override;
    std::string openFile(const std::string& title, const std::string& filter) override;

    struct Shown {
        std::string prompt, title;
        int style = 0;
    };
    std::vector<Shown> shown;
    std::deque<int> answers;
    std::deque<std::optional<std::string>> texts;
};

class FakeSystemInfo : public platform::ISystemInfo {
public:
    std::optional<std::string> userName() override { return user; }
    std::optional<std::uint32_t> volumeSerial() override { return serial; }
    platform::OsVersion osVersion() override { return version; }
    std::string systemFolder() override { return sysDir; }
    std::string windowsFolder() override { return winDir; }
    std::string programFolder() override { return programDir; }
    std::uint32_t systemLanguageId() override { return 0x0409; }
    std::string languageName(std::uint32_t) override { return "English (United States)"; }
    std::string localeInfo(std::uint32_t kind) override {
        return kind == 4 ? "English" : "United States";
    }

    std::optional<std::string> user = std::string("tester");
    std::optional<std::uint32_t> serial = 0x2A1B3C4Du;
    platform::OsVersion version{2, 10, 0, 22631, "", ""};
    std::string sysDir, winDir, programDir;
};

// Lays out a self-contained copy in the fake file system: Windows style
// under C:\Program Files\Nocturo (bin, Common), Posix style under
// /opt/nocturo.
void LayOutProgramFolder(FakeFileSystem& fs, FakeSystemInfo& sys, platform::PathStyle style);

class TestWorld {
public:
    // Windows style: program folder C:\Program Files\Nocturo\bin;
    // Posix style: /opt/nocturo/bin. Both exist in the fake file system.
    explicit TestWorld(platform::PathStyle style = platform::PathStyle::Windows);
    ~TestWorld();

    FakeFileSystem fs;
    MapRegistry reg;
    FixedClock clk;
    CountingLoop evloop;
    ScriptedDialogs dlg;
    FakeSystemInfo sys;
    platform::FixedScreen screen;
    platform::Journal trayJournal;
    platform::SimTray tray{trayJournal};
    Runtime runtime;

    std::string programFolder() const { return sys.programDir; }
    std::string errorLog();  // contents of Common/error.log ("" when missing)
    int errorIndicatorCount = 0;

private:
    std::unique_ptr<RuntimeScope> scope_;
};

}  // namespace nocturo::test
