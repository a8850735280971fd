#include "platform/posix/X11Desktop.h"

#include <cstdlib>
#include <vector>

#include "platform/posix/SharedLibrary.h"

namespace nocturo::platform {

namespace {

// Xlib's types as the ABI has them: the display and events are opaque to
// us, windows and atoms are XIDs.
using XID = unsigned long;
using Display = void;

using OpenDisplayFn = Display* (*)(const char*);
using CloseDisplayFn = int (*)(Display*);
using DefaultRootWindowFn = XID (*)(Display*);
using InternAtomFn = XID (*)(Display*, const char*, int);
using GetWindowPropertyFn = int (*)(Display*, XID, XID, long, long, int, XID, XID*, int*, unsigned long*,
                                    unsigned long*, unsigned char**);
using QueryTreeFn = int (*)(Display*, XID, XID*, XID*, XID**, unsigned*);
using FreeFn = int (*)(void*);
using WindowFn = int (*)(Display*, XID);  // XUnmapWindow, XMapRaised
using SyncFn = int (*)(Display*, int);
using ErrorHandler = int (*)(Display*, void*);
using SetErrorHandlerFn = ErrorHandler (*)(ErrorHandler);
using IOErrorExitHandler = void (*)(Display*, void*);
using SetIOErrorExitHandlerFn = void (*)(Display*, IOErrorExitHandler, void*);

// XScreenSaverInfo of libXss.
struct ScreenSaverInfo {
    XID window;
    int state;
    int kind;
    unsigned long tilOrSince;
    unsigned long idle;  // milliseconds
    unsigned long eventMask;
};
using SsQueryExtensionFn = int (*)(Display*, int*, int*);
using SsAllocInfoFn = ScreenSaverInfo* (*)();
using SsQueryInfoFn = int (*)(Display*, XID, ScreenSaverInfo*);

constexpr XID kAnyPropertyType = 0;
constexpr XID kWmName = 39;  // XA_WM_NAME, predefined
constexpr XID kWindowType = 33;  // XA_WINDOW
constexpr int kSuccess = 0;

// A window may go away between listing it and asking about it; Xlib's
// default answer to that BadWindow is to end the process.
int IgnoreError(Display*, void*) { return 0; }

// The Xlib and libXss entry points used.
struct XlibFunctions {
    SharedLibrary library{"libX11.so.6"};
    OpenDisplayFn openDisplay = library.symbol<OpenDisplayFn>("XOpenDisplay");
    CloseDisplayFn closeDisplay = library.symbol<CloseDisplayFn>("XCloseDisplay");
    DefaultRootWindowFn defaultRootWindow = library.symbol<DefaultRootWindowFn>("XDefaultRootWindow");
    InternAtomFn internAtom = library.symbol<InternAtomFn>("XInternAtom");
    GetWindowPropertyFn getWindowProperty = library.symbol<GetWindowPropertyFn>("XGetWindowProperty");
    QueryTreeFn queryTree = library.symbol<QueryTreeFn>("XQueryTree");
    FreeFn free = library.symbol<FreeFn>("XFree");
    WindowFn unmapWindow = library.symbol<WindowFn>("XUnmapWindow");
    WindowFn mapRaised = library.symbol<WindowFn>("XMapRaised");
    SyncFn sync = library.symbol<SyncFn>("XSync");
    SetErrorHandlerFn setErrorHandler = library.symbol<SetErrorHandlerFn>("XSetErrorHandler");
    SetIOErrorExitHandlerFn setIOErrorExitHandler =
        library.symbol<SetIOErrorExitHandlerFn>("XSetIOErrorExitHandler");  // libX11 1.8 and later

    // The screen saver extension, loaded with the first idle query.
    std::unique_ptr<SharedLibrary> xss;
    bool xssTried = false;
    SsQueryExtensionFn ssQueryExtension = nullptr;
    SsAllocInfoFn ssAllocInfo = nullptr;
    SsQueryInfoFn ssQueryInfo = nullptr;

    bool complete() const {
        return openDisplay && closeDisplay && defaultRootWindow && internAtom && getWindowProperty && queryTree &&
               free && unmapWindow && mapRaised && sync && setErrorHandler;
    }

