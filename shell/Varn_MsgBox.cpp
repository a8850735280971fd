#include "shell/Varn_MsgBox.h"

#include "base/Runtime.h"
#include "base/Varn_ErrorLog.h"
#include "platform/Error.h"

namespace nocturo {

namespace {

// The time-out belongs to the program's active window; with none shown (the
// program lives in the tray) there is nothing to arm it on.
void requireActiveForm() {
    if (rt().activeFormShown && !rt().activeFormShown())
        throw platform::Error(platform::err::SystemCallFailed, "SetTimer failed: no active window");
}

}  // namespace

int ACmsgbox(int timeoutSeconds, const std::string& prompt, int buttons, const std::string& title,
             const std::string& /*helpFile*/, int /*helpContext*/) {
    int answer = 0;
    Step("ACmsgbox of Modul Varn_MsgBox", 1, [&] {
        requireActiveForm();
        answer = dialogs().timedMessageBox(prompt, buttons, title, timeoutSeconds);
    });
    return answer;
}

std::optional<std::string> ACinputbox(int timeoutSeconds, const std::string& prompt, const std::string& title,
                                      const std::string& defaultText, int /*x*/, int /*y*/,
                                      const std::string& /*helpFile*/, int /*helpContext*/, bool hideEntry) {
    std::optional<std::string> entry;
    Step("ACinputbox of Modul Varn_MsgBox", 1, [&] {
        requireActiveForm();
        entry = hideEntry ? dialogs().timedPasswordBox(prompt, title, timeoutSeconds)
                          : dialogs().timedInputBox(prompt, title, defaultText, timeoutSeconds);
    });
    return entry;
}

}  // namespace nocturo
