#pragma once
// The standard dialogs on Win32: MessageBoxW, a small input box built in
// memory, the shell's folder chooser and the common Open dialog, and the
// boxes that answer themselves (timed boxes).
//
// Every box runs its own modal loop, as Windows boxes always do. That is
// fine with the program's loop (Win32EventLoop): a modal loop gets and
// dispatches every message of this thread, and the program's loop keeps a
// window whose WM_TIMER and wake messages run its due timers and posted
// work from there, so countdowns and clocks go on while a box waits (the
// tests check both under a message box and under the input box). What the
// program's loop does only between its own turns (its message filter)
// waits until the box closes; the boxes do their own dialog keys.
//
// One thread: the boxes, their time-outs and the owner are those of the
// thread that calls, which must pump messages (the user-interface thread).
#include <windows.h>

#include <optional>
#include <string>

#include "platform/IDialogs.h"

namespace nocturo::ui {

class Win32Dialogs : public platform::IDialogs {
public:
    Win32Dialogs();
    ~Win32Dialogs() override;
    Win32Dialogs(const Win32Dialogs&) = delete;
    Win32Dialogs& operator=(const Win32Dialogs&) = delete;

    // The window that owns the boxes when this thread has no active window
    // (the program sitting in the notification area); null for none. A box
    // is kept above its owner, and above all windows when the owner is.
    void setOwner(HWND owner) { owner_ = owner; }
    // The owner a box opened now gets: this thread's active window, else
    // the one set above while it still exists, else none.
    HWND owner() const;

    // style: buttons (style & 7), icon (style & 0x70), default button (256,
    // 512), mb::SystemModal; the values are MessageBoxW's own. Returns the
    // mb::Id... of the button pressed (a box closed with Esc or its close
    // box answers IdCancel, or IdOk when OK is its only button).
    int messageBox(const std::string& prompt, int style, const std::string& title) override;
    // A prompt, an entry, OK and Cancel. The entry starts with defaultText,
    // selected; the prompt wraps and the box grows to fit it.
    std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                        const std::string& defaultText) override;
    // SHBrowseForFolderW: startFolder is selected when the box opens;
    // includeFiles shows files too. Only a file-system folder can be chosen.
    std::string browseForFolder(const std::string& title, const std::string& startFolder,
                                bool includeFiles) override;
    // GetOpenFileNameW; the file must exist. The current folder is left as it was.
    std::string openFile(const std::string& title, const std::string& filter) override;

    // When `seconds` pass with the box still open, it gets Tab, Tab and
    // Enter, as if typed: on a box with one or two buttons that presses the
    // default button, with three the one two places after it; the input box
    // goes from the entry to OK to Cancel, so left alone it answers nullopt.
    // One time-out at a time: a second timed box takes it over, and the
    // first then waits for the user. seconds <= 0 shows a plain box.
    int timedMessageBox(const std::string& prompt, int style, const std::string& title, int seconds) override;
    std::optional<std::string> timedInputBox(const std::string& prompt, const std::string& title,
                                             const std::string& defaultText, int seconds) override;
    // The same with the entry shown as dots (ES_PASSWORD).
    std::optional<std::string> timedPasswordBox(const std::string& prompt, const std::string& title,
                                                int seconds) override;

    // MessageBoxW's style for ours: buttons, icon and default button as they
    // are (values MessageBoxW does not know become OK, no icon, the first
    // button), MB_SYSTEMMODAL as asked, MB_TOPMOST when the owner is kept
    // above all windows.
    static UINT boxStyle(int style, bool ownerOnTop);
    // "Program Files (*.exe)|*.exe|All Files (*.*)|*.*" becomes the
    // NUL-separated pairs GetOpenFileNameW reads, ending in two NULs. Blank
    // pairs are left out, a name without patterns is its own pattern, NUL
    // characters in the text are dropped. An empty result means no filter.
    static std::wstring toWin32Filter(const std::string& filter);
    // The caption a box shows for title (the program's name when empty).
    static std::wstring boxTitle(const std::string& title);
    // The caption of the timed box still waiting for its time-out ("" when none).
    std::wstring timedTitle() const { return timedTitle_; }

private:
    std::optional<std::string> askText(const std::string& prompt, const std::string& title,
                                       const std::string& defaultText, bool hidden);
    // Arms the time-out for the box about to open; returns what disarm needs
    // to stop it when that box closes (0 when nothing was armed).
    unsigned armTimeout(const std::string& title, int seconds);
    void disarm(unsigned armed);
    void onTimeout();
    static LRESULT CALLBACK TimerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    HWND owner_ = nullptr;
    HWND timerWindow_ = nullptr;  // a message-only window whose WM_TIMER is the time-out
    std::wstring timedTitle_;
    unsigned armed_ = 0;
};

}  // namespace nocturo::ui
