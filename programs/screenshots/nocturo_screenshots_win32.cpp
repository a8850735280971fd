// nocturo_screenshots (Windows): draws every native window of the program in
// each of its states on the simulated machine and writes one PNG per window
// and state into the folder given (default "screenshots"). Exits 1 when a
// window has a control that sticks out, overlaps another or cuts its text
// off, 2 when it cannot start.
#include <windows.h>

#include <iostream>
#include <string>

#include "platform/Error.h"
#include "platform/win32/WinText.h"
#include "support/SimWorld.h"
#include "ui/Scenes.h"
#include "ui/win32/Win32FormView.h"
#include "ui/win32/Win32LayoutCheck.h"
#include "ui/win32/Win32Pictures.h"
#include "ui/win32/Win32Scenes.h"

int main(int argc, char** argv) {
    using namespace nocturo;
    const std::string folder = argc > 1 ? argv[1] : "screenshots";
    ui::win32::EnableDpiAwareness();
    if (!ui::win32::DesktopAvailable()) {
        std::cerr << "nocturo_screenshots: no desktop to draw the windows on\n";
        return 2;
    }
    CreateDirectoryW(platform::win32::Widen(folder).c_str(), nullptr);
    const DWORD attributes = GetFileAttributesW(platform::win32::Widen(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        std::cerr << "nocturo_screenshots: cannot create " << folder << "\n";
        return 2;
    }

    int problems = 0;
    for (const std::string& scene : ui::SceneNames()) {
        // A fresh simulated machine for every scene: the pictures show a new
        // installation and nothing on this machine changes.
        test::SimWorld world;
        const bool shown = ui::win32::ShowScene(scene, [&](ui::win32::Win32FormView& view) {
            const std::string file = folder + "\\" + scene + ".png";
            try {
                ui::win32::SaveClientAreaPng(view.hwnd(), file);
                std::cout << file << "\n";
            } catch (const platform::Error& e) {
                std::cerr << "nocturo_screenshots: " << e.what() << "\n";
                ++problems;
            }
            for (const std::string& p : ui::win32::LayoutProblems(view)) {
                std::cerr << scene << ": " << p << "\n";
                ++problems;
            }
        });
        if (!shown) {
            std::cerr << "nocturo_screenshots: could not show " << scene << "\n";
            ++problems;
        }
    }
    return problems == 0 ? 0 : 1;
}
