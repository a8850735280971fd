#pragma once
// Simulated sound and speech: what would be heard is journalled.
#include "platform/ISound.h"
#include "platform/sim/Journal.h"

namespace nocturo::platform {

class SimSound : public ISound {
public:
    explicit SimSound(Journal& journal) : journal_(journal) {}
    bool available() override { return available_; }
    // Journalled whether or not a device is "available": the caller decides
    // whether to play.
    void playSound(const std::string& name, int flags) override;
    void beep() override;
    void setAvailable(bool available) { available_ = available; }

private:
    Journal& journal_;
    bool available_ = true;
};

class SimSpeech : public ISpeech {
public:
    explicit SimSpeech(Journal& journal) : journal_(journal) {}
    bool available() override { return available_; }
    void speak(const std::string& text, int flags) override;
    void setAvailable(bool available) { available_ = available; }

private:
    Journal& journal_;
    bool available_ = true;
};

}  // namespace nocturo::platform
