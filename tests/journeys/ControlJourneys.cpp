// A person tries the main window's smaller controls: the links, the eight
// actions, the time arrows and the window sizes, the option boxes, the logs
// and the emergency stop. Each click is checked against what the window
// shows, what the settings file keeps or what the simulated machine did.
#include <QGuiApplication>
#include <QScreen>
#include <QtTest>

#include <algorithm>
#include <string>
#include <vector>

#include "Journey.h"
#include "base/Links.h"
#include "platform/sim/SimHttp.h"
#include "platform/sim/SimSntp.h"
#include "support/WebAddresses.h"

using nocturo::test::ProgramOnDesktop;

namespace {

// The paths the desktop was asked to open, in order.
std::vector<std::string> openedDocuments(const ProgramOnDesktop& p) {
    std::vector<std::string> out;
    const std::string key = "\"path\":\"";
    for (const std::string& line : p.journalEntries("OpenDocument")) {
        const auto at = line.find(key);
        if (at == std::string::npos) continue;
        const auto start = at + key.size();
        out.push_back(line.substr(start, line.find('"', start) - start));
    }
    return out;
}

std::string lastOpened(const ProgramOnDesktop& p) {
    const auto all = openedDocuments(p);
    return all.empty() ? "<nothing>" : all.back();
}

// A left click on the window itself, where no control lies.
void clickOnTheWindow(ProgramOnDesktop& p) {
    QWidget* w = p.window("FrmMain");
    ASSERT_NE(w, nullptr);
    for (int y = w->height() - 4; y > 0; y -= 3)
        for (int x = 4; x < w->width(); x += 3)
            if (!w->childAt(QPoint(x, y))) {
                QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
                return;
            }
    FAIL() << "no free spot on the main window";
}

}  // namespace

TEST(Controls, TheLinksAndTheLogsOpenOnTheDesktop) {
    nocturo::test::WebAddresses web;  // a copy built with the maker's addresses
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    const std::string home = nocturo::links::Current().homePage;
    const std::pair<const char*, std::string> links[] = {
        {"Image2", home},
        {"lblVarnHome", home},
        {"Label7", nocturo::links::Current().errorReportPage},
        {"Label18", nocturo::links::Current().supportForum},
    };
    for (const auto& [control, address] : links) {
        const std::size_t before = openedDocuments(p).size();
        p.click(control);
        EXPECT_TRUE(p.waitFor([&] { return openedDocuments(p).size() == before + 1; }, 2000)) << control;
        EXPECT_EQ(lastOpened(p), address) << control;
    }

    // "Help" opens the manual the install carries.
    const std::string manual = p.programFolder() + "/../doc/README.html";
    QDir(QString::fromStdString(p.programFolder() + "/..")).mkpath(QStringLiteral("doc"));
    QFile page(QString::fromStdString(manual));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<html><body>Nocturo</body></html>");
    page.close();
    p.click("lblHelp");
    EXPECT_TRUE(p.waitFor([&] { return openedDocuments(p).size() == 5; }, 2000));
    EXPECT_EQ(lastOpened(p), manual);

    // The error indicator opens the error log.
    p.click("ErrorIndicator");
    EXPECT_TRUE(p.waitFor([&] { return openedDocuments(p).size() == 6; }, 2000));
    EXPECT_NE(lastOpened(p).find("rror"), std::string::npos) << lastOpened(p);

    // "Show Log" opens the action log in the program's folder.
    p.openOptions();
    p.click("cmdShowLog");
    EXPECT_TRUE(p.waitFor([&] { return openedDocuments(p).size() == 7; }, 2000));
    EXPECT_EQ(lastOpened(p).rfind(p.programFolder(), 0), 0u) << lastOpened(p);

    // "Reset Log" empties it.
    ASSERT_FALSE(p.actionLog().empty());
    p.click("cmdResetLog");
    EXPECT_TRUE(p.waitFor([&] { return p.actionLog().empty(); }, 2000)) << p.actionLog().front();
    EXPECT_EQ(p.errorLog(), "");
}

