#include "platform/posix/EspeakSpeech.h"

#include <dlfcn.h>

namespace nocturo::platform {

namespace {

// espeak-ng's entry points and constants (speak_lib.h).
constexpr int kOutputPlayback = 0, kOutputSynchronous = 2;
constexpr int kPositionCharacter = 1;
constexpr unsigned kCharsUtf8 = 1;
constexpr int kOk = 0;

struct Event;  // espeak_EVENT, not looked into
using SynthCallback = int (*)(short*, int, Event*);
using InitializeFn = int (*)(int, int, const char*, int);
using SetCallbackFn = void (*)(SynthCallback);
using SetVoiceByNameFn = int (*)(const char*);
using SynthFn = int (*)(const void*, std::size_t, unsigned, int, unsigned, unsigned, unsigned*, void*);
using CancelFn = int (*)();
using SynchronizeFn = int (*)();
using TerminateFn = int (*)();

// espeak-ng has one engine per process and calls back without a context.
EspeakSpeech::SampleReceiver* g_receiver = nullptr;

int onSamples(short* samples, int count, Event*) {
    if (g_receiver && samples && count > 0) (*g_receiver)(samples, count);
    return 0;  // go on
}

}  // namespace

struct EspeakSpeech::Engine {
    void* handle = nullptr;
    SynthFn synth = nullptr;
    CancelFn cancel = nullptr;
    SynchronizeFn synchronize = nullptr;
    TerminateFn terminate = nullptr;
    bool initialized = false;
    ~Engine() {
        if (initialized && terminate) terminate();
        if (handle) dlclose(handle);
    }
};

EspeakSpeech::EspeakSpeech(SoundPlaces places) : places_(std::move(places)) {}
EspeakSpeech::EspeakSpeech(SampleReceiver receiver) : receiver_(std::move(receiver)) {}

EspeakSpeech::~EspeakSpeech() {
    engine_.reset();
    if (g_receiver == &receiver_) g_receiver = nullptr;
}

bool EspeakSpeech::start() {
    if (tried_) return engine_ != nullptr;
    tried_ = true;
    if (!receiver_ && !SoundOutputExists(places_)) return false;
    auto e = std::make_unique<Engine>();
    e->handle = dlopen("libespeak-ng.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!e->handle) return false;
    auto initialize = reinterpret_cast<InitializeFn>(dlsym(e->handle, "espeak_Initialize"));
    auto setCallback = reinterpret_cast<SetCallbackFn>(dlsym(e->handle, "espeak_SetSynthCallback"));
    auto setVoice = reinterpret_cast<SetVoiceByNameFn>(dlsym(e->handle, "espeak_SetVoiceByName"));
    e->synth = reinterpret_cast<SynthFn>(dlsym(e->handle, "espeak_Synth"));
    e->cancel = reinterpret_cast<CancelFn>(dlsym(e->handle, "espeak_Cancel"));
    e->synchronize = reinterpret_cast<SynchronizeFn>(dlsym(e->handle, "espeak_Synchronize"));
    e->terminate = reinterpret_cast<TerminateFn>(dlsym(e->handle, "espeak_Terminate"));
    if (!initialize || !setCallback || !setVoice || !e->synth || !e->cancel || !e->synchronize || !e->terminate)
        return false;
    const int rate = initialize(receiver_ ? kOutputSynchronous : kOutputPlayback, 0, nullptr, 0);
    if (rate <= 0) return false;
    e->initialized = true;
    if (setVoice("en") != kOk) return false;
    if (receiver_) {
        g_receiver = &receiver_;
        setCallback(onSamples);
    }
    sampleRate_ = rate;
    engine_ = std::move(e);
    return true;
}

bool EspeakSpeech::available() { return start(); }

void EspeakSpeech::speak(const std::string& text, int flags) {
    if (!start() || text.empty()) return;
    if (flags & spk::PurgeBeforeSpeak) engine_->cancel();
    engine_->synth(text.c_str(), text.size() + 1, 0, kPositionCharacter, 0, kCharsUtf8, nullptr, nullptr);
    if (receiver_) engine_->synchronize();
}

}  // namespace nocturo::platform
