#include "platform/sim/SimSound.h"

namespace nocturo::platform {

void SimSound::playSound(const std::string& name, int flags) {
    journal_.append(JsonObject{{"call", "PlaySound"}, {"name", name}, {"flags", flags}});
}

void SimSound::beep() { journal_.append(JsonObject{{"call", "Beep"}}); }

void SimSpeech::speak(const std::string& text, int flags) {
    journal_.append(JsonObject{{"call", "Speak"}, {"text", text}, {"flags", flags}});
}

}  // namespace nocturo::platform
