#include "FakeInput.h"

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
using GrabKeyboardFn = int (*)(void*, unsigned long, int, int, int, unsigned long);
using UngrabKeyboardFn = int (*)(void*, unsigned long);
using GrabPointerFn = int (*)(void*, unsigned long, int, unsigned, int, int, unsigned long, unsigned long,
                              unsigned long);
using UngrabPointerFn = int (*)(void*, unsigned long);
using WindowFn = int (*)(void*, unsigned long);
constexpr int kGrabSuccess = 0, kGrabModeAsync = 1;
}  // namespace

FakeInput::FakeInput() {
    if (!x11_.loaded() || !xtst_.loaded()) {
        why_ = "libX11 or libXtst is missing";
        return;
    }
    display_ = x11_.symbol<OpenDisplayFn>("XOpenDisplay")(nullptr);
    if (!display_) why_ = "no X display";
}

FakeInput::~FakeInput() {
    if (display_) x11_.symbol<CloseDisplayFn>("XCloseDisplay")(display_);
}

void FakeInput::sync() { x11_.symbol<SyncFn>("XSync")(display_, 0); }

void FakeInput::key(unsigned long keysym, bool down) {
    const unsigned code = x11_.symbol<KeysymToKeycodeFn>("XKeysymToKeycode")(display_, keysym);
    xtst_.symbol<FakeKeyFn>("XTestFakeKeyEvent")(display_, code, down ? 1 : 0, 0);
    sync();
}

void FakeInput::moveTo(int x, int y) {
    xtst_.symbol<FakeMotionFn>("XTestFakeMotionEvent")(display_, -1, x, y, 0);
    sync();
}

void FakeInput::button(int number, bool down) {
    xtst_.symbol<FakeButtonFn>("XTestFakeButtonEvent")(display_, static_cast<unsigned>(number), down ? 1 : 0, 0);
    sync();
}

bool FakeInput::toScreen(unsigned long window, int x, int y, int& screenX, int& screenY) {
    const unsigned long root = x11_.symbol<DefaultRootFn>("XDefaultRootWindow")(display_);
    unsigned long child = 0;
    return x11_.symbol<TranslateFn>("XTranslateCoordinates")(display_, window, root, x, y, &screenX, &screenY,
                                                               &child) != 0;
}

bool FakeInput::keyboardHeldElsewhere() {
    const unsigned long root = x11_.symbol<DefaultRootFn>("XDefaultRootWindow")(display_);
    const int got = x11_.symbol<GrabKeyboardFn>("XGrabKeyboard")(display_, root, 0, kGrabModeAsync, kGrabModeAsync, 0);
    if (got == kGrabSuccess) x11_.symbol<UngrabKeyboardFn>("XUngrabKeyboard")(display_, 0);
    sync();
    return got != kGrabSuccess;
}

bool FakeInput::pointerHeldElsewhere() {
    const unsigned long root = x11_.symbol<DefaultRootFn>("XDefaultRootWindow")(display_);
    const int got =
        x11_.symbol<GrabPointerFn>("XGrabPointer")(display_, root, 0, 0, kGrabModeAsync, kGrabModeAsync, 0, 0, 0);
    if (got == kGrabSuccess) x11_.symbol<UngrabPointerFn>("XUngrabPointer")(display_, 0);
    sync();
    return got != kGrabSuccess;
}

bool FakeInput::holdKeyboard(bool hold) {
    if (!hold) {
        x11_.symbol<UngrabKeyboardFn>("XUngrabKeyboard")(display_, 0);
        sync();
        return true;
    }
    const unsigned long root = x11_.symbol<DefaultRootFn>("XDefaultRootWindow")(display_);
    const int got = x11_.symbol<GrabKeyboardFn>("XGrabKeyboard")(display_, root, 0, kGrabModeAsync, kGrabModeAsync, 0);
    sync();
    return got == kGrabSuccess;
}

void FakeInput::unmap(unsigned long window) {
    x11_.symbol<WindowFn>("XUnmapWindow")(display_, window);
    sync();
}

void FakeInput::map(unsigned long window) {
    x11_.symbol<WindowFn>("XMapRaised")(display_, window);
    sync();
}

}  // namespace nocturo::test
