// Sound through PlaySoundW, seen through a table of recorders: which name
// goes as a file and which as an alias, the flags, what plays when the file
// or the alias is missing, and that nothing is asked without a device.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <string>
#include <vector>

#include "platform/win32/Win32Sound.h"
#include "platform/win32/WinText.h"

namespace {

using namespace nocturo::platform;
using namespace nocturo::platform::win32;

struct Played {
    std::string sound;  // "<stop>" for the stop call
    DWORD flags;
};

struct Recorder {
    std::vector<Played> played;
    std::vector<UINT> beeps;
    UINT devices = 1;
    std::vector<std::string> files;       // what exists
    std::vector<std::string> badAliases;  // aliases PlaySound refuses
    bool refuseAll = false;

    SoundCalls table() {
        SoundCalls c;
        c.playSound = [this](const wchar_t* sound, DWORD flags) -> BOOL {
            const std::string name = sound ? Narrow(sound) : "<stop>";
            played.push_back({name, flags});
            if (refuseAll && sound) return FALSE;
            for (const auto& bad : badAliases)
                if ((flags & SND_ALIAS) && bad == name) return FALSE;
            return TRUE;
        };
        c.messageBeep = [this](UINT type) -> BOOL {
            beeps.push_back(type);
            return !refuseAll;
        };
        c.outputDevices = [this] { return devices; };
        c.fileExists = [this](const wchar_t* path) {
            for (const auto& f : files)
                if (f == Narrow(path)) return true;
            return false;
        };
        return c;
    }
};

TEST(Win32Sound, TheProgramsFlagsMatchPlaySoundsOwn) {
    EXPECT_EQ(snd::Async, SND_ASYNC);
    EXPECT_EQ(snd::NoDefault, SND_NODEFAULT);
    EXPECT_EQ(snd::Alias, SND_ALIAS);
    EXPECT_EQ(snd::FileName, SND_FILENAME);
}

TEST(Win32Sound, PathsAndWaveNamesAreFilesEverythingElseIsAnAlias) {
    struct Case {
        const char* name;
        bool file;
    };
    const Case cases[] = {
        {"C:\\Windows\\media\\chord.wav", true}, {"\\\\server\\share\\a.WAV", true}, {"media/ding", true},
        {"recycle.wav", true},                   {"D:noise", true},                  {"SystemHand", false},
        {"SystemDefault", false},                {"close", false},                   {"wav", false},
        {".Default", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsSoundFileName(c.name), c.file) << c.name;
}

TEST(Win32Sound, AFileThatIsThereIsPlayedAsAFileAsynchronouslyWithoutTheDefaultSound) {
    Recorder r;
    r.files = {"C:\\Windows\\media\\chord.wav"};
    Win32Sound sound(r.table());
    sound.playSound("C:\\Windows\\media\\chord.wav", snd::Async);
    ASSERT_EQ(r.played.size(), 1u);
    EXPECT_EQ(r.played[0].sound, "C:\\Windows\\media\\chord.wav");
    EXPECT_EQ(r.played[0].flags, static_cast<DWORD>(SND_FILENAME | SND_ASYNC | SND_NODEFAULT));
    EXPECT_TRUE(sound.lastResult());
}

TEST(Win32Sound, AMissingFilePlaysTheDefaultSoundAsOnLinux) {
    Recorder r;
    Win32Sound sound(r.table());
    sound.playSound("C:\\Windows\\media\\gone.wav", snd::Async);
    ASSERT_EQ(r.played.size(), 1u);
    EXPECT_EQ(r.played[0].sound, "SystemDefault");
    EXPECT_EQ(r.played[0].flags, static_cast<DWORD>(SND_ALIAS | SND_ASYNC | SND_NODEFAULT));
}

TEST(Win32Sound, AnAliasTheSchemeLacksFallsBackToTheDefaultSoundOnce) {
    Recorder r;
    r.badAliases = {"NoSuchEvent"};
    Win32Sound sound(r.table());
    sound.playSound("NoSuchEvent", snd::Async);
    ASSERT_EQ(r.played.size(), 2u);
    EXPECT_EQ(r.played[0].sound, "NoSuchEvent");
    EXPECT_EQ(r.played[0].flags, static_cast<DWORD>(SND_ALIAS | SND_ASYNC | SND_NODEFAULT));
    EXPECT_EQ(r.played[1].sound, "SystemDefault");

    // The default sound itself failing is not retried, and is not thrown.
    r.played.clear();
    r.badAliases = {"SystemDefault"};
    EXPECT_NO_THROW(sound.playSound("SystemDefault", snd::Async));
    EXPECT_EQ(r.played.size(), 1u);
    EXPECT_FALSE(sound.lastResult());
}

TEST(Win32Sound, TheCallersKindAndTimingWin) {
    Recorder r;
    r.files = {"Beep"};
    Win32Sound sound(r.table());
    sound.playSound("Beep", snd::FileName);  // a file with a plain name, played synchronously
    ASSERT_EQ(r.played.size(), 1u);
    EXPECT_EQ(r.played[0].flags, static_cast<DWORD>(SND_FILENAME | SND_NODEFAULT));
    sound.playSound("x.wav", snd::Alias | snd::Async);
    ASSERT_EQ(r.played.size(), 2u);
    EXPECT_EQ(r.played[1].sound, "x.wav");
    EXPECT_EQ(r.played[1].flags & (SND_ALIAS | SND_FILENAME), static_cast<DWORD>(SND_ALIAS));
}

TEST(Win32Sound, NonAsciiPathsReachPlaySoundAsUtf16) {
    Recorder r;
    const std::string path = "C:\\Sons\\r\xC3\xA9veil \xE2\x8F\xB0.wav";
    r.files = {path};
    Win32Sound sound(r.table());
    sound.playSound(path, snd::Async);
    ASSERT_EQ(r.played.size(), 1u);
    EXPECT_EQ(r.played[0].sound, path);
}

TEST(Win32Sound, WithoutADeviceNothingIsAskedAndNothingFails) {
    Recorder r;
    r.devices = 0;
    Win32Sound sound(r.table());
    EXPECT_FALSE(sound.available());
    EXPECT_NO_THROW(sound.playSound("SystemHand", snd::Async));
    EXPECT_NO_THROW(sound.beep());
    EXPECT_TRUE(r.played.empty());
    EXPECT_TRUE(r.beeps.empty());
    EXPECT_FALSE(sound.lastResult());
}

TEST(Win32Sound, AFailingPlaySoundIsNotThrownButShowsInTheLastResult) {
    Recorder r;
    r.files = {"C:\\a.wav"};
    r.refuseAll = true;
    Win32Sound sound(r.table());
    EXPECT_NO_THROW(sound.playSound("C:\\a.wav", snd::Async));
    EXPECT_FALSE(sound.lastResult());
    EXPECT_NO_THROW(sound.beep());
    EXPECT_FALSE(sound.lastResult());
}

TEST(Win32Sound, TheBeepIsTheDefaultMessageSound) {
    Recorder r;
    Win32Sound sound(r.table());
    sound.beep();
    ASSERT_EQ(r.beeps.size(), 1u);
    EXPECT_EQ(r.beeps[0], static_cast<UINT>(MB_OK));
    EXPECT_TRUE(sound.lastResult());
}

TEST(Win32Sound, AnEmptyNameStopsTheSoundAndSoDoesTheEndOfTheObject) {
    Recorder r;
    r.files = {"C:\\long.wav"};
    {
        Win32Sound sound(r.table());
        sound.playSound("", 0);
        ASSERT_EQ(r.played.size(), 1u);
        EXPECT_EQ(r.played[0].sound, "<stop>");
        EXPECT_EQ(r.played[0].flags, 0u);
    }
    EXPECT_EQ(r.played.size(), 1u);  // nothing was playing: nothing more to stop
    {
        Win32Sound sound(r.table());
        sound.playSound("C:\\long.wav", snd::Async);
    }
    ASSERT_EQ(r.played.size(), 3u);
    EXPECT_EQ(r.played[2].sound, "<stop>");
}

}  // namespace
