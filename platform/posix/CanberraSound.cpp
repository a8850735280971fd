#include "platform/posix/CanberraSound.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>

#include "platform/posix/SharedLibrary.h"

namespace nocturo::platform {

namespace {

bool exists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// libcanberra's entry points (ca_context is opaque).
using CreateFn = int (*)(void**);
using DestroyFn = int (*)(void*);
using ChangePropsFn = int (*)(void*, ...);
using PlayFn = int (*)(void*, std::uint32_t, ...);

}  // namespace

SoundPlaces SoundPlaces::fromEnvironment() {
    SoundPlaces places;
    if (const char* d = std::getenv("XDG_RUNTIME_DIR")) places.runtimeDir = d;
    if (const char* s = std::getenv("PULSE_SERVER")) places.pulseServer = s;
    return places;
}

bool SoundOutputExists(const SoundPlaces& places) {
    if (!places.pulseServer.empty()) return true;
    if (!places.runtimeDir.empty() &&
        (exists(places.runtimeDir + "/pulse/native") || exists(places.runtimeDir + "/pipewire-0")))
        return true;
    // ALSA lists one card per pair of lines, or " --- no soundcards ---".
    std::ifstream cards(places.asoundCards);
    std::string line;
    while (std::getline(cards, line)) {
        const auto first = line.find_first_not_of(' ');
        if (first != std::string::npos && std::isdigit(static_cast<unsigned char>(line[first]))) return true;
    }
    return false;
}

std::string FreedesktopSoundEvent(const std::string& name) {
    static const std::map<std::string, std::string> events = {
        {"open", "window-new"},
        {"close", "window-close"},
        {"minimize", "window-minimized"},
        {"maximize", "window-maximized"},
        {"restoreup", "window-unminimized"},
        {"restoredown", "window-unmaximized"},
        {"systemhand", "dialog-error"},
        {"systemexclamation", "dialog-warning"},
        {"systemasterisk", "dialog-information"},
        {"systemquestion", "dialog-question"},
        {"recycle", "trash-empty"},
        {"alarm", "alarm-clock-elapsed"},
    };
    std::string key = lower(name);
    if (key.size() > 4 && key.compare(key.size() - 4, 4, ".wav") == 0) key.resize(key.size() - 4);
    auto it = events.find(key);
    return it == events.end() ? "bell" : it->second;
}

struct CanberraSound::Library {
    SharedLibrary library{"libcanberra.so.0"};
    void* context = nullptr;
    DestroyFn destroy = library.symbol<DestroyFn>("ca_context_destroy");
    PlayFn play = library.symbol<PlayFn>("ca_context_play");
    ~Library() {
        if (context && destroy) destroy(context);
    }
};

CanberraSound::CanberraSound(SoundPlaces places) : places_(std::move(places)) {}
CanberraSound::~CanberraSound() = default;

bool CanberraSound::load() {
    if (tried_) return library_ != nullptr;
    tried_ = true;
    auto lib = std::make_unique<Library>();
    auto create = lib->library.symbol<CreateFn>("ca_context_create");
    auto changeProps = lib->library.symbol<ChangePropsFn>("ca_context_change_props");
    if (!create || !changeProps || !lib->destroy || !lib->play) return false;
    if (create(&lib->context) != 0 || !lib->context) return false;
    changeProps(lib->context, "application.name", "Nocturo", "application.id", "org.nocturo.Nocturo",
                static_cast<const char*>(nullptr));
    library_ = std::move(lib);
    return true;
}

bool CanberraSound::available() { return SoundOutputExists(places_) && load(); }

void CanberraSound::send(const char* key, const std::string& value) {
    lastResult_ = library_->play(library_->context, 0, key, value.c_str(), "media.role", "event",
                                 static_cast<const char*>(nullptr));
}

void CanberraSound::playSound(const std::string& name, int) {
    if (!available()) return;  // nothing to play on: libcanberra is not even asked
    if (name.find('/') != std::string::npos) {
        // A file that is not there gets the default sound, as on Windows.
        if (exists(name)) send("media.filename", name);
        else send("event.id", "bell");
        return;
    }
    const std::string event = FreedesktopSoundEvent(name);
    send("event.id", event);
    // The theme may lack the event: the default sound stands in for it
    // (CA_ERROR_NOTFOUND is -9).
    if (lastResult_ == -9 && event != "bell") send("event.id", "bell");
}

void CanberraSound::beep() {
    if (available()) send("event.id", "bell");
}

}  // namespace nocturo::platform
