// Sound on Linux: telling whether the machine has a sound card or a sound
// server, the program's sounds as freedesktop theme events, and playing on
// a machine with no sound at all (this one) without failing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/posix/CanberraSound.h"
#include "support/TestSupport.h"

using namespace nocturo::platform;
namespace fs = std::filesystem;

namespace {
void write(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << text;
}
}  // namespace

TEST(SoundOutput, ACardOrARunningSoundServerCounts) {
    nocturo::test::TempDir dir;
    const fs::path root = dir.path();
    SoundPlaces places;
    places.asoundCards = (root / "cards").string();
    places.runtimeDir = (root / "run").string();
    EXPECT_FALSE(SoundOutputExists(places));  // nothing there at all

    write(root / "cards", "--- no soundcards ---\n");
    EXPECT_FALSE(SoundOutputExists(places));
    write(root / "cards", " 0 [PCH            ]: HDA-Intel - HDA Intel PCH\n                      HDA Intel PCH at 0xf7f10000\n");
    EXPECT_TRUE(SoundOutputExists(places));

    fs::remove(root / "cards");
    write(root / "run" / "pulse" / "native", "");
    EXPECT_TRUE(SoundOutputExists(places));
    fs::remove_all(root / "run");
    write(root / "run" / "pipewire-0", "");
    EXPECT_TRUE(SoundOutputExists(places));
    fs::remove_all(root / "run");
    EXPECT_FALSE(SoundOutputExists(places));
    places.pulseServer = "tcp:soundbox";
    EXPECT_TRUE(SoundOutputExists(places));
}

TEST(SoundOutput, TheProgramsSoundsAreThemeEvents) {
    EXPECT_EQ(FreedesktopSoundEvent("open"), "window-new");
    EXPECT_EQ(FreedesktopSoundEvent("close"), "window-close");
    EXPECT_EQ(FreedesktopSoundEvent("minimize"), "window-minimized");
    EXPECT_EQ(FreedesktopSoundEvent("maximize"), "window-maximized");
    EXPECT_EQ(FreedesktopSoundEvent("RestoreUp"), "window-unminimized");
    EXPECT_EQ(FreedesktopSoundEvent("RestoreDown"), "window-unmaximized");
    EXPECT_EQ(FreedesktopSoundEvent("SystemHand"), "dialog-error");
    EXPECT_EQ(FreedesktopSoundEvent("recycle.wav"), "trash-empty");
    EXPECT_EQ(FreedesktopSoundEvent("RECYCLE.WAV"), "trash-empty");
    // What the theme has no name for plays the default sound.
    EXPECT_EQ(FreedesktopSoundEvent("chimes.wav"), "bell");
    EXPECT_EQ(FreedesktopSoundEvent(""), "bell");
}

TEST(SoundOutput, WithoutAnyOutputThereIsNoSoundAndPlayingFailsNothing) {
    nocturo::test::TempDir dir;
    SoundPlaces none;
    none.asoundCards = (fs::path(dir.path()) / "cards").string();
    CanberraSound sound(none);
    EXPECT_FALSE(sound.available());
    EXPECT_NO_THROW(sound.playSound("close", snd::Async));
    EXPECT_NO_THROW(sound.playSound("/no/such/file.wav", snd::Async));
    EXPECT_NO_THROW(sound.beep());
    EXPECT_EQ(sound.lastResult(), 1);  // libcanberra was not asked
}

TEST(SoundOutput, ASoundServerThatIsNotReallyThereCostsNothingButTheSound) {
    SoundPlaces phantom;
    phantom.pulseServer = "unix:/nonexistent/pulse/native";
    phantom.asoundCards = "/nonexistent/cards";
    CanberraSound sound(phantom);
    if (!sound.available()) GTEST_SKIP() << "libcanberra is not installed";
    EXPECT_NO_THROW(sound.playSound("close", snd::Async));
    EXPECT_NE(sound.lastResult(), 1);  // libcanberra answered (with an error code here)
    EXPECT_NO_THROW(sound.beep());
}
