#pragma once
// Dialogs for the program without a desktop: questions are asked on a text
// console (a terminal on Linux, the console on Windows). Without one on the
// input (a service, a pipe, cron) each box is written to the output with the
// answer it got, and the answer comes from the fallback dialogs, or is the
// box's default. What is asked and how the answers are read lives here; the
// backends only read a line and write text.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/IDialogs.h"
#include "platform/IEventLoop.h"

namespace nocturo::platform {

class TextDialogs : public IDialogs {
public:
    explicit TextDialogs(IDialogs* fallback = nullptr) : fallback_(fallback) {}
    // Who answers when there is no console (null: the box's default).
    void setFallback(IDialogs* fallback) { fallback_ = fallback; }

    // Console: "[title] prompt", then the choices, e.g. "(y)es/(n)o [yes]: ".
    // Letters and whole words in any case; an empty line or end of input
    // (Ctrl-D) is the default button (the first, or the 2nd/3rd with DefaultButton2/3);
    // Esc answers Cancel where the box has one; anything else asks again. A
    // box with only OK takes any line.
    int messageBox(const std::string& prompt, int style, const std::string& title) override;
    // Console: the default text is shown in brackets and an empty line keeps
    // it; a line of blanks gives an empty text; end of input or a line with
    // just Esc or Ctrl-D cancels (nullopt).
    std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                        const std::string& defaultText) override;
    // Console: as the input box, with the typed line not echoed.
    std::optional<std::string> timedPasswordBox(const std::string& prompt, const std::string& title,
                                                int seconds) override;
    // Console: asks for a path ("~" is the home folder; relative to
    // startFolder); it must name an existing folder (or file with
    // includeFiles). An empty line, Esc or end of input cancels ("").
    std::string browseForFolder(const std::string& title, const std::string& startFolder,
                                bool includeFiles) override;
    // Console: asks for the path of an existing file; the filter's
    // descriptions are shown, not enforced. Empty line or end of input: "".
    std::string openFile(const std::string& title, const std::string& filter) override;

    // While a question waits on the console, keep this loop turning, so
    // timers go on ticking as they do under a modal box on the desktop.
    void setPump(IEventLoop* loop) { pump_ = loop; }
    // Answers the waiting question titled so as an empty line would (its
    // default); for a box that should close itself after a time-out. False
    // when no such question waits. Meant to be called from the pump's timers.
    bool pressDefault(const std::string& title);
    // Whether questions go to a console someone types on.
    virtual bool interactive() const = 0;

    // A typed path: blanks around it and one pair of quotes (as a terminal puts
    // around a dropped file) go; "~" is the home folder; relative to base.
    static std::string ResolvePath(const std::string& typed, const std::string& base);

protected:
    struct Question {
        std::string title;
        bool dismissed = false;
    };
    enum class Got { Line, EndOfInput, Dismissed };

    // One line typed, without its line break; hidden: not echoed. Returns
    // Dismissed as soon as question.dismissed is set (pressDefault).
    virtual Got readLine(Question& question, std::string& line, bool hidden) = 0;
    // Text for the console; "\n" ends a line. Nowhere to write is no error.
    virtual void write(const std::string& text) = 0;

    // Waits until ready(ms) says input is there, asking it for slices of
    // kPumpSliceMs with a turn of the pump in between (without a pump, one
    // wait without end: ready(-1)). False when the question was dismissed
    // meanwhile.
    bool waitForInput(Question& question, const std::function<bool(int timeoutMs)>& ready);
    IEventLoop* pump() const { return pump_; }

    // While a question waits, the console is looked at in slices this long,
    // with a turn of the pump in between.
    static constexpr int kPumpSliceMs = 10;

private:
    // Asks for a path: without a console the fallback answers; on one, the
    // question repeats until accept() takes the path or the user cancels.
    std::string askPath(const std::string& title, const std::string& ask, const std::string& startFolder,
                        const std::function<bool(const std::string&)>& accept, const std::string& refusal,
                        const std::function<std::string()>& fallback);
    std::optional<std::string> askText(const std::string& prompt, const std::string& title,
                                       const std::string& defaultText, bool hidden);
    // A question on the stack of waiting ones while it is asked.
    class Asking {
    public:
        Asking(TextDialogs& dialogs, const std::string& title);
        ~Asking();
        Asking(const Asking&) = delete;
        Asking& operator=(const Asking&) = delete;
        Question question;

    private:
        TextDialogs& dialogs_;
    };

    IDialogs* fallback_;
    IEventLoop* pump_ = nullptr;
    std::vector<Question*> waiting_;  // innermost last
};

}  // namespace nocturo::platform
