#include "support/X11TestClient.h"

#include "platform/posix/SharedLibrary.h"

#if __has_include(<X11/Xlib.h>)
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#define NOCTURO_TEST_X11_HEADERS 1
#endif

namespace nocturo::test {

#if NOCTURO_TEST_X11_HEADERS

struct X11TestClient::Xlib {
    platform::SharedLibrary library{"libX11.so.6"};
    template <class F>
    F* fn(const char* name) {
        return library.symbol<F*>(name);
    }
    decltype(&XOpenDisplay) openDisplay = fn<decltype(XOpenDisplay)>("XOpenDisplay");
    decltype(&XCloseDisplay) closeDisplay = fn<decltype(XCloseDisplay)>("XCloseDisplay");
    decltype(&XDefaultRootWindow) defaultRootWindow = fn<decltype(XDefaultRootWindow)>("XDefaultRootWindow");
    decltype(&XCreateSimpleWindow) createSimpleWindow = fn<decltype(XCreateSimpleWindow)>("XCreateSimpleWindow");
    decltype(&XStoreName) storeName = fn<decltype(XStoreName)>("XStoreName");
    decltype(&XInternAtom) internAtom = fn<decltype(XInternAtom)>("XInternAtom");
    decltype(&XChangeProperty) changeProperty = fn<decltype(XChangeProperty)>("XChangeProperty");
    decltype(&XMapWindow) mapWindow = fn<decltype(XMapWindow)>("XMapWindow");
    decltype(&XSync) sync = fn<decltype(XSync)>("XSync");
    decltype(&XGetWindowAttributes) getWindowAttributes = fn<decltype(XGetWindowAttributes)>("XGetWindowAttributes");
    Display* display = nullptr;

    bool complete() const {
        return openDisplay && closeDisplay && defaultRootWindow && createSimpleWindow && storeName && internAtom &&
               changeProperty && mapWindow && sync && getWindowAttributes;
    }
};

X11TestClient::X11TestClient(const std::string& display) : x_(std::make_unique<Xlib>()) {
    if (x_->complete()) x_->display = x_->openDisplay(display.c_str());
}

X11TestClient::~X11TestClient() {
    if (x_->display) x_->closeDisplay(x_->display);
}

bool X11TestClient::connected() const { return x_->display != nullptr; }

unsigned long X11TestClient::createWindow(const std::string& wmName, const std::string& netWmName,
                                          unsigned long parent) {
    Display* d = x_->display;
    const Window root = x_->defaultRootWindow(d);
    const Window w = x_->createSimpleWindow(d, parent ? parent : root, 10, 10, 120, 80, 0, 0, 0);
    if (!wmName.empty()) x_->storeName(d, w, wmName.c_str());
    if (!netWmName.empty())
        x_->changeProperty(d, w, x_->internAtom(d, "_NET_WM_NAME", False), x_->internAtom(d, "UTF8_STRING", False), 8,
                           PropModeReplace, reinterpret_cast<const unsigned char*>(netWmName.data()),
                           static_cast<int>(netWmName.size()));
    x_->mapWindow(d, w);
    x_->sync(d, False);
    return w;
}

void X11TestClient::setClientList(const std::vector<unsigned long>& windows) {
    Display* d = x_->display;
    std::vector<long> ids(windows.begin(), windows.end());  // format 32 goes as longs
    x_->changeProperty(d, x_->defaultRootWindow(d), x_->internAtom(d, "_NET_CLIENT_LIST", False), XA_WINDOW, 32,
                       PropModeReplace, reinterpret_cast<const unsigned char*>(ids.data()),
                       static_cast<int>(ids.size()));
    x_->sync(d, False);
}

bool X11TestClient::mapped(unsigned long window) {
    XWindowAttributes attributes{};
    if (!x_->getWindowAttributes(x_->display, window, &attributes)) return false;
    return attributes.map_state != IsUnmapped;
}

#else  // no X11 headers where the tests were built

struct X11TestClient::Xlib {};
X11TestClient::X11TestClient(const std::string&) {}
X11TestClient::~X11TestClient() = default;
bool X11TestClient::connected() const { return false; }
unsigned long X11TestClient::createWindow(const std::string&, const std::string&, unsigned long) { return 0; }
void X11TestClient::setClientList(const std::vector<unsigned long>&) {}
bool X11TestClient::mapped(unsigned long) { return false; }

#endif

}  // namespace nocturo::test