// A copy built without web addresses: its web links are greyed and say why,
// and "Help" says where the manual should be when the install lacks it.
TEST(Controls, WithoutWebAddressesTheLinksAreGreyedAndHelpNamesTheMissingManual) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    for (const char* control : {"Image2", "lblVarnHome", "Label7", "Label18"}) {
        QWidget* link = p.widget(control);
        ASSERT_NE(link, nullptr) << control;
        EXPECT_FALSE(link->isEnabled()) << control;
        EXPECT_EQ(link->toolTip().toStdString(), nocturo::links::NoAddressTip) << control;
        QTest::mouseClick(link, Qt::LeftButton);  // a click on a greyed link does nothing
    }
    auto boxes = ProgramOnDesktop::answerBoxes({{QStringLiteral("OK")}});
    p.click("lblHelp");
    EXPECT_TRUE(p.waitFor([&] { return boxes->size() == 1; }, 5000)) << "no word on the missing manual";
    boxes->stop();
    EXPECT_NE(boxes->text(0).find("doc/README.html"), std::string::npos) << boxes->text(0);
    EXPECT_TRUE(openedDocuments(p).empty());
    EXPECT_EQ(p.errorLog(), "");
}

TEST(Controls, EachActionNamesItselfAndTheMainButton) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    p.openOptions();
    struct Row {
        const char* label;
        const char* go;
    };
    const Row rows[8] = {{"Shut Down", "Shut Down now!"},  {"Reboot", "Reboot now!"},
                         {"Log Off", "LogOff now!"},       {"Start Program", "Start Program!"},
                         {"Alarm Mode", "Alarm Mode!"},    {"Suspend PC", "Suspend PC!"},
                         {"Hibernate PC", "Hibernate PC!"}, {"Lock PC", "Lock PC!"}};
    // From the last to the first, so that each click is a change.
    for (int i = 7; i >= 0; --i) {
        const std::string option = "optActions(" + std::to_string(i) + ")";
        p.click(option);
        EXPECT_TRUE(p.checked(option)) << option;
        EXPECT_EQ(p.caption("lblAction"), rows[i].label) << option;
        EXPECT_EQ(p.caption("cmdGo"), rows[i].go) << option;
        // "Power Off" belongs to the shut down only.
        EXPECT_EQ(p.widget("chkPowerOff")->isEnabled(), i == 0) << option;
    }
    EXPECT_EQ(p.errorLog(), "");
}

TEST(Controls, TimeArrowsAndWindowSizes) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    p.openOptions();
    p.click("optShutdownTime(0)");
    p.type("txtHour", "22");
    p.press(Qt::Key_Tab);
    p.type("txtMinute", "00");
    p.press(Qt::Key_Tab);

    // The arrows change the field clicked last, within its bounds.
    p.click("txtHour");
    p.click("imgTimeUp");
    EXPECT_EQ(p.caption("txtHour"), "23");
    p.click("imgTimeUp");
    EXPECT_EQ(p.caption("txtHour"), "23") << "past the last hour";
    p.click("imgTimeDown");
    EXPECT_EQ(p.caption("txtHour"), "22");
    p.click("txtMinute");
    p.click("imgTimeDown");
    EXPECT_EQ(p.caption("txtMinute"), "00") << "below nought";
    p.click("imgTimeUp");
    EXPECT_EQ(p.caption("txtMinute"), "01");
    EXPECT_EQ(p.caption("txtHour"), "22");
    EXPECT_TRUE(p.waitFor([&] { return p.caption("lblNocturoInfo").find("22:01:") != std::string::npos; }, 3000))
        << p.caption("lblNocturoInfo");
    p.click("cmdOptions");

    // The small clock and back.
    QWidget* w = p.window("FrmMain");
    const int normal = w->height();
    p.click("imgMinimize");
    EXPECT_TRUE(p.waitFor([&] { return w->height() < normal; }, 2000)) << w->height() << " of " << normal;
    EXPECT_TRUE(p.widget("lblShutdownTimeHeader")->isVisible());
    EXPECT_EQ(p.caption("lblShutdownTimeHeader").rfind("22:01:", 0), 0u) << p.caption("lblShutdownTimeHeader");
    p.click("imgMinimize");
    EXPECT_TRUE(p.waitFor([&] { return w->height() == normal; }, 2000)) << w->height() << " of " << normal;
    EXPECT_FALSE(p.widget("lblShutdownTimeHeader")->isVisible());

    // Home: the small clock at the top right of the screen.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    p.click("imgHome");
    EXPECT_TRUE(p.waitFor([&] { return w->height() < normal; }, 2000));
    EXPECT_TRUE(p.waitFor([&] { return w->geometry().center().x() > screen.center().x(); }, 2000)) << w->x();
    EXPECT_LT(w->y(), screen.height() / 4);

    // A click on the window's own face does the same from the middle.
    p.click("imgMinimize");
    ASSERT_TRUE(p.waitFor([&] { return w->height() == normal; }, 2000));
    // Saved options bring the window back to the middle of the screen.
    p.openOptions();
    p.click("cmdOptions");
    ASSERT_TRUE(p.waitFor([&] { return w->geometry().center().x() <= screen.center().x() + 20; }, 2000)) << w->x();
    clickOnTheWindow(p);
    EXPECT_TRUE(p.waitFor([&] { return w->height() < normal; }, 2000));
    EXPECT_TRUE(p.waitFor([&] { return w->geometry().center().x() > screen.center().x(); }, 2000)) << w->x();
    EXPECT_EQ(p.errorLog(), "");
}

