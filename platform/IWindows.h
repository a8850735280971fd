#pragma once
// The desktop the windows live on.
namespace nocturo::platform {

class IWindows {
public:
    virtual ~IWindows() = default;
    // The primary screen's size in twips (1440 to the inch).
    virtual int screenWidthTwips() = 0;
    virtual int screenHeightTwips() = 0;
};

// A screen of a fixed size: 1024 x 768 pixels at 96 dpi unless told otherwise.
class FixedScreen : public IWindows {
public:
    FixedScreen(int widthTwips = 1024 * 15, int heightTwips = 768 * 15) : width_(widthTwips), height_(heightTwips) {}
    int screenWidthTwips() override { return width_; }
    int screenHeightTwips() override { return height_; }

private:
    int width_, height_;
};

}  // namespace nocturo::platform
