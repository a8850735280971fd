#include "platform/posix/X11Keyboard.h"

#include <vector>

#include "platform/IWindows.h"
#include "platform/posix/SharedLibrary.h"

namespace nocturo::platform {

namespace {

// The few Xlib entry points used, with their C signatures; the display is
// opaque to us.
using OpenDisplayFn = void* (*)(const char*);
using CloseDisplayFn = int (*)(void*);
using KeysymToKeycodeFn = unsigned char (*)(void*, unsigned long);
using QueryKeymapFn = int (*)(void*, char*);

// X11 key symbols for a virtual-key code; the key counts as down when any
// of them is.
std::vector<unsigned long> keysymsOf(int virtualKey) {
    switch (virtualKey) {
    case vk::Shift: return {0xffe1, 0xffe2};    // Shift_L, Shift_R
    case vk::Control: return {0xffe3, 0xffe4};  // Control_L, Control_R
    case vk::Menu: return {0xffe9, 0xffea};     // Alt_L, Alt_R
    default: break;
    }
    if (virtualKey >= 'A' && virtualKey <= 'Z') return {static_cast<unsigned long>(virtualKey - 'A' + 'a')};
    if (virtualKey >= '0' && virtualKey <= '9') return {static_cast<unsigned long>(virtualKey)};
    return {};
}

}  // namespace

struct X11Keyboard::Connection {
    SharedLibrary library{"libX11.so.6"};
    void* display = nullptr;
    CloseDisplayFn closeDisplay = library.symbol<CloseDisplayFn>("XCloseDisplay");
    KeysymToKeycodeFn keysymToKeycode = library.symbol<KeysymToKeycodeFn>("XKeysymToKeycode");
    QueryKeymapFn queryKeymap = library.symbol<QueryKeymapFn>("XQueryKeymap");

    ~Connection() {
        if (display && closeDisplay) closeDisplay(display);
    }
};

X11Keyboard::X11Keyboard() = default;
X11Keyboard::~X11Keyboard() = default;

bool X11Keyboard::connected() {
    if (tried_) return connection_ != nullptr;
    tried_ = true;
    auto c = std::make_unique<Connection>();
    auto openDisplay = c->library.symbol<OpenDisplayFn>("XOpenDisplay");
    if (!openDisplay || !c->closeDisplay || !c->keysymToKeycode || !c->queryKeymap) return false;
    c->display = openDisplay(nullptr);  // $DISPLAY; null when there is none
    if (!c->display) return false;
    connection_ = std::move(c);
    return true;
}

bool X11Keyboard::keyDown(int virtualKey) {
    const std::vector<unsigned long> keysyms = keysymsOf(virtualKey);
    if (keysyms.empty() || !connected()) return false;
    char keys[32] = {};
    connection_->queryKeymap(connection_->display, keys);
    for (unsigned long keysym : keysyms) {
        const unsigned code = connection_->keysymToKeycode(connection_->display, keysym);
        if (code == 0) continue;  // not on this keyboard
        if (keys[code / 8] & (1 << (code % 8))) return true;
    }
    return false;
}

}  // namespace nocturo::platform