TEST(Controls, OptionBoxesAreKeptWhenTheOptionsAreSaved) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    p.openOptions();
    const char* boxes[] = {"chkDisableCancel", "chkStartInSysTray", "chkTimeSync", "chkStartProgram"};
    std::vector<bool> was;
    for (const char* box : boxes) {
        was.push_back(p.checked(box));
        p.click(box);
        EXPECT_NE(p.checked(box), was.back()) << box;
    }
    // Remote control tells how it is reached.
    auto told = ProgramOnDesktop::answerBoxes({{QStringLiteral("OK")}});
    const bool remoteWas = p.checked("chkAllowRemoteControl");
    p.click("chkAllowRemoteControl");
    EXPECT_TRUE(p.waitFor([&] { return told->size() == 1; }, 3000)) << "no word on the remote control";
    told->stop();
    EXPECT_NE(p.checked("chkAllowRemoteControl"), remoteWas);

    // Always on top: the window stays above the others.
    QWidget* w = p.window("FrmMain");
    ASSERT_FALSE(p.checked("chkWinOnTop"));
    p.click("chkWinOnTop");
    EXPECT_TRUE(p.waitFor([&] { return (w = p.window("FrmMain")) && (w->windowFlags() & Qt::WindowStaysOnTopHint); },
                          2000));

    p.click("cmdOptions");
    for (std::size_t i = 0; i < std::size(boxes); ++i)
        EXPECT_EQ(p.setting(boxes[i]), was[i] ? "dword:00000000" : "dword:00000001") << boxes[i];
    EXPECT_EQ(p.setting("chkAllowRemoteControl"), remoteWas ? "dword:00000000" : "dword:00000001");
    EXPECT_EQ(p.setting("chkWinOnTop"), "dword:00000001");

    // And off again.
    p.openOptions();
    p.click("chkWinOnTop");
    EXPECT_TRUE(p.waitFor([&] { return (w = p.window("FrmMain")) && !(w->windowFlags() & Qt::WindowStaysOnTopHint); },
                          2000));
    p.click("cmdOptions");
    EXPECT_EQ(p.setting("chkWinOnTop"), "dword:00000000");
    EXPECT_EQ(p.errorLog(), "");
}

// A double click on the stop sign ends the session at once (a fresh store
// asks no question; the count is cut to nought) and says so in the action log.
TEST(Controls, TheEmergencyStopEndsTheSession) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    p.openOptions();
    ASSERT_TRUE(p.checked("chkForce"));
    p.type("txtCounter", "0");
    p.click("cmdOptions");
    auto boxes = ProgramOnDesktop::answerBoxes({{QStringLiteral("Yes")}}, 8000);  // any box all the same
    QWidget* stop = p.widget("ImgStop");
    ASSERT_NE(stop, nullptr);
    ASSERT_TRUE(stop->isVisible());
    QTest::mouseDClick(stop, Qt::LeftButton);
    EXPECT_TRUE(p.waitFor([&] { return !p.sessionEnds().empty(); }, 8000)) << "the session was not ended";
    boxes->stop();
    EXPECT_EQ(boxes->size(), 0u) << boxes->text(0);
    const auto log = p.actionLog();
    EXPECT_NE(std::find(log.begin(), log.end(), "Emergency Shut Down"), log.end());
    EXPECT_EQ(p.errorLog(), "");
}

