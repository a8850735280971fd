#pragma once
// The desktop the windows live on, and the keyboard's state.
#include <set>

namespace nocturo::platform {

// Virtual-key codes of the keys the program asks about (VK_*). Letters and
// digits are their upper-case ASCII codes ('Q' is 0x51).
namespace vk {
inline constexpr int Shift = 0x10, Control = 0x11, Menu = 0x12;
}

class IWindows {
public:
    virtual ~IWindows() = default;
    // The primary screen's size in twips (1440 to the inch).
    virtual int screenWidthTwips() = 0;
    virtual int screenHeightTwips() = 0;
    // Whether the key is held down at this moment, whichever window has the
    // focus (the asynchronous key state). False where the desktop cannot tell.
    virtual bool keyDown(int /*virtualKey*/) { return false; }
    // The busy mouse pointer over the program's windows while on is true.
    virtual void setBusyPointer(bool /*on*/) {}
};

// A screen of a fixed size: 1024 x 768 pixels at 96 dpi unless told
// otherwise, with a keyboard whose keys are held down by holdKey.
class FixedScreen : public IWindows {
public:
    FixedScreen(int widthTwips = 1024 * 15, int heightTwips = 768 * 15) : width_(widthTwips), height_(heightTwips) {}
    int screenWidthTwips() override { return width_; }
    int screenHeightTwips() override { return height_; }
    bool keyDown(int virtualKey) override { return held_.count(virtualKey) != 0; }
    void setBusyPointer(bool on) override { busy_ = on; }
    bool busyPointer() const { return busy_; }

    void holdKey(int virtualKey, bool down = true) {
        if (down) held_.insert(virtualKey);
        else held_.erase(virtualKey);
    }

private:
    int width_, height_;
    std::set<int> held_;
    bool busy_ = false;
};

}  // namespace nocturo::platform
