#include "ui/win32/Win32Pictures.h"

#include <objidl.h>
#include <shlwapi.h>
// GDI+'s headers use min and max, which NOMINMAX takes away.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <map>
#include <memory>
#include <mutex>

#include "platform/win32/WinText.h"

namespace nocturo::ui::win32 {

namespace {

using platform::win32::ErrorFromCode;
using platform::win32::LastError;
using platform::win32::Widen;

// GDI+ runs from the first picture to the end of the process: the bitmaps
// are kept for as long.
void startGdiplus() {
    static std::once_flag once;
    std::call_once(once, [] {
        ULONG_PTR token = 0;
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token, &input, nullptr);
    });
}

std::map<std::string, std::unique_ptr<Gdiplus::Bitmap>>& cache() {
    static auto* bitmaps = new std::map<std::string, std::unique_ptr<Gdiplus::Bitmap>>;
    return *bitmaps;
}

// The picture from this program's resources, decoded once; null if unknown.
Gdiplus::Bitmap* bitmapOf(const std::string& name) {
    if (name.empty()) return nullptr;
    auto& bitmaps = cache();
    auto it = bitmaps.find(name);
    if (it != bitmaps.end()) return it->second.get();
    startGdiplus();
    std::unique_ptr<Gdiplus::Bitmap> bitmap;
    HMODULE module = GetModuleHandleW(nullptr);
    if (HRSRC res = FindResourceW(module, Widen(name).c_str(), MAKEINTRESOURCEW(10) /* RT_RCDATA */)) {
        HGLOBAL data = LoadResource(module, res);
        const DWORD size = SizeofResource(module, res);
        const void* bytes = data ? LockResource(data) : nullptr;
        if (bytes && size > 0) {
            if (IStream* stream = SHCreateMemStream(static_cast<const BYTE*>(bytes), size)) {
                bitmap.reset(Gdiplus::Bitmap::FromStream(stream));
                stream->Release();
                if (bitmap && bitmap->GetLastStatus() != Gdiplus::Ok) bitmap.reset();
            }
        }
    }
    Gdiplus::Bitmap* result = bitmap.get();
    bitmaps[name] = std::move(bitmap);  // an unknown name is remembered as such
    return result;
}

// The PNG encoder GDI+ brings.
bool pngEncoder(CLSID& clsid) {
    UINT count = 0, bytes = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return false;
    std::unique_ptr<BYTE[]> buffer(new BYTE[bytes]);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.get());
    if (Gdiplus::GetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i)
        if (codecs[i].MimeType && std::wstring(codecs[i].MimeType) == L"image/png") {
            clsid = codecs[i].Clsid;
            return true;
        }
    return false;
}

}  // namespace

bool PictureKnown(const std::string& name) { return bitmapOf(name) != nullptr; }

bool DrawPicture(HDC dc, const std::string& name, const RECT& into) {
    Gdiplus::Bitmap* bitmap = bitmapOf(name);
    if (!bitmap) return false;
    Gdiplus::Graphics g(dc);
    g.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    g.DrawImage(bitmap, Gdiplus::Rect(into.left, into.top, into.right - into.left, into.bottom - into.top));
    return true;
}

void SaveClientAreaPng(HWND window, const std::string& path) {
    startGdiplus();
    RECT client{};
    if (!GetClientRect(window, &client)) throw LastError("GetClientRect");
    const int width = client.right - client.left, height = client.bottom - client.top;
    if (width <= 0 || height <= 0) throw ErrorFromCode(ERROR_INVALID_WINDOW_HANDLE, "the window has no client area");
    HDC screen = GetDC(window);
    if (!screen) throw LastError("GetDC");
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP picture = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, picture);
    // What is on the screen, children and all; PrintWindow asks each
    // control to paint itself again, which not every control does alike.
    const BOOL copied = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    const DWORD copyError = GetLastError();
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    if (!copied) {
        DeleteObject(picture);
        throw ErrorFromCode(copyError, "BitBlt of the window");
    }
    Gdiplus::Status status = Gdiplus::GenericError;
    {
        Gdiplus::Bitmap bitmap(picture, nullptr);
        CLSID png{};
        if (bitmap.GetLastStatus() == Gdiplus::Ok && pngEncoder(png))
            status = bitmap.Save(Widen(path).c_str(), &png, nullptr);
    }
    DeleteObject(picture);
    if (status != Gdiplus::Ok)
        throw ErrorFromCode(ERROR_WRITE_FAULT, "writing " + path + " (GDI+ status " + std::to_string(status) + ")");
}

}  // namespace nocturo::ui::win32
