#include "shell/ActionNotices.h"

#include <algorithm>
#include <cstdlib>

#include "base/TimeFormat.h"
#include "platform/Error.h"
#include "shell/FrmMain.h"

namespace nocturo {

namespace {

constexpr const char* kTitle = "Nocturo";
constexpr long long kLongestLead = 86400;
// A due moment seen again this close (a count read a second later) is the
// same occurrence; a postponed one moves by much more.
constexpr long long kSameMoment = 2;
// Two notices of one occurrence come at least this many seconds apart.
constexpr long long kMinimumGap = 30;

std::string Trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// "22:30", or "22:30:15" when the moment is not on a whole minute.
std::string ClockText(long long due) {
    const std::string t = FormatTime(FromSerialSeconds(due));
    return due % 60 == 0 ? t.substr(0, 5) : t;
}

}  // namespace

std::vector<long long> ParseLeadTimes(const std::string& text) {
    std::vector<long long> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        const std::string entry = Trimmed(text.substr(start, comma - start));
        start = comma + 1;
        if (entry.empty() || entry.size() > 6 ||
            !std::all_of(entry.begin(), entry.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        const long long seconds = std::atoll(entry.c_str());
        if (seconds < 1 || seconds > kLongestLead) continue;
        if (std::find(out.begin(), out.end(), seconds) == out.end()) out.push_back(seconds);
    }
    std::sort(out.begin(), out.end(), std::greater<>());
    return out;
}

bool EndsSession(std::int32_t actionCode) {
    return actionCode == action::Shutdown || actionCode == action::PowerOff || actionCode == action::Restart ||
           actionCode == action::Logoff;
}

std::string InText(long long left) {
    if (left >= 60) {
        const long long minutes = (left + 30) / 60;
        return "in " + std::to_string(minutes) + (minutes == 1 ? " minute" : " minutes");
    }
    return "in " + std::to_string(left) + (left == 1 ? " second" : " seconds");
}

std::string DueNoticeText(std::int32_t actionCode, long long due, long long left) {
    const std::string when = " at " + ClockText(due) + " (" + InText(left) + ").";
    if (actionCode == action::Restart) return "The computer restarts" + when;
    if (actionCode == action::Logoff) return "You will be logged off" + when;
    return "The computer shuts down" + when;
}

std::string DisarmedNoticeText(std::int32_t actionCode, long long due) {
    std::string what;
    if (actionCode == action::Restart) what = "the computer does not restart";
    else if (actionCode == action::Logoff) what = "you will not be logged off";
    else what = "the computer does not shut down";
    return "Cancelled: " + what + " at " + ClockText(due) +
           ". The schedule is disarmed; tick Armed in Options to arm it again.";
}

ActionNotices::~ActionNotices() {
    try {
        closeAll();
        if (service_) service_->setActionHandler({}, nullptr);
    } catch (...) {
        // The desktop takes them away when they expire.
    }
}

void ActionNotices::attach(platform::INotifications* service, platform::IEventLoop* loop) {
    if (service == service_ && loop == loop_) return;
    if (service_ && service_ != service) service_->setActionHandler({}, nullptr);
    service_ = service;
    loop_ = loop;
    open_.clear();
    service_->setActionHandler([this](std::uint32_t id, const std::string& key) { chosen(id, key); }, loop_);
}

void ActionNotices::closeAll() {
    std::vector<std::uint32_t> ids;
    ids.swap(open_);
    if (!service_) return;
    for (std::uint32_t id : ids) service_->close(id);
}

void ActionNotices::update(platform::INotifications* service, platform::IEventLoop* loop, const Upcoming& u) {
    if (!service) return;
    attach(service, loop);
    // While the action runs, its notifications stay: "Cancel" still works.
    if (u.running) return;
    if (!EndsSession(u.actionCode) || u.due < 0) {
        due_ = -1;
        action_ = 0;
        leads_.clear();
        closeAll();
        return;
    }
    if (u.actionCode != action_ || due_ < 0 || std::llabs(u.due - due_) > kSameMoment) {
        // A new occurrence: the old one's notifications are out of date.
        closeAll();
        action_ = u.actionCode;
        due_ = u.due;
        leads_ = ParseLeadTimes(readLeadTimes ? readLeadTimes() : std::string(kDefaultLeadTimes));
        toldAtLeft_ = -1;
    }
    const long long left = u.due - u.now;
    // Every lead time reached is told by one notification: a schedule set
    // three minutes ahead tells once, not for 5 minutes and then at once again.
    bool reached = false;
    while (!leads_.empty() && leads_.front() >= left) {
        leads_.erase(leads_.begin());
        reached = true;
    }
    if (!reached || left <= 0) return;
    // A lead time reached just after the last notice (a schedule armed 70
    // seconds ahead, with a lead time of 60) would only say it again.
    if (toldAtLeft_ >= 0 && toldAtLeft_ - left < kMinimumGap) return;
    toldAtLeft_ = left;
    std::vector<platform::NotificationAction> actions{{"postpone", "Postpone 10 min"}};
    if (!cancelAllowed || cancelAllowed()) actions.push_back({"cancel", "Cancel"});
    const bool last = leads_.empty();
    const std::uint32_t id = service_->show(kTitle, DueNoticeText(u.actionCode, u.due, left), actions, last);
    if (id != 0) open_.push_back(id);
}

void ActionNotices::tell(const std::string& body) {
    if (!service_) return;
    service_->show(kTitle, body, {});
}

void ActionNotices::chosen(std::uint32_t id, const std::string& key) {
    if (!onChoice) return;
    // A click on the notification itself (a balloon) opens the window,
    // whichever it was; a button counts only on the occurrence told now.
    if (key == "default") return onChoice(key);
    if (std::find(open_.begin(), open_.end(), id) == open_.end()) return;
    onChoice(key);
}

}  // namespace nocturo