namespace {

// What the simulated speech engine was given to say, in order.
std::vector<std::string> spoken(const ProgramOnDesktop& p) {
    std::vector<std::string> out;
    const std::string key = "\"text\":\"";
    for (const std::string& line : p.journalEntries("Speak")) {
        const auto at = line.find(key);
        if (at == std::string::npos) continue;
        const auto start = at + key.size();
        out.push_back(line.substr(start, line.find('"', start) - start));
    }
    return out;
}

}  // namespace

TEST(Controls, SoundVoiceAndTheSpokenTime) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    p.openOptions();
    ASSERT_TRUE(p.checked("chkSound"));
    std::size_t said = spoken(p).size();
    auto newWords = [&] {
        const auto all = spoken(p);
        std::vector<std::string> fresh(all.begin() + static_cast<long>(std::min(said, all.size())), all.end());
        said = all.size();
        return fresh;
    };
    // Once the clock shows the time.
    ASSERT_TRUE(p.waitFor([&] { return p.caption("lblTime").find(':') != std::string::npos; }, 3000));
    p.click("cmdSpeakTime");
    EXPECT_TRUE(p.waitFor([&] { return spoken(p).size() > said; }, 3000)) << "the time was not spoken at " << p.caption("lblTime");
    const auto time = newWords();
    ASSERT_FALSE(time.empty());
    EXPECT_EQ(time.back().rfind("The time is now ", 0), 0u) << time.back();

    const bool voiceWas = p.checked("chkVoice");
    p.click("chkVoice");
    p.wait(100);
    EXPECT_EQ(newWords(), std::vector<std::string>{voiceWas ? "voice clock de activated" : "voice clock acctivated"});

    // Sound off: the voice goes with it, and the time is not spoken.
    p.click("chkSound");
    p.wait(100);
    EXPECT_EQ(newWords(), std::vector<std::string>{"voice system deactivated"});
    EXPECT_FALSE(p.checked("chkVoice"));
    EXPECT_FALSE(p.widget("chkVoice")->isEnabled());
    p.click("cmdSpeakTime");
    p.wait(300);
    EXPECT_EQ(newWords(), std::vector<std::string>{});

    p.click("chkSound");
    p.wait(100);
    EXPECT_EQ(newWords(), std::vector<std::string>{"voice system acctivated"});
    EXPECT_TRUE(p.widget("chkVoice")->isEnabled());
    p.click("cmdOptions");
    EXPECT_EQ(p.setting("chkVoice"), "dword:00000000");
    EXPECT_EQ(p.errorLog(), "");
}

TEST(Controls, TheLockTimeTheScreenSaverAndTheSecuredPC) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    p.openOptions();

    // A time-out in seconds goes to the screen saver as it is typed.
    p.type("txtLockTime", "300");
    EXPECT_TRUE(p.waitFor([&] {
        const auto e = p.journalEntries("SetScreenSaverTimeout");
        return !e.empty() && e.back().find("300") != std::string::npos;
    }, 2000));
    // Anything else is refused and the default comes back.
    auto boxes = ProgramOnDesktop::answerBoxes({{QStringLiteral("OK")}});
    p.type("txtLockTime", "x");
    EXPECT_TRUE(p.waitFor([&] { return boxes->size() == 1; }, 3000)) << "no word on the wrong time";
    boxes->stop();
    EXPECT_EQ(boxes->text(0), "No valid number, please try again");
    EXPECT_EQ(p.caption("txtLockTime"), "600");

    // The screen saver: on with the time-out, off again.
    const int timeouts = p.journalCount("SetScreenSaverTimeout");
    const bool scrWas = p.checked("chkSCR");
    p.click("chkSCR");
    if (!scrWas) {
        EXPECT_TRUE(p.waitFor([&] { return p.journalCount("SetScreenSaverTimeout") > timeouts; }, 2000));
        p.click("chkSCR");
    }
    EXPECT_FALSE(p.checked("chkSCR"));

    // The secured PC asks first; once on, the program cannot be left.
    boxes = ProgramOnDesktop::answerBoxes({{QStringLiteral("OK")}});
    p.click("chkPCLock");
    EXPECT_TRUE(p.waitFor([&] { return boxes->size() == 1; }, 3000)) << "no question";
    boxes->stop();
    EXPECT_TRUE(p.checked("chkPCLock"));
    EXPECT_FALSE(p.widget("cmdExit")->isEnabled());
    boxes = ProgramOnDesktop::answerBoxes({{QStringLiteral("OK")}});
    p.click("chkPCLock");
    EXPECT_TRUE(p.waitFor([&] { return boxes->size() == 1; }, 3000)) << "no word on the release";
    boxes->stop();
    EXPECT_TRUE(p.widget("cmdExit")->isEnabled());
    const auto log = p.actionLog();
    EXPECT_NE(std::find(log.begin(), log.end(), "enable LockPC"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "disable LockPC"), log.end());
    EXPECT_EQ(p.errorLog(), "");
}

