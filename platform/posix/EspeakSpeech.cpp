#include "platform/posix/EspeakSpeech.h"

#include "platform/posix/SharedLibrary.h"

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
    SharedLibrary library{"libespeak-ng.so.1"};
    SynthFn synth = library.symbol<SynthFn>("espeak_Synth");
    CancelFn cancel = library.symbol<CancelFn>("espeak_Cancel");
    SynchronizeFn synchronize = library.symbol<SynchronizeFn>("espeak_Synchronize");
    TerminateFn terminate = library.symbol<TerminateFn>("espeak_Terminate");
    bool initialized = false;
    ~Engine() {
        if (initialized && terminate) terminate();
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
    auto initialize = e->library.symbol<InitializeFn>("espeak_Initialize");
    auto setCallback = e->library.symbol<SetCallbackFn>("espeak_SetSynthCallback");
    auto setVoice = e->library.symbol<SetVoiceByNameFn>("espeak_SetVoiceByName");
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
