#include "platform/win32/SapiSpeech.h"

#include <objbase.h>
#include <sapi.h>

#include <utility>

#include "platform/win32/WinText.h"

namespace nocturo::platform::win32 {

namespace {

// SAPI's voice; the GUIDs are here so that the program needs no sapi import
// library.
constexpr CLSID kSpVoice = {0x96749377, 0x3391, 0x11D2, {0x9E, 0xE3, 0x00, 0xC0, 0x4F, 0x79, 0x73, 0x96}};
constexpr IID kISpVoice = {0x6C44DF74, 0x72B9, 0x4992, {0xA1, 0xEC, 0xEF, 0x99, 0x6E, 0x04, 0x22, 0xD4}};

// The flags ISpVoice::Speak takes from the caller.
constexpr DWORD kPassedOn = SPF_PURGEBEFORESPEAK | SPF_IS_FILENAME | SPF_IS_XML | SPF_IS_NOT_XML;

}  // namespace

SpeechCalls SystemSpeechCalls() {
    SpeechCalls c;
    c.initialize = [] { return CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); };
    c.uninitialize = [] { CoUninitialize(); };
    c.createVoice = [](void** voice) {
        return CoCreateInstance(kSpVoice, nullptr, CLSCTX_ALL, kISpVoice, voice);
    };
    c.speak = [](void* voice, const wchar_t* text, DWORD flags) {
        return static_cast<ISpVoice*>(voice)->Speak(text, flags, nullptr);
    };
    c.release = [](void* voice) { static_cast<ISpVoice*>(voice)->Release(); };
    return c;
}

SapiSpeech::SapiSpeech(SpeechCalls calls) : calls_(std::move(calls)) {}

SapiSpeech::~SapiSpeech() {
    drop();
    if (initialized_) calls_.uninitialize();
}

void SapiSpeech::drop() {
    if (voice_) calls_.release(voice_);
    voice_ = nullptr;
}

bool SapiSpeech::start() {
    if (tried_) return voice_ != nullptr;
    tried_ = true;
    lastResult_ = calls_.initialize();
    // S_FALSE: COM was set up on this thread already, and must be undone as
    // often. RPC_E_CHANGED_MODE: set up differently by someone else; COM
    // works all the same, but is not ours to undo.
    if (SUCCEEDED(lastResult_)) initialized_ = true;
    else if (lastResult_ != RPC_E_CHANGED_MODE) return false;
    void* voice = nullptr;
    lastResult_ = calls_.createVoice(&voice);
    if (FAILED(lastResult_) || !voice) {
        if (SUCCEEDED(lastResult_)) lastResult_ = E_POINTER;
        return false;
    }
    voice_ = voice;
    return true;
}

bool SapiSpeech::available() { return start(); }

void SapiSpeech::speak(const std::string& text, int flags) {
    if (!start() || text.empty()) return;
    const DWORD sapiFlags = SPF_ASYNC | (static_cast<DWORD>(flags) & kPassedOn);
    lastResult_ = calls_.speak(voice_, Widen(text).c_str(), sapiFlags);
    if (FAILED(lastResult_)) drop();
}

}  // namespace nocturo::platform::win32
