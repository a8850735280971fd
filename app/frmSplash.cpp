#include "app/frmSplash.h"

#include <algorithm>
#include <string>

#include "base/Runtime.h"
#include "base/Variant.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_Registry.h"
#include "base/Version.h"
#include "platform/Error.h"

namespace nocturo {

namespace {
constexpr const char* kLoadProc = "Form_Load of Formular frmSplash";
constexpr const char* kUnloadProc = "Form_Unload of Formular frmSplash";
}  // namespace

void ProgressBar::setValue(int v) {
    if (v < min() || v > max()) throw platform::Error(380, "Invalid property value");
    set(value_, v);
}

frmSplash::frmSplash(int screenWidthTwips, int screenHeightTwips)
    : Form("frmSplash"), screenWidth(screenWidthTwips), screenHeight(screenHeightTwips) {
    setCaption(version::ProductName);
    setWidth(FormWidth);
    setHeight(FormHeight);

    imgLogo.setPicture("nocturo");
    imgLogo.setGeometry(240, 240, 1200, 1200);
    lblTitleShadow.setGeometry(1590, 270, 4200, 495);
    lblTitle.setGeometry(1560, 240, 4200, 495);
    lblVersionShadow.setGeometry(1590, 870, 4200, 315);
    lblVersion.setGeometry(1560, 840, 4200, 315);
    lblTitleShadow.setFontSize(18);
    lblTitle.setFontSize(18);
    lblVersionShadow.setFontSize(10);
    lblVersion.setFontSize(10);
    lblTitleShadow.setForeColor(0xC0C0C0);
    lblVersionShadow.setForeColor(0xC0C0C0);
    lblTitle.setForeColor(0x6B2B1D);
    lblUserHeader.setCaption("User:");
    lblUserHeader.setGeometry(1560, 1680, 1440, 255);
    lblUserID.setGeometry(3060, 1680, 2700, 255);
    lblUseCounterHeader.setCaption("Started:");
    lblUseCounterHeader.setGeometry(1560, 2040, 1440, 255);
    lblUseCounter.setGeometry(3060, 2040, 2700, 255);
    ProgressBar1.setGeometry(240, 3000, FormWidth - 480, 255);
}

int frmSplash::Progress(std::int64_t elapsedMs) {
    const std::int64_t p = std::clamp<std::int64_t>(elapsedMs, 0, ShowMs) * 100 / ShowMs;
    return static_cast<int>(p);
}

void frmSplash::Form_Load() {
    Step(kLoadProc, 1, [&] {
        setLoaded(true);
        setLeft((screenWidth - width()) / 2);
        setTop((screenHeight - height()) / 2);
    });
    Step(kLoadProc, 2, [&] { lblUserID.setCaption(rt().userId); });

    // How often the program has been started, held at the largest value it can store.
    Step(kLoadProc, 3, [&] { useCounter_ = CLng(ReadSetting(UserApp(), kSettings, "UseCounter", std::int32_t{0})); });
    Step(kLoadProc, 4, [&] {
        if (useCounter_ != MaxUseCounter) ++useCounter_;
    });
    // Written here rather than through WriteSetting, which reports its own
    // failures: a count that cannot be stored is logged under this window's
    // name, followed by the count.
    if (!Step(kLoadProc, 5, [&] {
            registry().writeDword(SettingPath(UserApp(), kSettings, "UseCounter"),
                                  static_cast<std::uint32_t>(useCounter_));
        }))
        WriteErrorArgs({useCounter_});
    Step(kLoadProc, 6, [&] { lblUseCounter.setCaption(std::to_string(useCounter_) + " times"); });

    Step(kLoadProc, 7, [&] {
        const std::string v = "v. " + std::to_string(version::Major) + "." + std::to_string(version::Minor) + "." +
                              std::to_string(version::Revision);
        lblVersion.setCaption(v);
        lblVersionShadow.setCaption(v);
        lblTitle.setCaption(version::ProductName);
        lblTitleShadow.setCaption(version::ProductName);
    });

    Step(kLoadProc, 8, [&] {
        shownAt_ = clock().monotonicMs();
        ProgressBar1.setValue(0);
        setVisible(true);
        DoEvents();
        notifyChanged("");  // repaint the whole window before the wait
    });

    // The wait counts elapsed time on the monotonic clock, so neither
    // midnight nor a change of the wall clock shortens or stretches it.
    Step(kLoadProc, 9, [&] {
        for (;;) {
            const std::int64_t elapsed = clock().monotonicMs() - shownAt_;
            ProgressBar1.setValue(Progress(elapsed));
            if (elapsed >= ShowMs) break;
            WaitEvents();
        }
    });
    Step(kLoadProc, 10, [&] { rt().splashWait = false; });
}

void frmSplash::Form_Unload() {
    Step(kUnloadProc, 1, [&] {
        setVisible(false);
        setLoaded(false);
    });
}

}  // namespace nocturo
