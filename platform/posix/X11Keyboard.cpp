#include "platform/posix/X11Keyboard.h"

#include <poll.h>
#include <sys/socket.h>

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
using ConnectionNumberFn = int (*)(void*);
using IOErrorExitHandler = void (*)(void*, void*);
using SetIOErrorExitHandlerFn = void (*)(void*, IOErrorExitHandler, void*);

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
    int socket = -1;
    bool lost = false;  // the X server went away
    CloseDisplayFn closeDisplay = library.symbol<CloseDisplayFn>("XCloseDisplay");
    KeysymToKeycodeFn keysymToKeycode = library.symbol<KeysymToKeycodeFn>("XKeysymToKeycode");
    QueryKeymapFn queryKeymap = library.symbol<QueryKeymapFn>("XQueryKeymap");

    ~Connection() {
        // A lost display is left as it is: closing it would only meet the
        // dead connection again.
        if (display && closeDisplay && !lost) closeDisplay(display);
    }

    // Xlib ends the process when its connection breaks, unless told
    // otherwise (libX11 1.8 and later): this only notes the loss.
    static void onLost(void*, void* self) { static_cast<Connection*>(self)->lost = true; }

    // Whether the server is still there, without reading anything that
    // Xlib would want: a closed socket reads as end of file.
    bool alive() {
        if (lost) return false;
        pollfd p{socket, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0) {
            char byte;
            if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) ||
                ((p.revents & POLLIN) && ::recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0))
                lost = true;
        }
        return !lost;
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
    auto connectionNumber = c->library.symbol<ConnectionNumberFn>("XConnectionNumber");
    if (!connectionNumber) return false;
    c->display = openDisplay(nullptr);  // $DISPLAY; null when there is none
    if (!c->display) return false;
    c->socket = connectionNumber(c->display);
    if (auto setExitHandler = c->library.symbol<SetIOErrorExitHandlerFn>("XSetIOErrorExitHandler"))
        setExitHandler(c->display, &Connection::onLost, c.get());
    connection_ = std::move(c);
    return true;
}

bool X11Keyboard::keyDown(int virtualKey) {
    const std::vector<unsigned long> keysyms = keysymsOf(virtualKey);
    if (keysyms.empty() || !connected()) return false;
    if (!connection_->alive()) {
        // The desktop is gone; a later call may find a new one.
        connection_.reset();
        tried_ = false;
        return false;
    }
    char keys[32] = {};
    connection_->queryKeymap(connection_->display, keys);
    if (connection_->lost) return false;
    for (unsigned long keysym : keysyms) {
        const unsigned code = connection_->keysymToKeycode(connection_->display, keysym);
        if (code == 0) continue;  // not on this keyboard
        if (keys[code / 8] & (1 << (code % 8))) return true;
    }
    return false;
}

}  // namespace nocturo::platform
