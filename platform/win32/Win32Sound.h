#pragma once
// Sound on Windows through PlaySoundW. The program hands over a wave file's
// path (the sound scheme resolved already) or a sound-scheme alias; every
// call goes through a table of functions, SoundCalls, so the tests see the
// flags without a sound device.
#include <windows.h>

#include <functional>
#include <string>

#include "platform/ISound.h"

namespace nocturo::platform::win32 {

struct SoundCalls {
    std::function<BOOL(const wchar_t* sound, DWORD flags)> playSound;
    std::function<BOOL(UINT type)> messageBeep;
    // How many wave output devices there are (waveOutGetNumDevs).
    std::function<UINT()> outputDevices;
    std::function<bool(const wchar_t* path)> fileExists;
};

// The table of the real calls.
SoundCalls SystemSoundCalls();

// Whether the name is played as a file (a path or a ".wav" name) rather than
// as a sound-scheme alias ("SystemHand", "SystemDefault").
bool IsSoundFileName(const std::string& name);

class Win32Sound : public ISound {
public:
    explicit Win32Sound(SoundCalls calls = SystemSoundCalls());
    // A sound still playing asynchronously is stopped with the object.
    ~Win32Sound() override;
    Win32Sound(const Win32Sound&) = delete;
    Win32Sound& operator=(const Win32Sound&) = delete;

    // There is a wave output device.
    bool available() override;
    // A file plays as SND_FILENAME, an alias as SND_ALIAS, both with
    // SND_NODEFAULT; snd::Async from the caller is kept (the program always
    // asks for it). A file that is not there, and an alias the scheme lacks,
    // play the default sound instead, as the Linux backend does. An empty
    // name stops the sound that plays. The outcome is not reported (no
    // device under wine is the usual case): see lastResult.
    void playSound(const std::string& name, int flags) override;
    void beep() override;

    // Whether the last PlaySoundW/MessageBeep call succeeded; false also
    // when no call was made.
    bool lastResult() const { return lastResult_; }

private:
    bool play(const std::wstring& sound, DWORD flags);

    SoundCalls calls_;
    bool lastResult_ = false;
    bool playing_ = false;
};

}  // namespace nocturo::platform::win32
