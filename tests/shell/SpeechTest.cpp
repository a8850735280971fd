// The voice: the spoken clock and its button, the speech engine's set-up at
// start with its one-time notice, and a start without sound.
#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

#include "app/Nocturo_Main.h"
#include "base/Variant.h"
#include "base/Varn_Registry.h"
#include "shell/FrmMain.h"
#include "base/Links.h"
#include "support/SimWorld.h"
#include "support/WebAddresses.h"
#include "timevoice/Varn_PlaySound.h"
#include "timevoice/Varn_TimeSync.h"

using namespace nocturo;
using nocturo::test::SimWorld;

namespace {

std::vector<std::string> Spoken(const SimWorld& w) {
    std::vector<std::string> texts;
    for (const auto& line : w.journal.entries())
        if (line.at("call").asString() == "Speak") texts.push_back(line.at("text").asString());
    return texts;
}

}  // namespace

TEST(VoiceTimeText, CaptionsInEveryClockFormat) {
    const struct {
        const char* caption;
        const char* text;
    } rows[] = {
        {"21:05:33", "21:05"},       {"9:05:33 PM", "09:05 pm"}, {"9:5:33 am", "09:05 am"},
        {"00:00:00", "00:00"},       {"12:30:00 p.m.", "12:30"}, {"7:45:00 AM", "07:45 am"},
        {"21:05", ""},               {"", ""},                   {"updating...", ""},
    };
    for (const auto& row : rows) EXPECT_EQ(VoiceTimeText(row.caption), row.text) << row.caption;
}

// Period 15: spoken once as the minute reaches 15, not again within it, and
// armed again when the minute has left it. A start inside such a minute
// speaks nothing until the next one.
TEST(VoiceTime, EachPeriodSpeaksOnceWhenTheMinuteReachesIt) {
    const struct {
        const char* period;
        std::vector<const char*> captions;
        std::vector<std::string> spoken;
    } rows[] = {
        {"15", {"10:14:59", "10:15:00", "10:15:30", "10:15:59", "10:16:00", "10:30:00"},
         {"The time is now 10:15", "The time is now 10:30"}},
        {"60", {"10:15:00", "10:59:59", "11:00:00", "11:00:01", "11:30:00", "12:00:00"},
         {"The time is now 11:00", "The time is now 12:00"}},
        {"15", {"10:15:00", "10:15:30", "10:16:00", "10:30:00"}, {"The time is now 10:30"}},
        {"2", {"10:01:59", "10:02:00", "10:03:00", "10:04:00"},
         {"The time is now 10:02", "The time is now 10:04"}},
        {"0", {"10:00:00", "10:01:00"}, {}},
    };
    for (const auto& row : rows) {
        SimWorld w;
        w.runtime.soundAvailable = true;
        ResetVoiceClock();
        for (const char* caption : row.captions) VoiceTime(caption, row.period, false);
        EXPECT_EQ(Spoken(w), row.spoken) << "period " << row.period;
    }
}

TEST(VoiceTime, TheButtonSpeaksAtOnceOnlyWithSoundOn) {
    const struct {
        bool soundBox, soundAvailable, speaks;
    } rows[] = {{true, true, true}, {false, true, false}, {true, false, false}};
    for (const auto& row : rows) {
        SimWorld w;
        FrmMain f;
        f.Form_Load();
        w.runtime.soundAvailable = row.soundAvailable;
        f.chkSound.setValue(row.soundBox ? 1 : 0);
        f.lblTime.setCaption("9:05:33 PM");
        w.journal.clear();
        f.fireEvent("cmdSpeakTime.Click");
        const auto spoken = Spoken(w);
        if (row.speaks)
            EXPECT_EQ(spoken, std::vector<std::string>{"The time is now 09:05 pm"});
        else
            EXPECT_TRUE(spoken.empty()) << row.soundBox << row.soundAvailable;
    }
}

namespace {
struct Start {
    explicit Start(platform::PathStyle style = platform::PathStyle::Posix) : w(style) {}
    SimWorld w;
    FrmMain f;
    NocturoMain m{f};
    std::vector<const platform::JsonObject*> notices() const {
        std::vector<const platform::JsonObject*> found;
        for (const auto& line : w.journal.entries())
            if (line.at("call").asString() == "MessageBox" &&
                (line.at("prompt").asString().find("espeak-ng") != std::string::npos ||
                 line.at("prompt").asString().find("Download url: ") != std::string::npos))
                found.push_back(&line);
        return found;
    }
};
}  // namespace

