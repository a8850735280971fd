#pragma once
// Speech on Linux through espeak-ng, loaded when first needed: texts are
// spoken asynchronously in an English voice on the machine's sound output.
// Without libespeak-ng, its voice data or a sound output there is no speech
// and nothing fails.
#include <functional>
#include <memory>
#include <string>

#include "platform/ISound.h"
#include "platform/posix/CanberraSound.h"

namespace nocturo::platform {

class EspeakSpeech : public ISpeech {
public:
    // Where the speech goes: the sound output, or (for tests) the samples
    // handed to a receiver, 16-bit mono at the engine's rate.
    using SampleReceiver = std::function<void(const short* samples, int count)>;

    explicit EspeakSpeech(SoundPlaces places = SoundPlaces::fromEnvironment());
    explicit EspeakSpeech(SampleReceiver receiver);
    ~EspeakSpeech() override;
    EspeakSpeech(const EspeakSpeech&) = delete;
    EspeakSpeech& operator=(const EspeakSpeech&) = delete;

    // The engine starts with an English voice and there is somewhere to speak to.
    bool available() override;
    // spk::PurgeBeforeSpeak stops what is being said first. Returns at once
    // when speaking to the sound output; with a receiver, when the text is done.
    void speak(const std::string& text, int flags) override;
    // The engine's sample rate (0 before it started).
    int sampleRate() const { return sampleRate_; }

private:
    struct Engine;
    bool start();

    SoundPlaces places_;
    SampleReceiver receiver_;
    std::unique_ptr<Engine> engine_;
    bool tried_ = false;
    int sampleRate_ = 0;
};

}  // namespace nocturo::platform
