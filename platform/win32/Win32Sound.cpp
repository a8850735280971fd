#include "platform/win32/Win32Sound.h"

#include <mmsystem.h>

#include <utility>

#include "platform/win32/WinText.h"

namespace nocturo::platform::win32 {

namespace {

constexpr const wchar_t* kDefaultAlias = L"SystemDefault";

bool EndsWithWav(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return tail == ".wav";
}

}  // namespace

SoundCalls SystemSoundCalls() {
    SoundCalls c;
    c.playSound = [](const wchar_t* sound, DWORD flags) { return PlaySoundW(sound, nullptr, flags); };
    c.messageBeep = [](UINT type) { return MessageBeep(type); };
    c.outputDevices = [] { return waveOutGetNumDevs(); };
    c.fileExists = [](const wchar_t* path) {
        const DWORD attributes = GetFileAttributesW(path);
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    };
    return c;
}

bool IsSoundFileName(const std::string& name) {
    return name.find_first_of("\\/:") != std::string::npos || EndsWithWav(name);
}

Win32Sound::Win32Sound(SoundCalls calls) : calls_(std::move(calls)) {}

Win32Sound::~Win32Sound() {
    if (playing_) calls_.playSound(nullptr, 0);
}

bool Win32Sound::available() { return calls_.outputDevices() > 0; }

bool Win32Sound::play(const std::wstring& sound, DWORD flags) {
    lastResult_ = calls_.playSound(sound.c_str(), flags) != FALSE;
    if (lastResult_ && (flags & SND_ASYNC)) playing_ = true;
    return lastResult_;
}

void Win32Sound::playSound(const std::string& name, int flags) {
    if (name.empty()) {
        // Stopping needs no device.
        lastResult_ = calls_.playSound(nullptr, 0) != FALSE;
        playing_ = false;
        return;
    }
    if (!available()) {  // nothing to play on: PlaySound is not even asked
        lastResult_ = false;
        return;
    }
    const DWORD timing = static_cast<DWORD>(flags) & SND_ASYNC;
    bool asFile = (flags & snd::FileName) != 0;
    if (!asFile && !(flags & snd::Alias)) asFile = IsSoundFileName(name);
    const std::wstring sound = Widen(name);
    if (asFile) {
        if (calls_.fileExists(sound.c_str())) {
            play(sound, SND_FILENAME | SND_NODEFAULT | timing);
            return;
        }
        play(kDefaultAlias, SND_ALIAS | SND_NODEFAULT | timing);
        return;
    }
    if (!play(sound, SND_ALIAS | SND_NODEFAULT | timing) && sound != kDefaultAlias)
        play(kDefaultAlias, SND_ALIAS | SND_NODEFAULT | timing);
}

void Win32Sound::beep() {
    if (!available()) {
        lastResult_ = false;
        return;
    }
    lastResult_ = calls_.messageBeep(MB_OK) != FALSE;
}

}  // namespace nocturo::platform::win32
