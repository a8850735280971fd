#pragma once
// The program's pictures (ui/pictures/png, compiled in as RCDATA resources
// by nocturo_pictures.rc) drawn with GDI+, and windows written out as PNG
// files.
#include <windows.h>

#include <string>

namespace nocturo::ui::win32 {

// Whether the picture is one of the program's own ("digit3", "clock").
bool PictureKnown(const std::string& name);
// Draws the picture scaled into the rectangle; false for an unknown one.
bool DrawPicture(HDC dc, const std::string& name, const RECT& into);

// The window's client area as it is on the screen, written as a PNG file.
// Throws platform::Error when it cannot be read or written.
void SaveClientAreaPng(HWND window, const std::string& path);

}  // namespace nocturo::ui::win32
