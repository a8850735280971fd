#pragma once
// Simulated message, input, folder and file boxes. Nobody is asked: each box
// takes the next answer from a queue (filled by a test or from
// NOCTURO_SIM_ANSWERS) and is journalled with the answer it got.
//
// Queue items: a number answers a message box; a text answers an input box
// or a folder or file box; null cancels an input box (and a folder or file
// box, which then returns an empty text). When the queue is empty, or when
// its next item does not fit the kind of box (a text at a message box, a
// number at an input box), the box gets its default answer - the first
// button of the message box's button set, cancel for the other boxes - and
// the item stays at the head of the queue for the next box that fits.
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/IDialogs.h"
#include "platform/common/Json.h"
#include "platform/sim/Journal.h"

namespace nocturo::platform {

class SimDialogs : public IDialogs {
public:
    explicit SimDialogs(Journal& journal);

    int messageBox(const std::string& prompt, int style, const std::string& title) override;
    std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                        const std::string& defaultText) override;
    // Journalled as an input box with "hidden":true.
    std::optional<std::string> timedPasswordBox(const std::string& prompt, const std::string& title,
                                                int seconds) override;
    std::string browseForFolder(const std::string& title, const std::string& startFolder,
                                bool includeFiles) override;
    std::string openFile(const std::string& title, const std::string& filter) override;

    // Queue items, appended at the end.
    void pushAnswer(int button);               // for a message box
    void pushAnswer(const std::string& text);  // for an input, folder or file box
    void pushAnswer(const char* text) { pushAnswer(std::string(text)); }
    void pushCancel();                         // null: cancels an input, folder or file box
    // Appends the items of a JSON array of whole numbers, texts and nulls
    // (the form of NOCTURO_SIM_ANSWERS). Throws platform::Error (nothing is
    // appended) when the text is not such an array.
    void loadAnswers(std::string_view jsonArray);
    // loadAnswers(NOCTURO_SIM_ANSWERS) when that is set and not empty.
    void loadAnswersFromEnvironment();
    std::size_t remaining() const { return answers_.size(); }
    // Runs as each message or input box opens, so a test can look at the
    // program while the box is up.
    std::function<void()> onBox;
    void clearAnswers() { answers_.clear(); }

    // The answer a message box of this style gets when nothing is queued:
    // its first button (OK, Abort, Yes, Retry; Cancel for Cancel/Try/Continue).
    static int defaultButton(int style);

private:
    // The head of the queue when it is a text or null, taken off the queue;
    // nullopt (nothing taken) otherwise.
    std::optional<Json> takeTextAnswer();
    std::optional<std::string> askText(const std::string& prompt, const std::string& title,
                                       const std::string& defaultText, bool hidden);

    Journal& journal_;
    std::deque<Json> answers_;
};

}  // namespace nocturo::platform
