#pragma once
#include <string>

namespace nocturo::platform {

namespace snd {
inline constexpr int Sync = 0x0, Async = 0x1, NoDefault = 0x2, Alias = 0x10000, FileName = 0x20000;
}
namespace spk {
inline constexpr int Default = 0, Async = 1, PurgeBeforeSpeak = 2, IsFilename = 4, IsXml = 8, IsNotXml = 16;
}

class ISound {
public:
    virtual ~ISound() = default;
    virtual bool available() = 0;                              // a device can play sound
    virtual void playSound(const std::string& name, int flags) = 0;  // a file or a sound-scheme event
    virtual void beep() = 0;
};

class ISpeech {
public:
    virtual ~ISpeech() = default;
    virtual bool available() = 0;
    virtual void speak(const std::string& text, int flags) = 0;
};

}  // namespace nocturo::platform
