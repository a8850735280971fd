#pragma once
// The desktop notifications that come before a scheduled action that ends
// the session (shut down, power off, restart, log off): one at each lead
// time before the due moment ("NotifyLeadTimes", seconds, "300,60" unless
// set), each with the buttons "Postpone 10 min" and "Cancel" where the
// desktop offers buttons.
//
// The main timer's tick tells what is coming (update); a due moment that
// moves (postponed) or changes its action is a new occurrence and gets its
// notifications again, and the notifications of the old one are taken away.
// What a button does is the window's business: the choice goes to onChoice.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/IEventLoop.h"
#include "platform/INotifications.h"

namespace nocturo {

inline constexpr const char* kLeadTimesSetting = "NotifyLeadTimes";
inline constexpr const char* kDefaultLeadTimes = "300,60";
inline constexpr long long kNoticePostponeSeconds = 600;

// The lead times of a setting: comma-separated whole seconds, 1 to 86400,
// spaces around them allowed; any other entry is left out. Largest first,
// each once. Empty: no notifications.
std::vector<long long> ParseLeadTimes(const std::string& text);

// Whether the action (action:: code) ends the session, and so is told
// before it comes.
bool EndsSession(std::int32_t actionCode);

// The notification's texts. due: the due moment in serial seconds; left:
// seconds until then.
std::string DueNoticeText(std::int32_t actionCode, long long due, long long left);
// "in 5 minutes", "in 1 minute", "in 40 seconds".
std::string InText(long long left);
// The cancelled occurrence, and that the schedule is disarmed.
std::string DisarmedNoticeText(std::int32_t actionCode, long long due);

class ActionNotices {
public:
    // What the tick sees coming.
    struct Upcoming {
        std::int32_t actionCode = 0;  // the action (action::); 0: none
        long long due = -1;           // the due moment in serial seconds; -1: nothing is due
        long long now = 0;            // the clock now, serial seconds
        bool running = false;         // an action runs: its notifications stay as they are
    };

    ActionNotices() = default;
    // Takes the open notifications away.
    ~ActionNotices();
    ActionNotices(const ActionNotices&) = delete;
    ActionNotices& operator=(const ActionNotices&) = delete;

    // The lead times' setting, read when a new occurrence is seen (unset:
    // the default).
    std::function<std::string()> readLeadTimes;
    // A button of a notification of the current occurrence was chosen
    // ("postpone", "cancel"), or any of ours was clicked ("default").
    std::function<void(const std::string& key)> onChoice;
    // Whether "Cancel" is offered (not while "Disable Cancel button" is set).
    std::function<bool()> cancelAllowed;

    // One look, from the main timer's tick. service null: notifications
    // are not available here. loop: where the choices are delivered.
    // Failures of the service throw platform::Error (the caller logs them).
    void update(platform::INotifications* service, platform::IEventLoop* loop, const Upcoming& upcoming);
    // A notification without buttons (a refusal, a confirmation).
    void tell(const std::string& body);
    // Takes this occurrence's notifications away.
    void closeAll();

    // The occurrence told about now: its due moment (-1: none) and action.
    long long occurrenceDue() const { return due_; }
    std::int32_t occurrenceAction() const { return action_; }
    const std::vector<std::uint32_t>& openIds() const { return open_; }

private:
    void attach(platform::INotifications* service, platform::IEventLoop* loop);
    void chosen(std::uint32_t id, const std::string& key);

    platform::INotifications* service_ = nullptr;
    platform::IEventLoop* loop_ = nullptr;
    std::int32_t action_ = 0;
    long long due_ = -1;
    std::vector<long long> leads_;  // the lead times not yet told, largest first
    long long toldAtLeft_ = -1;     // the seconds left when this occurrence was last told; -1: not yet
    std::vector<std::uint32_t> open_;
};

}  // namespace nocturo
