#pragma once
// A person at the native desktop program: the real program
// (Win32DesktopProgram, as RunWin32Desktop starts it) on the simulated
// machine, with a settings store, a journal, a program folder and an error
// log of its own, used only through its windows. Controls are found by
// their names as the windows know them ("cmdGo", "txtHour(3)") and get the
// messages a person's mouse and keyboard give them (posted, so they pass
// the program's own message loop and its dialog-box keys); what the person
// sees is read back from the windows, the action log, the settings and the
// journal.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/PlatformHost.h"
#include "platform/common/RegStore.h"
#include "support/TestSupport.h"
#include "ui/win32/Win32Desktop.h"

namespace nocturo::test {

class ProgramOnWin32Desktop {
public:
    // Starts the program and waits for its main window.
    ProgramOnWin32Desktop();
    // Ends the program the way "Exit Program" would, if a journey has not.
    ~ProgramOnWin32Desktop();
    ProgramOnWin32Desktop(const ProgramOnWin32Desktop&) = delete;
    ProgramOnWin32Desktop& operator=(const ProgramOnWin32Desktop&) = delete;

    bool started() const { return started_; }

    // ---- finding what is on the screen ------------------------------------
    // The window of a form ("FrmMain", "frmTimeSetup"), shown or not; null
    // when the form is not loaded.
    HWND window(const std::string& form) const;
    // Whether the form's window is a top-level window on the screen.
    bool windowShown(const std::string& form) const;
    // The system control of a control of a window; null when it is not there.
    HWND control(const std::string& name, const std::string& form = "FrmMain") const;
    // The text a control shows (a button's caption with its "&", a field's
    // text, a label's caption, a list's current entry).
    std::string text(const std::string& name, const std::string& form = "FrmMain") const;
    // A window's title bar text.
    std::string title(const std::string& form = "FrmMain") const;
    // The name of the control a system control shows ("txtHour"), "" for
    // none of the main window's or the weekday dialogs'.
    std::string nameOf(HWND control) const;
    // The control with the keyboard focus.
    static HWND focus();

    // ---- using it ---------------------------------------------------------
    // A left click on a control (it must be shown, enabled, in a window that
    // takes input): a button's click, or a press and release in a field.
    void click(const std::string& name, const std::string& form = "FrmMain");
    // Clicks into a field and types characters as they come (WM_CHAR).
    void typeAfterClick(const std::string& name, const std::string& chars, const std::string& form = "FrmMain");
    // Clicks into a field, clears it (End, then Backspace) and types.
    void typeOver(const std::string& name, const std::string& chars, const std::string& form = "FrmMain");
    // A key (down and up) on whatever has the keyboard focus.
    void press(UINT virtualKey);

    // Runs act on the form's window once it is shown (polled from the
    // program's loop, so it works while a modal window runs its own loop).
    // When none comes within ms, onTimeout runs.
    void whenShown(const std::string& form, std::function<void(HWND)> act, int ms = 5000,
                   std::function<void()> onTimeout = {});

    // Lets the program run until condition holds or ms have passed.
    bool waitFor(const std::function<bool()>& condition, int ms = 10000);
    void wait(int ms);

    // ---- what it left behind -----------------------------------------------
    std::vector<std::string> journal() const;
    int journalCount(const std::string& call) const;
    // The flags of every session end the program asked for; the simulated
    // session goes on.
    const std::vector<std::uint32_t>& sessionEnds() const { return sessionEnds_; }
    // The action log's event texts, in order.
    std::vector<std::string> actionLog() const;
    // A value of the settings as stored ("21", "dword:00000001"), "" when absent.
    std::string setting(const std::string& name) const;
    // The error log's entries (its header left out): "" when nothing failed.
    std::string errorLog() const;

    ui::win32::Win32DesktopProgram& program() { return *program_; }

private:
    TempDir root_;
    std::string journalPath_, programFolder_;
    mutable platform::MemoryRegistry registry_;  // store() is not const
    std::unique_ptr<platform::PlatformHost> host_;
    std::unique_ptr<ui::win32::Win32DesktopProgram> program_;
    bool started_ = false;
    std::vector<std::uint32_t> sessionEnds_;
};

// Whether windows can be shown here (wine on a display).
bool DesktopHere();

}  // namespace nocturo::test

#define NEED_DESKTOP() \
    if (!nocturo::test::DesktopHere()) GTEST_SKIP() << "no desktop to show windows on"