// The notice comes once; an engine found again stores that, and a later
// loss tells again. On Linux it names the packages and offers no download.
TEST(IniTTS, AMissingEngineTellsOnceHowToGetOneAndSilencesTheVoice) {
    Start s;
    s.w.speech.setAvailable(false);
    s.w.runtime.soundAvailable = true;
    Ini_TTS();
    EXPECT_FALSE(s.w.runtime.soundAvailable);
    ASSERT_EQ(s.notices().size(), 1u);
    const auto& notice = *s.notices().front();
    EXPECT_NE(notice.at("prompt").asString().find("espeak-ng and espeak-ng-data"), std::string::npos);
    EXPECT_EQ(notice.at("prompt").asString().find("Download url: "), std::string::npos);
    EXPECT_EQ(notice.at("buttons").asInt64(), 4160);
    EXPECT_FALSE(CBool(ReadSetting(MachineApp(), kSettings, "TTS", true)));
    EXPECT_EQ(s.w.count("OpenDocument"), 0);

    s.w.runtime.soundAvailable = true;
    Ini_TTS();  // the next start: no notice again
    EXPECT_EQ(s.notices().size(), 1u);
    EXPECT_FALSE(s.w.runtime.soundAvailable);

    s.w.speech.setAvailable(true);
    s.w.runtime.soundAvailable = true;
    Ini_TTS();
    EXPECT_TRUE(s.w.runtime.soundAvailable);
    EXPECT_TRUE(CBool(ReadSetting(MachineApp(), kSettings, "TTS", false)));

    s.w.speech.setAvailable(false);
    Ini_TTS();
    EXPECT_EQ(s.notices().size(), 2u);
}

// On Windows the notice offers the two downloads; OK opens both, Cancel none.
TEST(IniTTS, OnWindowsOkDownloadsTheEngineAndTheVoice) {
    test::WebAddresses web;
    for (int answer : {platform::mb::IdOk, platform::mb::IdCancel}) {
        Start s(platform::PathStyle::Windows);
        s.w.speech.setAvailable(false);
        s.w.dialogs.pushAnswer(answer);
        Ini_TTS();
        ASSERT_EQ(s.notices().size(), 1u);
        const std::string prompt = s.notices().front()->at("prompt").asString();
        EXPECT_NE(prompt.find("Download url: https://"), std::string::npos);
        EXPECT_NE(prompt.find(links::Current().speechInstaller), std::string::npos);
        EXPECT_NE(prompt.find(links::Current().speechVoice), std::string::npos);
        EXPECT_EQ(s.notices().front()->at("buttons").asInt64(), 4097);
        EXPECT_EQ(s.w.count("OpenDocument"), answer == platform::mb::IdOk ? 2 : 0);
    }
}

// A copy without download addresses points to Windows' own voices and offers
// nothing to open.
TEST(IniTTS, OnWindowsWithoutDownloadAddressesTheNoticeNamesTheSettings) {
    Start s(platform::PathStyle::Windows);
    s.w.speech.setAvailable(false);
    Ini_TTS();
    const auto notice = std::find_if(s.w.journal.entries().begin(), s.w.journal.entries().end(), [](const auto& e) {
        return e.at("call").asString() == "MessageBox";
    });
    ASSERT_NE(notice, s.w.journal.entries().end());
    const std::string prompt = notice->at("prompt").asString();
    EXPECT_NE(prompt.find("Add a voice in Windows' settings"), std::string::npos) << prompt;
    EXPECT_EQ(prompt.find("Download url"), std::string::npos) << prompt;
    EXPECT_EQ(notice->at("buttons").asInt64() & 0xF, platform::mb::OkOnly);
    EXPECT_EQ(s.w.count("OpenDocument"), 0);
}

// A start without sound turns the boxes off for the run. On Linux the stored
// choice survives the end; on Windows the end stores "off", as it always did.
TEST(SoundAtStart, NoSoundNowKeepsTheStoredChoiceOnLinuxOnly) {
    for (auto style : {platform::PathStyle::Posix, platform::PathStyle::Windows}) {
        const bool linux = style == platform::PathStyle::Posix;
        SCOPED_TRACE(linux ? "Linux" : "Windows");
        Start s(style);
        s.w.runtime.userId = "TESTER";  // as the start will find it
        WriteSetting(UserApp(), kSettings, "chkSound", 1);
        WriteSetting(UserApp(), kSettings, "chkVoice", 1);
        s.w.sound.setAvailable(false);
        ASSERT_TRUE(s.m.Main(""));
        EXPECT_FALSE(s.f.chkSound.checked());
        EXPECT_FALSE(s.f.chkSound.enabled());
        EXPECT_FALSE(s.f.chkVoice.enabled());
        EXPECT_FALSE(s.f.cmdSpeakTime.enabled());
        EXPECT_EQ(s.f.chkSound.toolTip().empty(), !linux);
        s.f.Save_Registry();
        EXPECT_EQ(CLng(ReadSetting(UserApp(), kSettings, "chkSound", -5)), linux ? 1 : 0);
        EXPECT_EQ(CLng(ReadSetting(UserApp(), kSettings, "chkVoice", -5)), linux ? 1 : 0);
    }
}
