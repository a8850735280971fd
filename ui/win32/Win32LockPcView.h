#pragma once
// The windows of the secured PC's two programs on Windows and their runs on
// the desktop. The lock window: borderless over the whole virtual screen,
// top-most, in the foreground with the focus in its password entry, deaf to
// Alt+F4 and the close box (only the model ends it), found by the main
// program by its title. The screen saver: the same, black and without a
// pointer, ended by a key, a click or a real move of the mouse. Both stay
// with what any program may do: no keyboard hooks, no system settings.
#include <windows.h>

#include <vector>

#include "platform/PlatformHost.h"
#include "ui/win32/Win32FormView.h"

namespace nocturo {
class frmLockPc;
class frmLockPcScr;
}  // namespace nocturo

namespace nocturo::ui::win32 {

// Every monitor together (SM_XVIRTUALSCREEN ... SM_CYVIRTUALSCREEN), in
// screen pixels; the primary monitor's top left corner is (0, 0).
RECT VirtualScreenRect();

// A form window that covers the whole virtual screen, whatever place and
// size the model gives it. The model lays its controls out for the primary
// monitor, so they are shifted to stay there when monitors lie to its left
// or above it. Minimising, maximising, moving and sizing are refused.
class Win32ScreenCover : public Win32FormView {
public:
    explicit Win32ScreenCover(Form& model);
    ~Win32ScreenCover() override;

    // Where the primary monitor's corner lies in the window (pixels).
    POINT primaryOrigin() const { return shift_; }

protected:
    LRESULT handle(UINT msg, WPARAM wp, LPARAM lp) override;
    // Places the window over the virtual screen again (a monitor came or went).
    void cover();

private:
    friend LRESULT CALLBACK ShiftedControlProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    POINT shift_{0, 0};
    std::vector<HWND> shifted_;
};

class Win32LockPcView : public Win32ScreenCover {
public:
    explicit Win32LockPcView(frmLockPc& model);
    ~Win32LockPcView() override;

    HWND entry() const { return entry_; }
    // On top of everything, in the foreground, the focus in the entry.
    void takeFront();
    // For the loop's message filter: in this window Tab goes between the
    // entry and the button and Enter is the button's click, as in a dialog
    // box (IsDialogMessageW). False for messages of other windows.
    bool dialogMessage(MSG& msg);

protected:
    LRESULT handle(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    friend LRESULT CALLBACK LockEntryProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    void unlock();
    bool guarding() const;

    frmLockPc& lock_;
    HWND entry_ = nullptr;
    HWND unlockButton_ = nullptr;
};

class Win32LockPcScrView : public Win32ScreenCover {
public:
    explicit Win32LockPcScrView(frmLockPcScr& model);
    ~Win32LockPcScrView() override;

protected:
    LRESULT handle(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    frmLockPcScr& saver_;
    HWND time_ = nullptr;
    bool started_ = false;          // the pointer's place at the first show went to the model
    bool ignoreNextMove_ = false;  // the move the system sends when the window appears under the pointer
};

// Every frmLockPc and frmLockPcScr that loads from now on gets its window
// (other forms the plain one); false: none.
void InstallWin32LockViews(bool on);

// The two programs with their windows, on a Win32 message loop; the host's
// loop, screen and dialogs are replaced by the Win32 ones for the run. Exit
// codes as in the headless runs.
int RunWin32LockPc(platform::PlatformHost& host);
int RunWin32LockPcScr(platform::PlatformHost& host);

}  // namespace nocturo::ui::win32
