#pragma once
#include <optional>
#include <string>

namespace nocturo::platform {

// Message box styles and answers (the classic MsgBox values).
namespace mb {
inline constexpr int OkOnly = 0, OkCancel = 1, AbortRetryIgnore = 2, YesNoCancel = 3, YesNo = 4, RetryCancel = 5;
inline constexpr int Critical = 16, Question = 32, Exclamation = 48, Information = 64;
inline constexpr int DefaultButton2 = 256, DefaultButton3 = 512;
inline constexpr int SystemModal = 4096;
inline constexpr int IdOk = 1, IdCancel = 2, IdAbort = 3, IdRetry = 4, IdIgnore = 5, IdYes = 6, IdNo = 7;
}  // namespace mb

class IDialogs {
public:
    virtual ~IDialogs() = default;
    // Shows a modal box and returns the button chosen (mb::Id...).
    virtual int messageBox(const std::string& prompt, int style, const std::string& title) = 0;
    // nullopt when the user cancels; an empty text when the entry is empty.
    virtual std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                                const std::string& defaultText) = 0;
    // Empty text when cancelled.
    virtual std::string browseForFolder(const std::string& title, const std::string& startFolder,
                                        bool includeFiles) = 0;
    // filter: "Program Files (*.exe)|*.exe|All Files (*.*)|*.*". Empty text when cancelled.
    virtual std::string openFile(const std::string& title, const std::string& filter) = 0;

    // The boxes that answer themselves: when `seconds` pass with the box still
    // open it gets the keys Tab, Tab, Enter, as if the user had pressed them.
    // A second timed box takes over the time-out of the first. A backend
    // without timed boxes shows the plain ones.
    virtual int timedMessageBox(const std::string& prompt, int style, const std::string& title, int /*seconds*/) {
        return messageBox(prompt, style, title);
    }
    virtual std::optional<std::string> timedInputBox(const std::string& prompt, const std::string& title,
                                                     const std::string& defaultText, int /*seconds*/) {
        return inputBox(prompt, title, defaultText);
    }
    // A timed input box whose entry is not shown as it is typed (a password).
    // A backend that cannot hide the entry asks as the plain timed box does.
    virtual std::optional<std::string> timedPasswordBox(const std::string& prompt, const std::string& title,
                                                        int seconds) {
        return timedInputBox(prompt, title, std::string(), seconds);
    }
};

}  // namespace nocturo::platform