    bool loadXss() {
        if (!xssTried) {
            xssTried = true;
            xss = std::make_unique<SharedLibrary>("libXss.so.1");
            ssQueryExtension = xss->symbol<SsQueryExtensionFn>("XScreenSaverQueryExtension");
            ssAllocInfo = xss->symbol<SsAllocInfoFn>("XScreenSaverAllocInfo");
            ssQueryInfo = xss->symbol<SsQueryInfoFn>("XScreenSaverQueryInfo");
        }
        return ssQueryExtension && ssAllocInfo && ssQueryInfo;
    }
};

// One call's connection to the display, with errors kept from ending the
// process while it is open.
class Session {
public:
    explicit Session(XlibFunctions& x) : x_(x) {
        display_ = x_.openDisplay(nullptr);  // $DISPLAY
        if (!display_) return;
        if (x_.setIOErrorExitHandler) x_.setIOErrorExitHandler(display_, &Session::onLost, this);
        previous_ = x_.setErrorHandler(&IgnoreError);
        root_ = x_.defaultRootWindow(display_);
        utf8String_ = x_.internAtom(display_, "UTF8_STRING", 0);
        netWmName_ = x_.internAtom(display_, "_NET_WM_NAME", 0);
    }
    ~Session() {
        if (!display_) return;
        // A lost display is left as it is: closing it would only meet the
        // dead connection again.
        if (!lost_) {
            x_.sync(display_, 0);
            x_.closeDisplay(display_);
        }
        x_.setErrorHandler(previous_);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool open() const { return display_ != nullptr && !lost_; }
    Display* display() const { return display_; }
    XID root() const { return root_; }

    // The first window with this title; 0 when there is none.
    XID find(const std::string& title) {
        if (title.empty()) return 0;  // a window without a title is no match
        for (XID w : clientList())
            if (titleOf(w) == title) return w;
        if (lost_) return 0;
        for (XID w : rootChildren())
            if (titleOf(w) == title) return w;
        return 0;
    }

private:
    static void onLost(Display*, void* self) { static_cast<Session*>(self)->lost_ = true; }

    // A property's bytes, or nullopt when the window has no such property
    // of that type (or no longer exists).
    std::optional<std::string> property(XID window, XID name, XID type, int format) {
        XID actualType = 0;
        int actualFormat = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        const int r = x_.getWindowProperty(display_, window, name, 0, 1L << 20, 0, type, &actualType, &actualFormat,
                                           &items, &after, &data);
        std::optional<std::string> result;
        if (r == kSuccess && !lost_ && data && actualFormat == format && (type == kAnyPropertyType || actualType == type)) {
            // 32-bit items come as longs.
            const std::size_t size = format == 32 ? items * sizeof(long) : items * static_cast<std::size_t>(format / 8);
            result = std::string(reinterpret_cast<const char*>(data), size);
        }
        if (data) x_.free(data);
        return result;
    }

    std::string titleOf(XID window) {
        if (lost_) return {};
        if (auto name = property(window, netWmName_, utf8String_, 8)) return *name;
        if (auto name = property(window, kWmName, kAnyPropertyType, 8)) return *name;
        return {};
    }

    std::vector<XID> clientList() {
        std::vector<XID> windows;
        const XID atom = x_.internAtom(display_, "_NET_CLIENT_LIST", 1);
        if (atom == 0 || lost_) return windows;  // no window manager ever set it
        if (auto data = property(root_, atom, kWindowType, 32)) {
            windows.resize(data->size() / sizeof(long));
            for (std::size_t i = 0; i < windows.size(); ++i) {
                unsigned long id = 0;
                data->copy(reinterpret_cast<char*>(&id), sizeof id, i * sizeof(long));
                windows[i] = id;
            }
        }
        return windows;
    }

    std::vector<XID> rootChildren() {
        std::vector<XID> windows;
        XID root = 0, parent = 0;
        XID* children = nullptr;
        unsigned count = 0;
        if (x_.queryTree(display_, root_, &root, &parent, &children, &count) && children && !lost_)
            windows.assign(children, children + count);
        if (children) x_.free(children);
        return windows;
    }

    XlibFunctions& x_;
    Display* display_ = nullptr;
    XID root_ = 0;
    XID utf8String_ = 0, netWmName_ = 0;
    ErrorHandler previous_ = nullptr;
    bool lost_ = false;
};

bool HaveDisplay() {
    const char* display = std::getenv("DISPLAY");
    return display && *display;
}

}  // namespace

struct X11Desktop::Xlib : XlibFunctions {};

X11Desktop::X11Desktop() = default;
X11Desktop::~X11Desktop() = default;

X11Desktop::Xlib* X11Desktop::xlib() {
    if (!tried_) {
        tried_ = true;
        auto x = std::make_unique<Xlib>();
        if (x->complete()) xlib_ = std::move(x);
    }
    return xlib_.get();
}

bool X11Desktop::findWindow(const std::string& title) {
    if (!HaveDisplay() || !xlib()) return false;
    Session session(*xlib_);
    return session.open() && session.find(title) != 0;
}

bool X11Desktop::showWindow(const std::string& title, bool show) {
    if (!HaveDisplay() || !xlib()) return false;
    Session session(*xlib_);
    if (!session.open()) return false;
    const XID window = session.find(title);
    if (window == 0) return false;
    if (show)
        xlib_->mapRaised(session.display(), window);
    else
        xlib_->unmapWindow(session.display(), window);
    return session.open();  // the requests reach the server when the session closes
}

std::optional<std::int64_t> X11Desktop::idleMilliseconds() {
    if (!HaveDisplay() || !xlib() || !xlib_->loadXss()) return std::nullopt;
    Session session(*xlib_);
    if (!session.open()) return std::nullopt;
    int eventBase = 0, errorBase = 0;
    if (!xlib_->ssQueryExtension(session.display(), &eventBase, &errorBase)) return std::nullopt;
    ScreenSaverInfo* info = xlib_->ssAllocInfo();
    if (!info) return std::nullopt;
    std::optional<std::int64_t> idle;
    if (xlib_->ssQueryInfo(session.display(), session.root(), info) && session.open())
        idle = static_cast<std::int64_t>(info->idle);
    xlib_->free(info);
    return idle;
}

}  // namespace nocturo::platform
