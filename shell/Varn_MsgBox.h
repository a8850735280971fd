#pragma once
// Message and input boxes that answer themselves: when nobody reacts within
// the time-out the box gets Tab, Tab, Enter, so an unattended program (a
// scheduled action at night, a synchronisation at start-up) never stays
// blocked by a dialog.
#include <optional>
#include <string>

namespace nocturo {

// The answer of the box (1 OK, 2 Cancel, 6 Yes, 7 No, ...), 0 when it could
// not be shown.
int ACmsgbox(int timeoutSeconds, const std::string& prompt, int buttons, const std::string& title,
             const std::string& helpFile, int helpContext);
// The text entered; nullopt when the box was cancelled or could not be shown
// (an empty entry is an empty text). hideEntry: a password, not shown as typed.
std::optional<std::string> ACinputbox(int timeoutSeconds, const std::string& prompt, const std::string& title,
                                      const std::string& defaultText, int x, int y, const std::string& helpFile,
                                      int helpContext, bool hideEntry = false);

}  // namespace nocturo
