#pragma once
// Speech on Windows through SAPI 5: a SpVoice created through COM on the
// thread that first speaks (the program's main thread), speaking
// asynchronously in the user's default voice. Without SAPI, or without a
// voice (wine has only some of SAPI), there is no speech and nothing fails.
// The COM calls go through a table of functions, SpeechCalls, so the tests
// see the flags and the failures without a speech engine.
#include <windows.h>

#include <functional>
#include <string>

#include "platform/ISound.h"

namespace nocturo::platform::win32 {

struct SpeechCalls {
    // CoInitializeEx for the calling thread, and its undoing.
    std::function<HRESULT()> initialize;
    std::function<void()> uninitialize;
    // CoCreateInstance(CLSID_SpVoice): the voice, or a failure.
    std::function<HRESULT(void** voice)> createVoice;
    // ISpVoice::Speak.
    std::function<HRESULT(void* voice, const wchar_t* text, DWORD flags)> speak;
    std::function<void(void* voice)> release;
};

// The table of the real COM calls.
SpeechCalls SystemSpeechCalls();

class SapiSpeech : public ISpeech {
public:
    explicit SapiSpeech(SpeechCalls calls = SystemSpeechCalls());
    // Releases the voice (stopping what it says) on the thread it was made on.
    ~SapiSpeech() override;
    SapiSpeech(const SapiSpeech&) = delete;
    SapiSpeech& operator=(const SapiSpeech&) = delete;

    // A voice could be created. Tried once; false for good after a failure.
    bool available() override;
    // Always asynchronous (the program's clock must not wait for the words);
    // spk::PurgeBeforeSpeak, IsXml, IsNotXml and IsFilename are passed on as
    // SAPI's flags. A voice that cannot speak (no audio output) is dropped:
    // available() says false from then on, and nothing is thrown, as with
    // the other speech backends.
    void speak(const std::string& text, int flags) override;

    // The last COM result (S_OK before any call), for tests.
    HRESULT lastResult() const { return lastResult_; }

private:
    bool start();
    void drop();

    SpeechCalls calls_;
    void* voice_ = nullptr;
    bool tried_ = false;
    bool initialized_ = false;
    HRESULT lastResult_ = S_OK;
};

}  // namespace nocturo::platform::win32
