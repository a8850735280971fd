#pragma once
#include <functional>
#include <memory>
#include <string>

#include "platform/PlatformHost.h"

namespace nocturo::platform {

struct PosixOptions {
    std::string programFolder;  // folder of the executable; found from /proc/self/exe when empty
    std::string registryPath;   // settings store; NOCTURO_REGISTRY or the XDG default when empty
    // Told when the settings file could not be read and was set aside.
    std::function<void(const std::string&)> onStoreProblem;
};

// Sound and speech for a machine without them: nothing plays, nothing speaks.
class SilentSound : public ISound {
public:
    bool available() override { return false; }
    void playSound(const std::string&, int) override {}
    void beep() override {}
};

class SilentSpeech : public ISpeech {
public:
    bool available() override { return false; }
    void speak(const std::string&, int) override {}
};

// The real Linux backend.
std::unique_ptr<PlatformHost> MakePosixPlatform(const PosixOptions& options);

// The folder that holds the running executable.
std::string ExecutableFolder();

}  // namespace nocturo::platform
