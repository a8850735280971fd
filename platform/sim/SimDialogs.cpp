#include "platform/sim/SimDialogs.h"

#include <cstdlib>
#include <limits>
#include <vector>

#include "platform/Error.h"

namespace nocturo::platform {

SimDialogs::SimDialogs(Journal& journal) : journal_(journal) {}

int SimDialogs::defaultButton(int style) {
    switch (style & 7) {
        case mb::OkOnly:
        case mb::OkCancel: return mb::IdOk;
        case mb::AbortRetryIgnore: return mb::IdAbort;
        case mb::YesNoCancel:
        case mb::YesNo: return mb::IdYes;
        case mb::RetryCancel: return mb::IdRetry;
        case 6: return mb::IdCancel;  // Cancel, Try Again, Continue
        default: return mb::IdOk;
    }
}

int SimDialogs::messageBox(const std::string& prompt, int style, const std::string& title) {
    if (onBox) onBox();
    int answer = defaultButton(style);
    if (!answers_.empty() && answers_.front().isNumber()) {
        answer = static_cast<int>(answers_.front().asInt64());
        answers_.pop_front();
    }
    journal_.append(JsonObject{{"call", "MessageBox"}, {"title", title}, {"prompt", prompt}, {"buttons", style},
                               {"answer", answer}});
    return answer;
}

std::optional<Json> SimDialogs::takeTextAnswer() {
    if (answers_.empty() || !(answers_.front().isString() || answers_.front().isNull())) return std::nullopt;
    Json a = std::move(answers_.front());
    answers_.pop_front();
    return a;
}

std::optional<std::string> SimDialogs::inputBox(const std::string& prompt, const std::string& title,
                                                const std::string& defaultText) {
    return askText(prompt, title, defaultText, false);
}

std::optional<std::string> SimDialogs::timedPasswordBox(const std::string& prompt, const std::string& title, int) {
    return askText(prompt, title, std::string(), true);
}

std::optional<std::string> SimDialogs::askText(const std::string& prompt, const std::string& title,
                                               const std::string& defaultText, bool hidden) {
    if (onBox) onBox();
    std::optional<std::string> answer;  // cancelled unless the queue says otherwise
    if (auto a = takeTextAnswer(); a && a->isString()) answer = a->asString();
    JsonObject entry{{"call", "InputBox"}, {"title", title}, {"prompt", prompt}, {"default", defaultText}};
    if (hidden) entry.set("hidden", true);
    entry.set("answer", answer ? Json(*answer) : Json(nullptr));
    journal_.append(std::move(entry));
    return answer;
}

std::string SimDialogs::browseForFolder(const std::string& title, const std::string& startFolder, bool) {
    std::string answer;
    if (auto a = takeTextAnswer(); a && a->isString()) answer = a->asString();
    journal_.append(JsonObject{{"call", "BrowseForFolder"}, {"title", title}, {"start", startFolder}, {"answer", answer}});
    return answer;
}

std::string SimDialogs::openFile(const std::string& title, const std::string& filter) {
    std::string answer;
    if (auto a = takeTextAnswer(); a && a->isString()) answer = a->asString();
    journal_.append(JsonObject{{"call", "OpenFile"}, {"title", title}, {"filter", filter}, {"answer", answer}});
    return answer;
}

void SimDialogs::pushAnswer(int button) { answers_.emplace_back(button); }
void SimDialogs::pushAnswer(const std::string& text) { answers_.emplace_back(text); }
void SimDialogs::pushCancel() { answers_.emplace_back(nullptr); }

void SimDialogs::loadAnswers(std::string_view jsonArray) {
    Json parsed;
    try {
        parsed = Json::parse(jsonArray);
    } catch (const JsonParseError& e) {
        throw Error(err::InvalidProcedureCall, std::string("answers are not valid JSON: ") + e.what());
    }
    if (!parsed.isArray()) throw Error(err::InvalidProcedureCall, "answers must be a JSON array");
    std::vector<Json> items;
    for (const Json& item : parsed.asArray()) {
        if (item.isNumber()) {
            if (!item.isInteger() || item.asNumber() < std::numeric_limits<int>::min() ||
                item.asNumber() > std::numeric_limits<int>::max())
                throw Error(err::InvalidProcedureCall, "a message-box answer must be a whole number: " + item.dump());
        } else if (!item.isString() && !item.isNull()) {
            throw Error(err::InvalidProcedureCall,
                        "an answer must be a number, a text or null, not " + item.dump());
        }
        items.push_back(item);
    }
    for (auto& item : items) answers_.push_back(std::move(item));
}

void SimDialogs::loadAnswersFromEnvironment() {
    const char* env = std::getenv("NOCTURO_SIM_ANSWERS");
    if (env && *env) loadAnswers(env);
}

}  // namespace nocturo::platform
