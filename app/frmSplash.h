#pragma once
// The start-up window: product name, version, the user and how often the
// program has been started, shown for three seconds while a bar fills.
// Start-up sets the splash-wait flag, loads this window and yields until the
// window clears the flag again.
#include <cstdint>

#include "controls/Controls.h"

namespace nocturo {

// A progress bar holding a value from min() to max().
class ProgressBar : public Control {
public:
    using Control::Control;
    int min() const { return 0; }
    int max() const { return 100; }
    int value() const { return value_; }
    // A value outside min()..max() is a failure (error 380 "Invalid property value").
    void setValue(int v);

private:
    int value_ = 0;
};

class frmSplash : public Form {
public:
    static constexpr int TwipsPerPixel = 15;
    static constexpr int DefaultScreenWidth = 1024 * TwipsPerPixel;
    static constexpr int DefaultScreenHeight = 768 * TwipsPerPixel;
    static constexpr int FormWidth = 6000, FormHeight = 3600;
    static constexpr std::int64_t ShowMs = 3000;
    static constexpr std::int32_t MaxUseCounter = 2147483647;

    explicit frmSplash(int screenWidthTwips = DefaultScreenWidth, int screenHeightTwips = DefaultScreenHeight);

    // The screen the window is centred on, in twips.
    int screenWidth;
    int screenHeight;

    // ---- controls -------------------------------------------------------
    Image imgLogo{this, "imgLogo"};
    Label lblTitleShadow{this, "lblTitleShadow"};  // drawn first, offset: the title's shadow
    Label lblTitle{this, "lblTitle"};
    Label lblVersionShadow{this, "lblVersionShadow"};
    Label lblVersion{this, "lblVersion"};
    Label lblUserHeader{this, "lblUserHeader"};
    Label lblUserID{this, "lblUserID"};
    Label lblUseCounterHeader{this, "lblUseCounterHeader"};
    Label lblUseCounter{this, "lblUseCounter"};
    ProgressBar ProgressBar1{this, "ProgressBar1"};

    // Fills and shows the window, counts this start, and returns once three
    // seconds have passed on the monotonic clock, yielding all the while;
    // then clears the splash-wait flag.
    void Form_Load();
    void Form_Unload();

    std::int32_t useCounter() const { return useCounter_; }
    // The monotonic clock's reading when the window was shown.
    std::int64_t shownAt() const { return shownAt_; }

    // The bar's value after `elapsed` milliseconds of the show.
    static int Progress(std::int64_t elapsedMs);

private:
    std::int32_t useCounter_ = 0;
    std::int64_t shownAt_ = 0;
};

}  // namespace nocturo
