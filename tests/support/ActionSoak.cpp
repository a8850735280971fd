#include "support/ActionSoak.h"

#include <random>
#include <set>
#include <sstream>
#include <vector>

#include "base/Strings.h"
#include "base/Varn_Registry.h"
#include "platform/IDialogs.h"
#include "shell/FrmMain.h"
#include "support/SimWorld.h"

namespace nocturo::test {

namespace {

const std::set<std::string> kActionTexts = {"Shutdown",      "Restart", "Logoff current user", "Power off (standby mode)",
                                            "Alarm",         "Lock PC", "Hibernate PC",        "Suspend PC",
                                            };
const std::set<std::string> kSessionCalls = {"ExitWindowsEx", "SetSuspendState", "LockWorkStation"};

std::string twoDigits(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }

// What happened, in order: log lines and the machine's journal interleaved.
struct Event {
    bool isLog;
    std::string text;  // the log's event text, or the journal's call
};

}  // namespace

SoakOutcome RunActionSoak(std::uint32_t seed) {
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto chance = [&](int percent) { return pick(1, 100) <= percent; };
    std::ostringstream scenario;
    scenario << "seed " << seed << ":";

    SimWorld w(platform::PathStyle::Windows, {2026, 12, 8, 20, 59, 50, 0, 1});
    std::vector<Event> timeline;
    std::size_t journalSeen = 0;
    auto catchUpJournal = [&] {
        const auto& entries = w.journal.entries();
        for (; journalSeen < entries.size(); ++journalSeen)
            timeline.push_back({false, entries[journalSeen].at("call").asString()});
    };
    w.runtime.logObserver = [&](const std::string&, const std::string& line) {
        catchUpJournal();
        const auto user = line.find("  UserID :  ");
        if (line.size() > 21 && user != std::string::npos) timeline.push_back({true, Trim(line.substr(21, user - 21))});
    };

    FrmMain f;
    bool ended = false;
    f.onUnloaded = [&] { ended = true; };
    f.Form_Load();

    // ---- the settings of this scenario --------------------------------------
    const int actionIndex = pick(0, 7);
    f.fireEvent("optActions(" + std::to_string(actionIndex) + ").Click");
    f.chkForce.setValue(chance(50) ? 1 : 0);
    f.chkSound.setValue(chance(50) ? 1 : 0);
    f.txtCounter.setText(std::to_string(pick(0, 4)));
    scenario << " action " << actionIndex << " force " << f.chkForce.value() << " sound " << f.chkSound.value()
             << " counter " << f.txtCounter.text();
    if (chance(35)) {
        const std::string program = "C:\\tools\\job.exe";
        w.fs.addFile(program);
        f.chkStartProgram.setValue(1);
        f.txtStartProgram.setText(program);
        const int runMs = chance(20) ? 1000000000 : pick(0, 6000);
        platform::SimProcesses::Script script;
        script.runMs = runMs;
        script.crashes = chance(20);
        w.processes.script(program, script);
        scenario << " program " << runMs << "ms";
    }
    if (chance(15)) {
        w.fs.addFile("C:\\Windows\\temp\\old.bak", "x");
        f.chkCleanHD.setValue(1);
        scenario << " clean";
    }
    const int mode = pick(0, 3);
    f.fireEvent("optShutdownTime(" + std::to_string(mode) + ").Click");
    scenario << " mode " << mode;
    switch (mode) {
    case 0: {
        // 20:59:50 + 0..30 s
        const int at = 20 * 3600 + 59 * 60 + 50 + pick(0, 30);
        f.txtHour.setText(twoDigits(at / 3600));
        f.txtMinute.setText(twoDigits(at / 60 % 60));
        f.txtSEC.setText(twoDigits(at % 60));
        break;
    }
    case 1: {
        const int at = 20 * 3600 + 59 * 60 + 50 + pick(0, 30);
        WriteSetting(UserApp(), kSettings, "1txtHour", twoDigits(at / 3600));
        WriteSetting(UserApp(), kSettings, "1txtMinute", twoDigits(at / 60 % 60));
        WriteSetting(UserApp(), kSettings, "1txtSEC", twoDigits(at % 60));
        break;
    }
    case 2:
        f.cmbTimeUnit.setListIndex(2);
        f.txtStartActionIn.setText(std::to_string(pick(1, 20)));
        f.cmdResetCounter_Click();
        break;
    case 3:
        WriteSetting(UserApp(), kSettings, "1txtHourTW", std::string("20"));
        WriteSetting(UserApp(), kSettings, "1txtMinuteTW", std::string(pick(0, 1) ? "59" : "58"));
        WriteSetting(UserApp(), kSettings, "1txtTWDuration", std::to_string(pick(0, 2)));
        break;
    }

    // ---- the answers, and what happens while a box is open -------------------
    for (int i = 0; i < 12; ++i) w.dialogs.pushAnswer(chance(60) ? platform::mb::IdYes : platform::mb::IdNo);
    const int insideBox = pick(0, 9);  // 0: the end of the program, 1: a cancel, else nothing
    w.dialogs.onBox = [&, insideBox] {
        if (insideBox == 0) f.UnloadProgram();
        if (insideBox == 1) f.cmdGo_Click();
    };

    // ---- the events -----------------------------------------------------------
    static const char* kTrayKeys[] = {"Nocturo", "PowerOff", "LogOff", "Restart", "open", "home"};
    const int count = pick(0, 8);
    bool unloadPlanned = false;
    for (int i = 0; i < count; ++i) {
        const std::int64_t at = pick(0, 40000);
        const int kind = pick(0, 9);
        scenario << " [" << at << " " << kind << "]";
        switch (kind) {
        case 0:
        case 1: w.loop.at(at, "click cmdGo", [&] { f.fireEvent("cmdGo.Click"); }); break;
        case 2: w.loop.at(at, "tray double click", [&] { f.m_frmSysTray_SysTrayDoubleClick(mouse::Left); }); break;
        case 3: {
            const char* key = kTrayKeys[pick(0, 5)];
            w.loop.at(at, "tray menu", [&, key] { f.m_frmSysTray_MenuClick(0, key); });
            break;
        }
        case 4: w.loop.at(at, "stop picture", [&] { f.fireEvent("ImgStop.DblClick"); }); break;
        case 5:
            if (!unloadPlanned) {
                unloadPlanned = true;
                w.loop.at(at, "end", [&] { f.UnloadProgram(); });
            }
            break;
        case 6: {
            // The clock moved by someone: a few seconds either way.
            const int delta = pick(-20, 20);
            w.loop.at(at, "clock moved", [&, delta] {
                auto now = w.clock.now();
                w.clock.setNow(platform::SimClock::addMilliseconds(now, delta * 1000LL));
            });
            break;
        }
        case 7: {
            // A postponement from outside (the channel, the tray, a button).
            const int seconds = pick(1, 20);
            w.loop.at(at, "postpone", [&, seconds] {
                std::string why;
                f.Postpone(seconds, why);
            });
            break;
        }
        case 8:
            w.loop.at(at, "cancel from outside", [&] {
                std::string why;
                f.CancelRunning(why);
            });
            break;
        default: w.loop.at(at, "send to tray", [&] { f.imgSysTray_Click(); }); break;
        }
    }
    // An end of the program, when planned or by chance at the close.
    const bool endAtClose = !unloadPlanned && chance(50);

    w.loop.runFor(60000);
    if (endAtClose) f.UnloadProgram();
    w.loop.runFor(5000);
    catchUpJournal();

    // ---- the invariants --------------------------------------------------------
    SoakOutcome out;
    auto fail = [&](const std::string& why) {
        if (!out.ok) return;
        out.ok = false;
        std::ostringstream t;
        for (const Event& e : timeline) t << (e.isLog ? " log:" : " call:") << e.text << ";";
        out.failure = why + "\n  " + scenario.str() + "\n  timeline:" + t.str();
    };
    bool afterEnd = false;
    bool armed = false;  // a run reached its action text and has not been cancelled or acted yet
    for (const Event& e : timeline) {
        if (e.isLog) {
            if (afterEnd) fail("a log line after \"Nocturo ended\": " + e.text);
            if (e.text == "Nocturo ended") afterEnd = true;
            if (kActionTexts.count(e.text)) {
                armed = true;
                ++out.runs;
            }
            if (e.text == "action canceled") {
                armed = false;
                ++out.cancels;
            }
            continue;
        }
        const bool session = kSessionCalls.count(e.text) > 0;
        if (afterEnd && (session || e.text == "StartProgram")) fail("a call after \"Nocturo ended\": " + e.text);
        if (!session) continue;
        ++out.sessionCalls;
        if (!armed) fail("a session call by no run under way (cancelled, or a second call of one run): " + e.text);
        armed = false;
    }
    const bool endAsked = unloadPlanned || endAtClose || insideBox == 0;
    if (endAsked && out.ok) {
        // An end asked for inside a box that never opened does not count.
        bool endLogged = false;
        for (const Event& e : timeline) endLogged = endLogged || (e.isLog && e.text == "Nocturo ended");
        if ((unloadPlanned || endAtClose) && !endLogged) fail("the program was told to end and did not");
        if (endLogged) {
            if (!ended || !f.unloaded()) fail("\"Nocturo ended\" was logged but the program did not end");
            auto crash = w.reg.read(SettingPath(UserApp(), kSettings, "Crashtime"));
            if (crash && std::get<std::string>(*crash) != "") fail("the crash marker is set after an orderly end");
        }
    }
    if (w.errorLog() != "") fail("the error log holds entries:\n" + w.errorLog());
    out.ended = ended;
    return out;
}

}  // namespace nocturo::test