// The network as the simulated machine has it: the web unreachable until a
// page is served, the default time server answering.
TEST(Controls, NewVersionAndAtomicTimeAskTheNetwork) {
    nocturo::test::WebAddresses addresses;  // a copy built with an update address
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    auto* web = dynamic_cast<nocturo::platform::SimHttp*>(p.machine().pf.http);
    ASSERT_NE(web, nullptr);
    const std::string versions = nocturo::links::Current().versionList;
    auto* timeServer = dynamic_cast<nocturo::platform::SimSntp*>(p.machine().pf.sntp);
    ASSERT_NE(timeServer, nullptr);
    auto fetched = [&](const std::string& url) {
        int n = 0;
        for (const std::string& e : p.journalEntries("HttpGet")) n += e.find("\"url\":\"" + url + "\"") != std::string::npos;
        return n;
    };

    // No answer from the web: the person is told, the failure is logged and
    // shown on the window, whose mark opens the error log.
    web->unreachable(versions);
    auto boxes = ProgramOnDesktop::answerBoxes({{QStringLiteral("OK")}});
    p.click("cmdNewVersion");
    EXPECT_TRUE(p.waitFor([&] { return boxes->size() == 1; }, 5000)) << "no word on the failed check";
    boxes->stop();
    EXPECT_EQ(fetched(versions), 1);
    EXPECT_TRUE(p.waitFor([&] { return p.widget("cmdNewVersion")->isEnabled(); }, 2000));
    EXPECT_NE(p.errorLog(), "");
    ASSERT_TRUE(p.waitFor([&] { return p.widget("lblError")->isVisible(); }, 2000)) << "no error mark";
    EXPECT_EQ(p.caption("lblError"), "check Error log !");
    const std::size_t opened = openedDocuments(p).size();
    p.click("lblError");
    EXPECT_TRUE(p.waitFor([&] { return openedDocuments(p).size() == opened + 1; }, 2000));
    EXPECT_NE(lastOpened(p).find("rror"), std::string::npos) << lastOpened(p);

    // A newer version on the list: the person is asked whether to fetch it.
    web->serve(versions, "\"Nocturo\",\"99.0.0\"\r\n");
    boxes = ProgramOnDesktop::answerBoxes({{QStringLiteral("No")}});
    p.click("cmdNewVersion");
    EXPECT_TRUE(p.waitFor([&] { return boxes->size() == 1; }, 5000)) << "no word on the newer version";
    boxes->stop();
    EXPECT_NE(boxes->text(0).find("99.0.0"), std::string::npos) << boxes->text(0);
    EXPECT_EQ(fetched(versions), 2);

    // The default time server, 90 s ahead, sets the clock, and the box says
    // by how much it moved.
    timeServer->serve("pool.ntp.org", 90 * 1000000LL);
    boxes = ProgramOnDesktop::answerBoxes({{QStringLiteral("OK")}});
    p.click("cmdTimeSync");
    EXPECT_TRUE(p.waitFor([&] { return boxes->size() == 1; }, 5000)) << "no word on the time";
    boxes->stop();
    EXPECT_EQ(boxes->text(0).rfind("Your system time was updated to ", 0), 0u) << boxes->text(0);
    EXPECT_NE(boxes->text(0).find("from pool.ntp.org: the clock was moved 90.000 s forward."), std::string::npos)
        << boxes->text(0);
    ASSERT_EQ(p.journalCount("SetTime"), 1);
    ASSERT_EQ(p.journalCount("SntpQuery"), 1);
    EXPECT_TRUE(p.waitFor([&] { return p.caption("cmdTimeSync") == "&Atomic Time"; }, 2000)) << p.caption("cmdTimeSync");
    const auto log = p.actionLog();
    EXPECT_NE(std::find(log.begin(), log.end(), "PC System time synchronized"), log.end());
}
