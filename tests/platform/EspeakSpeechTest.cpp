// Speech on Linux: espeak-ng speaks the program's announcements in an
// English voice. This machine has no sound output, so the voice is heard
// through its samples; a machine without output has no speech at all.
#include <gtest/gtest.h>

#include <string>

#include "platform/posix/EspeakSpeech.h"
#include "support/TestSupport.h"

using namespace nocturo::platform;

TEST(EspeakSpeech, AnAnnouncementBecomesAboutASecondOfSpeech) {
    long samples = 0;
    EspeakSpeech speech([&](const short*, int count) { samples += count; });
    if (!speech.available()) GTEST_SKIP() << "espeak-ng and its voice data are not installed";
    ASSERT_GT(speech.sampleRate(), 0);
    speech.speak("The time is now 21:05", spk::IsNotXml);
    const double seconds = static_cast<double>(samples) / speech.sampleRate();
    EXPECT_GT(seconds, 0.5);
    EXPECT_LT(seconds, 5.0);

    // Nothing to say, nothing spoken.
    samples = 0;
    speech.speak("", spk::IsNotXml);
    EXPECT_EQ(samples, 0);
}

TEST(EspeakSpeech, WithoutASoundOutputThereIsNoSpeechAndSpeakingFailsNothing) {
    nocturo::test::TempDir dir;
    SoundPlaces none;
    none.asoundCards = dir / "cards";
    EspeakSpeech speech(none);
    EXPECT_FALSE(speech.available());
    EXPECT_NO_THROW(speech.speak("voice system acctivated", spk::IsNotXml));
    EXPECT_EQ(speech.sampleRate(), 0);
}
