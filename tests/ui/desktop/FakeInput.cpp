#include "FakeInput.h"

#include <dlfcn.h>

namespace nocturo::test {

namespace {
using OpenDisplayFn = void* (*)(const char*);
using CloseDisplayFn = int (*)(void*);
using KeysymToKeycodeFn = unsigned char (*)(void*, unsigned long);
using SyncFn = int (*)(void*, int);
using FakeKeyFn = int (*)(void*, unsigned, int, unsigned long);
using FakeButtonFn = int (*)(void*, unsigned, int, unsigned long);
using DefaultRootFn = unsigned long (*)(void*);
using TranslateFn = int (*)(void*, unsigned long, unsigned long, int, int, int*, int*, unsigned long*);
using FakeMotionFn = int (*)(void*, int, int, int, unsigned long);

template <class F>
F symbol(void* library, const char* name) {
    return reinterpret_cast<F>(dlsym(library, name));
}
}  // namespace

FakeInput::FakeInput() {
    x11_ = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    xtst_ = dlopen("libXtst.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!x11_ || !xtst_) {
        why_ = "libX11 or libXtst is missing";
        return;
    }
    display_ = symbol<OpenDisplayFn>(x11_, "XOpenDisplay")(nullptr);
    if (!display_) why_ = "no X display";
}

FakeInput::~FakeInput() {
    if (display_) symbol<CloseDisplayFn>(x11_, "XCloseDisplay")(display_);
    if (xtst_) dlclose(xtst_);
    if (x11_) dlclose(x11_);
}

void FakeInput::sync() { symbol<SyncFn>(x11_, "XSync")(display_, 0); }

void FakeInput::key(unsigned long keysym, bool down) {
    const unsigned code = symbol<KeysymToKeycodeFn>(x11_, "XKeysymToKeycode")(display_, keysym);
    symbol<FakeKeyFn>(xtst_, "XTestFakeKeyEvent")(display_, code, down ? 1 : 0, 0);
    sync();
}

void FakeInput::moveTo(int x, int y) {
    symbol<FakeMotionFn>(xtst_, "XTestFakeMotionEvent")(display_, -1, x, y, 0);
    sync();
}

void FakeInput::button(int number, bool down) {
    symbol<FakeButtonFn>(xtst_, "XTestFakeButtonEvent")(display_, static_cast<unsigned>(number), down ? 1 : 0, 0);
    sync();
}

bool FakeInput::toScreen(unsigned long window, int x, int y, int& screenX, int& screenY) {
    const unsigned long root = symbol<DefaultRootFn>(x11_, "XDefaultRootWindow")(display_);
    unsigned long child = 0;
    return symbol<TranslateFn>(x11_, "XTranslateCoordinates")(display_, window, root, x, y, &screenX, &screenY,
                                                               &child) != 0;
}

}  // namespace nocturo::test
