// Speech through SAPI, seen through a table of recorders: COM set up once,
// the voice made once, every text spoken asynchronously with the caller's
// flags, and no speech (rather than a failure) when SAPI or a voice is
// missing or the voice cannot speak.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <sapi.h>
#include <sperror.h>

#include <string>
#include <vector>

#include "platform/win32/SapiSpeech.h"
#include "platform/win32/WinText.h"

namespace {

using namespace nocturo::platform;
using namespace nocturo::platform::win32;

struct Recorder {
    HRESULT initResult = S_OK;
    HRESULT createResult = S_OK;
    HRESULT speakResult = S_OK;
    bool createGivesNull = false;
    int initialized = 0, uninitialized = 0, created = 0, released = 0;
    std::vector<std::pair<std::string, DWORD>> spoken;
    int voice = 0;  // its address stands for the voice

    SpeechCalls table() {
        SpeechCalls c;
        c.initialize = [this] {
            ++initialized;
            return initResult;
        };
        c.uninitialize = [this] { ++uninitialized; };
        c.createVoice = [this](void** out) {
            ++created;
            *out = SUCCEEDED(createResult) && !createGivesNull ? &voice : nullptr;
            return createResult;
        };
        c.speak = [this](void* v, const wchar_t* text, DWORD flags) {
            EXPECT_EQ(v, &voice);
            spoken.emplace_back(Narrow(text), flags);
            return speakResult;
        };
        c.release = [this](void* v) {
            EXPECT_EQ(v, &voice);
            ++released;
        };
        return c;
    }
};

TEST(SapiSpeech, TheProgramsFlagsMatchSapisOwn) {
    EXPECT_EQ(spk::Async, SPF_ASYNC);
    EXPECT_EQ(spk::PurgeBeforeSpeak, SPF_PURGEBEFORESPEAK);
    EXPECT_EQ(spk::IsFilename, SPF_IS_FILENAME);
    EXPECT_EQ(spk::IsXml, SPF_IS_XML);
    EXPECT_EQ(spk::IsNotXml, SPF_IS_NOT_XML);
}

TEST(SapiSpeech, EveryTextIsSpokenAsynchronouslyWithTheCallersFlags) {
    Recorder r;
    {
        SapiSpeech speech(r.table());
        ASSERT_TRUE(speech.available());
        speech.speak("It is ten o'clock", spk::IsNotXml);
        speech.speak("Shutdown in one minute", spk::PurgeBeforeSpeak | spk::IsNotXml);
        speech.speak("<volume level=\"50\">quiet</volume>", spk::IsXml | spk::Async);
        speech.speak("", spk::IsNotXml);  // nothing to say
        ASSERT_EQ(r.spoken.size(), 3u);
        EXPECT_EQ(r.spoken[0].first, "It is ten o'clock");
        EXPECT_EQ(r.spoken[0].second, static_cast<DWORD>(SPF_ASYNC | SPF_IS_NOT_XML));
        EXPECT_EQ(r.spoken[1].second, static_cast<DWORD>(SPF_ASYNC | SPF_PURGEBEFORESPEAK | SPF_IS_NOT_XML));
        EXPECT_EQ(r.spoken[2].second, static_cast<DWORD>(SPF_ASYNC | SPF_IS_XML));
        EXPECT_EQ(r.initialized, 1);
        EXPECT_EQ(r.created, 1);
    }
    EXPECT_EQ(r.released, 1);
    EXPECT_EQ(r.uninitialized, 1);
}

TEST(SapiSpeech, FlagsSapiWouldMisreadAreNotPassedOn) {
    Recorder r;
    SapiSpeech speech(r.table());
    speech.speak("x", 0x7FFFFF00 | spk::IsNotXml);
    ASSERT_EQ(r.spoken.size(), 1u);
    EXPECT_EQ(r.spoken[0].second, static_cast<DWORD>(SPF_ASYNC | SPF_IS_NOT_XML));
}

TEST(SapiSpeech, TextBeyondAsciiReachesSapiAsUtf16) {
    Recorder r;
    SapiSpeech speech(r.table());
    speech.speak("Es ist f\xC3\xBCnf Uhr", spk::IsNotXml);
    ASSERT_EQ(r.spoken.size(), 1u);
    EXPECT_EQ(r.spoken[0].first, "Es ist f\xC3\xBCnf Uhr");
}

TEST(SapiSpeech, WithoutSapiThereIsNoSpeechAndNothingFails) {
    const HRESULT failures[] = {REGDB_E_CLASSNOTREG, CLASS_E_NOAGGREGATION, E_NOINTERFACE, E_OUTOFMEMORY};
    for (HRESULT failure : failures) {
        Recorder r;
        r.createResult = failure;
        {
            SapiSpeech speech(r.table());
            EXPECT_FALSE(speech.available());
            EXPECT_FALSE(speech.available());
            EXPECT_NO_THROW(speech.speak("nobody hears this", spk::IsNotXml));
            EXPECT_EQ(speech.lastResult(), failure);
        }
        EXPECT_EQ(r.created, 1) << "a missing engine is looked for once";
        EXPECT_TRUE(r.spoken.empty());
        EXPECT_EQ(r.released, 0);
        EXPECT_EQ(r.uninitialized, 1) << "COM is undone as often as it was set up";
    }
}

TEST(SapiSpeech, ASuccessWithoutAVoiceCountsAsNoSapi) {
    Recorder r;
    r.createGivesNull = true;
    SapiSpeech speech(r.table());
    EXPECT_FALSE(speech.available());
    EXPECT_NO_THROW(speech.speak("x", 0));
    EXPECT_TRUE(r.spoken.empty());
}

TEST(SapiSpeech, COMSetUpDifferentlyBySomeoneElseStillSpeaksButIsNotUndone) {
    Recorder r;
    r.initResult = RPC_E_CHANGED_MODE;
    {
        SapiSpeech speech(r.table());
        EXPECT_TRUE(speech.available());
        speech.speak("x", 0);
        EXPECT_EQ(r.spoken.size(), 1u);
    }
    EXPECT_EQ(r.uninitialized, 0);

    Recorder already;
    already.initResult = S_FALSE;  // this thread had COM already: undone once for this call
    { SapiSpeech speech(already.table()); EXPECT_TRUE(speech.available()); }
    EXPECT_EQ(already.uninitialized, 1);
}

TEST(SapiSpeech, COMThatCannotStartMeansNoSpeech) {
    Recorder r;
    r.initResult = E_OUTOFMEMORY;
    {
        SapiSpeech speech(r.table());
        EXPECT_FALSE(speech.available());
    }
    EXPECT_EQ(r.created, 0);
    EXPECT_EQ(r.uninitialized, 0);
}

TEST(SapiSpeech, AVoiceThatCannotSpeakIsDroppedAndTheRestIsSilence) {
    Recorder r;
    r.speakResult = SPERR_NOT_FOUND;
    {
        SapiSpeech speech(r.table());
        ASSERT_TRUE(speech.available());
        EXPECT_NO_THROW(speech.speak("first", spk::IsNotXml));
        EXPECT_EQ(speech.lastResult(), SPERR_NOT_FOUND);
        EXPECT_EQ(r.released, 1);
        EXPECT_FALSE(speech.available());
        EXPECT_NO_THROW(speech.speak("second", spk::IsNotXml));
    }
    EXPECT_EQ(r.spoken.size(), 1u);
    EXPECT_EQ(r.released, 1);
    EXPECT_EQ(r.uninitialized, 1);
}

// wine's partial SAPI: a voice or none, without a crash or an exception.
// Nothing is spoken: the first words open wine's audio driver, which on a
// busy machine can take most of a test's time limit.
TEST(SapiSpeech, TheRealSapiGivesAVoiceOrSaysItIsNotThere) {
    SapiSpeech speech;
    const bool there = speech.available();
    RecordProperty("voice", there ? "yes" : "no");
    EXPECT_EQ(speech.available(), there);
    if (!there) {
        EXPECT_TRUE(FAILED(speech.lastResult()));
    } else {
        EXPECT_EQ(speech.lastResult(), S_OK);
    }
}

}  // namespace
