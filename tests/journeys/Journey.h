#pragma once
// A person at the desktop program: the real program (DesktopProgram, as
// RunDesktop starts it) on the simulated machine, with a settings file, a
// journal, a program folder and an error log of its own, used only through
// its windows. Controls are found by their names ("cmdGo", "txtHour(3)"),
// clicked and typed into with QTest; what the person sees is read back
// from the widgets, the action log, the settings file and the journal.
#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/PlatformHost.h"
#include "ui/Desktop.h"
#include "ui/QtTray.h"

class QWidget;

namespace nocturo::test {

// What the journeys of a run used: the controls each form had a user event
// on, and the controls of the main window that have handlers.
class JourneyCoverage {
public:
    static JourneyCoverage& instance();
    // Starts recording (from the views) for the rest of the run.
    void install();
    void noteMainWindowHandlers(const std::vector<std::string>& events);
    // The main window's controls with a handler that no journey touched.
    std::vector<std::string> untouchedMainWindowControls() const;

private:
    std::set<std::string> touched_;   // "FrmMain:cmdGo"
    std::set<std::string> handled_;   // "cmdGo"
};

class ProgramOnDesktop {
public:
    // Starts the program and waits for its main window. trayHost: how the
    // desktop reports clicks on the tray icon; commandLine: what a shortcut
    // gives the program ("/action:reboot").
    explicit ProgramOnDesktop(ui::QtTray::Host trayHost = ui::QtTray::Host::Detect,
                              const std::string& commandLine = "");
    // Ends the program the way "Exit Program" would, if a journey has not.
    ~ProgramOnDesktop();
    ProgramOnDesktop(const ProgramOnDesktop&) = delete;
    ProgramOnDesktop& operator=(const ProgramOnDesktop&) = delete;

    bool started() const { return started_; }
    // Whether the program has ended (its main window unloaded).
    bool ended() const;

    // ---- finding what is on the screen ------------------------------------
    // A control of a window (the main window "FrmMain" unless named); null
    // when the window or the control is not there.
    QWidget* widget(const std::string& control, const std::string& window = "FrmMain") const;
    // The window of a form, shown or not; null when it is not loaded.
    QWidget* window(const std::string& form) const;
    bool windowShown(const std::string& form) const;
    // The text a control shows: a label's, a button's or a box's caption, a
    // field's text, a list's current entry.
    std::string caption(const std::string& control, const std::string& window = "FrmMain") const;
    // Whether a check box or option button shows its mark.
    bool checked(const std::string& control, const std::string& window = "FrmMain") const;
    // The main window's title bar text.
    std::string title() const;

    // ---- using it ---------------------------------------------------------
    // A left click in the middle of a control (it must be shown and enabled).
    void click(const std::string& control, const std::string& window = "FrmMain");
    // Clicks into a field, selects what it holds (Ctrl+A) and types text over it.
    void type(const std::string& control, const std::string& text, const std::string& window = "FrmMain");
    // Clicks into a field and types keys as they come, selecting nothing.
    void typeAfterClick(const std::string& control, const std::string& text, const std::string& window = "FrmMain");
    // One key on whatever has the keyboard focus now (Enter, Tab).
    void press(int qtKey);
    // Opens a drop-down list with the mouse and clicks one of its entries.
    void choose(const std::string& combo, const std::string& entry, const std::string& window = "FrmMain");
    // "&Options": opens the options panel. Without a password no box may
    // come; with one, the password box must come and gets it typed and OK.
    void openOptions(const std::optional<std::string>& password = std::nullopt);

    // Runs act on the first shown window or box that pick() accepts, once
    // it is up (polled from the event loop, so it works while a modal
    // window runs its own loop). When none comes within ms, onTimeout runs.
    static void whenShown(std::function<QWidget*()> pick, std::function<void(QWidget*)> act, int ms = 5000,
                          std::function<void()> onTimeout = {});
    // The shown message or input box, if any.
    static QWidget* shownBox();
    // Presses a box's button by its text (Qt's "&" taken out: "OK", "Yes").
    static void pressButton(QWidget* box, const QString& text);

    // A box as the person saw it: its title and its text (a message box's
    // message, an input box's prompt).
    struct SeenBox {
        std::string title, text;
    };
    // How a person answers one box: types into it (an input box), then
    // presses a button.
    struct BoxReply {
        QString button;
        std::optional<std::string> typed = std::nullopt;
    };
    // The boxes answered so far; stop() leaves the rest unanswered.
    struct Boxes {
        std::vector<SeenBox> seen;
        bool stopped = false;
        void stop() { stopped = true; }
        std::size_t size() const { return seen.size(); }
        // The text of the i-th box, "<none>" when it did not come.
        std::string text(std::size_t i) const { return i < seen.size() ? seen[i].text : "<none>"; }
    };
    // Answers the boxes that come next, one after the other, each within ms
    // of the one before; what they said is kept as they come. Call it before
    // the click that brings the first one.
    static std::shared_ptr<Boxes> answerBoxes(std::vector<BoxReply> replies, int ms = 5000);

    // ---- the notification area ---------------------------------------------
    // Whether the desktop has a notification area (it may still be starting).
    static bool trayReady();
    // "Send to tray" (the window's tray picture): the window goes, the icon
    // comes.
    void sendToTray();
    // A right click on the tray icon: the menu's entries as shown ("&Restart"),
    // and a click on the entry given (none: the menu is closed with Escape).
    std::vector<std::string> useTrayMenu(const std::string& entry = "");
    // The tip the tray icon shows.
    std::string trayTip();

    // Lets the program run until condition holds or ms have passed.
    static bool waitFor(const std::function<bool()>& condition, int ms = 10000);
    static void wait(int ms);

    // ---- what it left behind -----------------------------------------------
    // The calls the simulated machine journalled ("ExitWindowsEx", ...).
    std::vector<std::string> journal() const;
    // The flags of every session end the program asked for (ExitWindowsEx);
    // the simulated session goes on.
    const std::vector<std::uint32_t>& sessionEnds() const { return sessionEnds_; }
    int journalCount(const std::string& call) const;
    // The journal's lines (JSON objects) of one call, in order.
    std::vector<std::string> journalEntries(const std::string& call) const;
    // The action log's event texts, in order.
    std::vector<std::string> actionLog() const;
    // A value of the settings file as written there ("21", "dword:00000001"),
    // "" when it is not there.
    std::string setting(const std::string& name) const;
    // The error log's entries (its header left out): "" when nothing failed.
    std::string errorLog() const;

    // The program's folder (the action log, the cleaner's log) and a
    // folder of this run for the journey's own files.
    const std::string& programFolder() const { return programFolder_; }
    std::string scratchFolder() const;

    ui::DesktopProgram& program() { return *program_; }
    // The simulated machine the program runs on (its web, its clock).
    platform::PlatformHost& machine() { return *host_; }
    ui::QtTray& tray();

private:
    QTemporaryDir root_;
    std::string registryPath_, journalPath_, programFolder_;
    std::unique_ptr<platform::PlatformHost> host_;
    std::unique_ptr<ui::DesktopProgram> program_;
    bool started_ = false;
    std::vector<std::uint32_t> sessionEnds_;
};

// The clock as the program shows it, some seconds from now.
struct ClockTime {
    int hour, minute, second, weekday;  // weekday: 0 Monday ... 6 Sunday
    static ClockTime inSeconds(int seconds);
    std::string hh() const;
    std::string mm() const;
    std::string ss() const;
};

}  // namespace nocturo::test
