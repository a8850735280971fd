#include "Win32Journey.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>

#include "platform/sim/SimPlatform.h"
#include "platform/sim/SimProcesses.h"
#include "platform/sim/SimSessionPower.h"
#include "platform/win32/WinText.h"
#include "shell/FrmMain.h"
#include "ui/win32/Win32FormView.h"

namespace nocturo::test {

using platform::win32::Narrow;
using platform::win32::Widen;
using ui::win32::Win32FormView;

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

std::wstring windowText(HWND w) {
    const int length = GetWindowTextLengthW(w);
    std::wstring text(static_cast<size_t>(std::max(0, length)) + 1, L'\0');
    const int got = GetWindowTextW(w, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(0, got)));
    return text;
}

std::wstring classOf(HWND w) {
    wchar_t name[64] = {};
    GetClassNameW(w, name, 64);
    return name;
}

// The sources' folder as this program sees it (under wine, on drive Z:).
std::string sourceFolder() {
    const std::string dir = NOCTURO_SOURCE_DIR;
    return dir.rfind('/', 0) == 0 ? "Z:" + dir : dir;
}

LPARAM keyData(UINT vk, bool up) {
    const UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    return static_cast<LPARAM>(1 | (scan << 16) | (up ? 0xC0000000u : 0u));
}

}  // namespace

bool DesktopHere() { return ui::win32::DesktopAvailable(); }

ProgramOnWin32Desktop::ProgramOnWin32Desktop() {
    // The installation: the program's folder, Common/ with the language
    // files and sounds beside it (and the error log of this run), temp/.
    namespace fs = std::filesystem;
    const fs::path root(root_.path());
    fs::create_directories(root / "program");
    fs::create_directories(root / "temp");
    fs::create_directories(root / "Common");
    std::error_code ec;
    for (const char* part : {"language", "sound"})
        fs::copy(fs::path(sourceFolder()) / "Common" / part, root / "Common" / part, fs::copy_options::recursive, ec);
    programFolder_ = root_ / "program";
    journalPath_ = root_ / "journal.jsonl";
    _putenv_s("NOCTURO_SIM_JOURNAL", journalPath_.c_str());

    platform::SimOptions options;
    options.programFolder = programFolder_;
    host_ = platform::MakeSimPlatform(options);
    // The settings stay in the journey's own store, not in the registry the
    // other programs under this wine prefix use, and no single-copy lock of
    // the machine is taken.
    host_->pf.registry = &registry_;
    if (auto* processes = dynamic_cast<platform::SimProcesses*>(host_->pf.processes))
        processes->setInstanceLock([](const std::string&) { return true; });
    // The session's end would end this process with the program: the
    // journey notes it and goes on looking.
    if (auto* power = dynamic_cast<platform::SimSessionPower*>(host_->pf.power))
        power->setSessionEndHook([this](std::uint32_t flags) { sessionEnds_.push_back(flags); });
    program_ = std::make_unique<ui::win32::Win32DesktopProgram>(*host_);
    if (!program_->start("")) {
        ADD_FAILURE() << "the program ended at start with " << program_->exitCode();
        return;
    }
    started_ = waitFor([&] { return windowShown("FrmMain"); });
    if (!started_) ADD_FAILURE() << "the main window never showed";
}

ProgramOnWin32Desktop::~ProgramOnWin32Desktop() {
    if (program_ && !program_->form().unloaded()) {
        program_->form().UnloadProgram();
        waitFor([&] { return program_->form().unloaded(); }, 5000);
    }
    program_.reset();
    host_.reset();
}

HWND ProgramOnWin32Desktop::window(const std::string& form) const {
    Win32FormView* view = Win32FormView::named(form);
    return view ? view->hwnd() : nullptr;
}

bool ProgramOnWin32Desktop::windowShown(const std::string& form) const {
    HWND w = window(form);
    if (!w || !IsWindowVisible(w) || IsIconic(w) || GetAncestor(w, GA_ROOT) != w) return false;
    // On the screen, with a size.
    RECT r{}, screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}, both{};
    GetWindowRect(w, &r);
    return r.right > r.left && r.bottom > r.top && IntersectRect(&both, &r, &screen);
}

HWND ProgramOnWin32Desktop::control(const std::string& name, const std::string& form) const {
    Win32FormView* view = Win32FormView::named(form);
    return view ? view->controlWindow(name) : nullptr;
}

std::string ProgramOnWin32Desktop::text(const std::string& name, const std::string& form) const {
    HWND w = control(name, form);
    if (!w) return "<no " + name + ">";
    if (classOf(w) == L"ComboBox") {
        const auto i = SendMessageW(w, CB_GETCURSEL, 0, 0);
        if (i < 0) return "";
        const auto length = SendMessageW(w, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring item(static_cast<size_t>(std::max<LRESULT>(0, length)) + 1, L'\0');
        SendMessageW(w, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item.data()));
        item.resize(static_cast<size_t>(std::max<LRESULT>(0, length)));
        return Narrow(item);
    }
    return Narrow(windowText(w));
}

std::string ProgramOnWin32Desktop::title(const std::string& form) const {
    HWND w = window(form);
    return w ? Narrow(windowText(w)) : "";
}

HWND ProgramOnWin32Desktop::focus() { return GetFocus(); }

