#pragma once
// Whether the computer can play sound, the sounds of the program and the
// spoken announcements.
#include <string>

namespace nocturo {

// True when a sound device exists; also stored as the program-wide flag.
bool HasSound();
// Plays one sound asynchronously: a sound-scheme event (isEvent, a name
// without a dot) or a file.
void PlaySoundOnce(const std::string& name, bool isEvent);
// The name PlaySoundOnce hands to the platform.
std::string ResolveSoundName(const std::string& name, bool isEvent);
// Sets the speech engine up once at start-up. Without one, sound is off
// for speaking (SoundAvailable false) and a notice says, once, how to get
// an engine: the download on Windows, the packages on Linux.
void Ini_TTS();
// The text of that notice for this platform.
std::string SpeechMissingNotice(bool windows);
// Speaks a text (flags 16) while sound is available.
void Announce(const std::string& text);

}  // namespace nocturo
