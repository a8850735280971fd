// The pictures compiled into the program, and windows written as PNG files.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

#include "platform/Error.h"
#include "ui/win32/Win32FormView.h"
#include "ui/win32/Win32Pictures.h"

using namespace nocturo::ui::win32;

namespace {

std::string tempFolder() {
    wchar_t buffer[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, buffer);
    std::wstring w(buffer);
    return std::string(w.begin(), w.end());
}

}  // namespace

TEST(Win32Pictures, EveryPictureOfTheProgramIsThereAndNoOther) {
    for (const char* name : {"digit0", "digit9", "clock", "idle", "nocturo", "stop", "minimize", "home", "arrowUp",
                             "arrowDown", "systray", "sysinfo"})
        EXPECT_TRUE(PictureKnown(name)) << name;
    for (const char* name : {"", "digit10", "../nocturo", "nocturo.png", "a\\b"}) EXPECT_FALSE(PictureKnown(name)) << name;
}

TEST(Win32Pictures, APictureIsDrawnScaledIntoItsRectangle) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 64, 64);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all{0, 0, 64, 64};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    EXPECT_FALSE(DrawPicture(dc, "unknown", {0, 0, 32, 32}));
    EXPECT_EQ(GetPixel(dc, 16, 16), RGB(255, 255, 255));
    // The stop sign is a red octagon; only the top left quarter is drawn on.
    ASSERT_TRUE(DrawPicture(dc, "stop", {0, 0, 32, 32}));
    int red = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const COLORREF c = GetPixel(dc, x, y);
            if (GetRValue(c) > 150 && GetGValue(c) < 100 && GetBValue(c) < 100) ++red;
        }
    EXPECT_GT(red, 32 * 32 / 3);
    EXPECT_EQ(GetPixel(dc, 40, 40), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 48, 48), RGB(255, 255, 255));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

TEST(Win32Pictures, AWindowIsWrittenAsAPngFileOrFailsWithTheReason) {
    EXPECT_THROW(SaveClientAreaPng(nullptr, tempFolder() + "none.png"), nocturo::platform::Error);
    if (!DesktopAvailable()) GTEST_SKIP() << "no desktop to make windows on";
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 10, 10, 40, 30, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    const std::string file = tempFolder() + "nocturo-window-" + std::to_string(GetCurrentProcessId()) + ".png";
    SaveClientAreaPng(window, file);
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    ASSERT_GT(bytes.size(), 8u);
    EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    DeleteFileA(file.c_str());
    // A folder that is not there.
    EXPECT_THROW(SaveClientAreaPng(window, tempFolder() + "no-such-folder-4711\\x.png"), nocturo::platform::Error);
    DestroyWindow(window);
}