std::string ProgramOnWin32Desktop::nameOf(HWND child) const {
    if (!child) return "";
    for (const char* form : {"FrmMain", "frmTimeSetup", "frmWindowSetup"}) {
        Win32FormView* view = Win32FormView::named(form);
        if (Control* c = view ? view->controlOf(child) : nullptr) return c->fullName();
    }
    return "";
}

void ProgramOnWin32Desktop::click(const std::string& name, const std::string& form) {
    HWND w = control(name, form);
    ASSERT_NE(w, nullptr) << name << " is not in " << form;
    ASSERT_TRUE(IsWindowVisible(w)) << name << " is not on the screen";
    ASSERT_TRUE(IsWindowEnabled(w)) << name << " is greyed out";
    HWND top = GetAncestor(w, GA_ROOT);
    ASSERT_TRUE(IsWindowEnabled(top)) << form << " takes no input (another window is modal)";
    if (GetForegroundWindow() != top) SetForegroundWindow(top);
    if (classOf(w) == L"Button") {
        PostMessageW(w, BM_CLICK, 0, 0);
    } else {
        RECT r{};
        GetClientRect(w, &r);
        const LPARAM middle = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
        PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, middle);
        PostMessageW(w, WM_LBUTTONUP, 0, middle);
    }
    wait(50);
}

void ProgramOnWin32Desktop::typeAfterClick(const std::string& name, const std::string& chars, const std::string& form) {
    click(name, form);
    HWND w = control(name, form);
    if (!w) return;
    for (wchar_t c : Widen(chars)) {
        PostMessageW(w, WM_CHAR, c, 1);
        wait(20);
    }
}

void ProgramOnWin32Desktop::typeOver(const std::string& name, const std::string& chars, const std::string& form) {
    click(name, form);
    HWND w = control(name, form);
    if (!w) return;
    // A double click selects the number the field holds.
    RECT r{};
    GetClientRect(w, &r);
    const LPARAM middle = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
    PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, middle);
    PostMessageW(w, WM_LBUTTONUP, 0, middle);
    PostMessageW(w, WM_LBUTTONDBLCLK, MK_LBUTTON, middle);
    PostMessageW(w, WM_LBUTTONUP, 0, middle);
    wait(50);
    DWORD start = 0, end = 0;
    SendMessageW(w, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    ASSERT_TRUE(start == 0 && static_cast<int>(end) == GetWindowTextLengthW(w))
        << "a double click in " << name << " selected " << start << " to " << end;
    for (wchar_t c : Widen(chars)) {
        PostMessageW(w, WM_CHAR, c, 1);
        wait(20);
    }
}

void ProgramOnWin32Desktop::press(UINT vk) {
    HWND target = GetFocus();
    ASSERT_NE(target, nullptr) << "nothing has the keyboard";
    PostMessageW(target, WM_KEYDOWN, vk, keyData(vk, false));
    PostMessageW(target, WM_KEYUP, vk, keyData(vk, true));
    wait(50);
}

void ProgramOnWin32Desktop::whenShown(const std::string& form, std::function<void(HWND)> act, int ms,
                                      std::function<void()> onTimeout) {
    auto& loop = program_->loop();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    auto id = std::make_shared<platform::TimerId>();
    *id = loop.addTimer([=, this, &loop] {
        if (windowShown(form)) {
            loop.removeTimer(*id);
            act(window(form));
        } else if (std::chrono::steady_clock::now() > until) {
            loop.removeTimer(*id);
            if (onTimeout) onTimeout();
        }
    });
    loop.setTimer(*id, 50, true);
}

bool ProgramOnWin32Desktop::waitFor(const std::function<bool()>& condition, int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) return false;
        program_->loop().idle(10);
    }
    return true;
}

void ProgramOnWin32Desktop::wait(int ms) {
    waitFor([] { return false; }, ms);
}

std::vector<std::string> ProgramOnWin32Desktop::journal() const {
    std::vector<std::string> calls;
    static const std::regex call("\"call\"\\s*:\\s*\"([^\"]*)\"");
    for (const std::string& line : lines(ReadWholeFile(journalPath_))) {
        std::smatch m;
        if (std::regex_search(line, m, call)) calls.push_back(m[1]);
    }
    return calls;
}

int ProgramOnWin32Desktop::journalCount(const std::string& name) const {
    const auto calls = journal();
    return static_cast<int>(std::count(calls.begin(), calls.end(), name));
}

std::vector<std::string> ProgramOnWin32Desktop::actionLog() const {
    return ActionLogEvents(ReadWholeFile(programFolder_ + "/Nocturo.log"));
}

std::string ProgramOnWin32Desktop::setting(const std::string& name) const {
    // The store as a registry export (UTF-16LE); the names and values the
    // journeys look at are ASCII.
    std::string text;
    for (char c : registry_.store().exportFile())
        if (c != '\0') text += c;
    const std::string key = "\"" + name + "\"=";
    for (const std::string& line : lines(text)) {
        if (line.rfind(key, 0) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        return value;
    }
    return "";
}

std::string ProgramOnWin32Desktop::errorLog() const {
    const std::string log = ReadWholeFile(root_ / "Common/error.log");
    static const std::string headerEnd = "########  End of Header  ##########";
    const auto end = log.find(headerEnd);
    if (end == std::string::npos) return log;
    const auto next = log.find('\n', end);
    return next == std::string::npos ? "" : log.substr(next + 1);
}

}  // namespace nocturo::test
