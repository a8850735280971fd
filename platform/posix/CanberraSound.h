#pragma once
// Sound on a Linux desktop through libcanberra: the program's sound events
// become the freedesktop sound theme's events ("close" is "window-close"),
// files play as they are, and what the theme lacks plays the "bell".
// libcanberra is loaded when first needed; without it, or without a sound
// device or sound server, there is no sound and nothing fails.
#include <memory>
#include <string>

#include "platform/ISound.h"

namespace nocturo::platform {

// Where the machine shows its sound devices and sound servers.
struct SoundPlaces {
    std::string asoundCards = "/proc/asound/cards";
    std::string runtimeDir;   // $XDG_RUNTIME_DIR: pulse/native, pipewire-0
    std::string pulseServer;  // $PULSE_SERVER
    static SoundPlaces fromEnvironment();
};

// Whether the places show a sound card or a running sound server.
bool SoundOutputExists(const SoundPlaces& places);

// The freedesktop sound-theme event for one of the program's sound names
// ("close", "SystemHand", "recycle.wav", ...); "bell" for names it lacks.
std::string FreedesktopSoundEvent(const std::string& name);

class CanberraSound : public ISound {
public:
    explicit CanberraSound(SoundPlaces places = SoundPlaces::fromEnvironment());
    ~CanberraSound() override;
    CanberraSound(const CanberraSound&) = delete;
    CanberraSound& operator=(const CanberraSound&) = delete;

    // A sound device or server exists and libcanberra could be loaded.
    bool available() override;
    // name: a path (with a "/") plays that file; anything else is an event.
    // Asynchronous; the outcome is not reported.
    void playSound(const std::string& name, int flags) override;
    void beep() override;

    // The last call's libcanberra result (0 done, negative an error), for
    // tests; 1 when no call reached libcanberra.
    int lastResult() const { return lastResult_; }

private:
    struct Library;
    bool load();
    // One sound to libcanberra, which must be loaded.
    void send(const char* key, const std::string& value);

    SoundPlaces places_;
    std::unique_ptr<Library> library_;
    bool tried_ = false;
    int lastResult_ = 1;
};

}  // namespace nocturo::platform
