// The notifications before an action that ends the session, as the main
// timer's ticks drive them: lead times, wording, occurrences and buttons.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/TimeFormat.h"
#include "platform/sim/Journal.h"
#include "platform/sim/SimNotifications.h"
#include "shell/ActionNotices.h"
#include "shell/FrmMain.h"

using namespace nocturo;
using platform::SimNotifications;

namespace {

using Leads = std::vector<long long>;

// 2026-12-10 22:30:00 in serial seconds.
const long long kDue = SerialSeconds({2026, 12, 10, 22, 30, 0, 0, 3});

struct Ticks {
    platform::Journal journal;
    SimNotifications service{journal};
    ActionNotices notices;
    std::vector<std::string> choices;
    Ticks() {
        notices.onChoice = [this](const std::string& key) { choices.push_back(key); };
    }
    // One tick with `left` seconds to go before the action's due moment.
    void tick(long long left, std::int32_t code = action::Shutdown, long long due = kDue) {
        ActionNotices::Upcoming u;
        u.actionCode = code;
        u.due = due;
        u.now = due - left;
        notices.update(&service, nullptr, u);
    }
    void nothingDue(long long now = kDue - 1000) {
        ActionNotices::Upcoming u;
        u.now = now;
        notices.update(&service, nullptr, u);
    }
    // Ticks once a second from `from` seconds before the moment down to `to`.
    void countDown(long long from, long long to, std::int32_t code = action::Shutdown, long long due = kDue) {
        for (long long left = from; left >= to; --left) tick(left, code, due);
    }
    std::vector<std::string> bodies() const {
        std::vector<std::string> out;
        for (const auto& s : service.shown()) out.push_back(s.body);
        return out;
    }
};

}  // namespace

TEST(LeadTimes, TheSettingIsSecondsLargestFirstWithJunkLeftOut) {
    EXPECT_EQ(ParseLeadTimes("300,60"), (Leads{300, 60}));
    EXPECT_EQ(ParseLeadTimes(kDefaultLeadTimes), (Leads{300, 60}));
    EXPECT_EQ(ParseLeadTimes(" 60 , 300"), (Leads{300, 60}));
    EXPECT_EQ(ParseLeadTimes("60,x,,300,-5,0,1e3,90,90, 4 5,600s,+30"), (Leads{300, 90, 60}));
    EXPECT_EQ(ParseLeadTimes("86400,86401,9999999999999999999999"), (Leads{86400}));
    EXPECT_EQ(ParseLeadTimes("1"), (Leads{1}));
    EXPECT_EQ(ParseLeadTimes(""), Leads{});
    EXPECT_EQ(ParseLeadTimes("soon"), Leads{});
    EXPECT_EQ(ParseLeadTimes(",,,"), Leads{});
}

TEST(LeadTimes, InTextRoundsToMinutesAndSaysSecondsUnderOne) {
    EXPECT_EQ(InText(300), "in 5 minutes");
    EXPECT_EQ(InText(299), "in 5 minutes");
    EXPECT_EQ(InText(89), "in 1 minute");
    EXPECT_EQ(InText(60), "in 1 minute");
    EXPECT_EQ(InText(90), "in 2 minutes");
    EXPECT_EQ(InText(59), "in 59 seconds");
    EXPECT_EQ(InText(1), "in 1 second");
}

TEST(ActionNotices, AShutDownIsToldAtFiveMinutesAndAtOneWithBothButtons) {
    Ticks t;
    t.countDown(400, 1);
    ASSERT_EQ(t.service.shown().size(), 2u);
    EXPECT_EQ(t.bodies(), (std::vector<std::string>{"The computer shuts down at 22:30 (in 5 minutes).",
                                                    "The computer shuts down at 22:30 (in 1 minute)."}));
    for (const auto& s : t.service.shown()) {
        EXPECT_EQ(s.title, "Nocturo");
        ASSERT_EQ(s.actions.size(), 2u);
        EXPECT_EQ(s.actions[0].key, "postpone");
        EXPECT_EQ(s.actions[0].label, "Postpone 10 min");
        EXPECT_EQ(s.actions[1].key, "cancel");
        EXPECT_EQ(s.actions[1].label, "Cancel");
    }
    // The last one stays until the user closes it.
    EXPECT_FALSE(t.service.shown()[0].urgent);
    EXPECT_TRUE(t.service.shown()[1].urgent);
    EXPECT_EQ(t.journal.calls(), (std::vector<std::string>{"Notify", "Notify"}));
}

TEST(ActionNotices, EachActionThatEndsTheSessionHasItsWordsAndNoOtherIsTold) {
    struct Row {
        std::int32_t code;
        const char* body;
    };
    for (const Row& row : {Row{action::Shutdown, "The computer shuts down at 22:30 (in 5 minutes)."},
                           Row{action::PowerOff, "The computer shuts down at 22:30 (in 5 minutes)."},
                           Row{action::Restart, "The computer restarts at 22:30 (in 5 minutes)."},
                           Row{action::Logoff, "You will be logged off at 22:30 (in 5 minutes)."}}) {
        Ticks t;
        t.countDown(301, 299, row.code);
        EXPECT_EQ(t.bodies(), std::vector<std::string>{row.body}) << row.code;
    }
    for (std::int32_t code : {action::Alarm, action::StartProgram, action::LockPC, action::Suspend, action::Hibernate,
                              std::int32_t{0}}) {
        Ticks t;
        t.countDown(400, 0, code);
        EXPECT_TRUE(t.service.shown().empty()) << code;
    }
}

TEST(ActionNotices, AMomentOffTheMinuteShowsItsSeconds) {
    Ticks t;
    t.tick(60, action::Shutdown, kDue + 15);
    EXPECT_EQ(t.bodies(), std::vector<std::string>{"The computer shuts down at 22:30:15 (in 1 minute)."});
}

TEST(ActionNotices, ASchedulePassingSeveralLeadTimesAtOnceIsToldOnce) {
    Ticks t;
    // Armed three minutes ahead: once now, and again at one minute.
    t.countDown(180, 0);
    EXPECT_EQ(t.bodies(), (std::vector<std::string>{"The computer shuts down at 22:30 (in 3 minutes).",
                                                    "The computer shuts down at 22:30 (in 1 minute)."}));
    // A tick that comes only every ten seconds (the time window's) still tells each.
    Ticks slow;
    for (long long left = 605; left > 0; left -= 10) slow.tick(left);
    EXPECT_EQ(slow.bodies(), (std::vector<std::string>{"The computer shuts down at 22:30 (in 5 minutes).",
                                                       "The computer shuts down at 22:30 (in 55 seconds)."}));
    // Armed just before a lead time: the notice then would say the same again.
    Ticks close;
    close.countDown(70, 1);
    EXPECT_EQ(close.bodies(), std::vector<std::string>{"The computer shuts down at 22:30 (in 1 minute)."});
    Ticks apart;
    apart.countDown(90, 1);
    EXPECT_EQ(apart.bodies(), (std::vector<std::string>{"The computer shuts down at 22:30 (in 2 minutes).",
                                                        "The computer shuts down at 22:30 (in 1 minute)."}));
    // At the moment itself nothing more is told.
    Ticks late;
    late.tick(0);
    EXPECT_TRUE(late.service.shown().empty());
}

TEST(ActionNotices, TheLeadTimesComeFromTheSettingOfEachNewOccurrence) {
    Ticks t;
    std::string setting = "120";
    t.notices.readLeadTimes = [&] { return setting; };
    t.countDown(400, 1);
    EXPECT_EQ(t.bodies(), std::vector<std::string>{"The computer shuts down at 22:30 (in 2 minutes)."});
    setting = "";
    Ticks none;
    none.notices.readLeadTimes = [&] { return setting; };
    none.countDown(400, 1);
    EXPECT_TRUE(none.service.shown().empty());
    // A changed setting counts from the next occurrence on.
    setting = "30";
    t.countDown(400, 1, action::Shutdown, kDue + 86400);
    EXPECT_EQ(t.bodies().back(), "The computer shuts down at 22:30 (in 30 seconds).");
    EXPECT_EQ(t.bodies().size(), 2u);
}

TEST(ActionNotices, APostponedMomentIsANewOccurrenceAndTheOldNoticesGo) {
    Ticks t;
    t.countDown(310, 299);
    ASSERT_EQ(t.service.shown().size(), 1u);
    const std::uint32_t old = t.service.shown()[0].id;
    // Postponed by 10 minutes: the old notice is closed, the new moment is
    // told at its own lead times.
    const long long later = kDue + 600;
    t.tick(899, action::Shutdown, later);
    EXPECT_TRUE(t.service.openNow().empty());
    EXPECT_EQ(t.journal.calls().back(), "CloseNotification");
    EXPECT_EQ(t.journal.entries().back().at("id").asNumber(), old);
    t.countDown(898, 1, action::Shutdown, later);
    EXPECT_EQ(t.bodies(), (std::vector<std::string>{"The computer shuts down at 22:30 (in 5 minutes).",
                                                    "The computer shuts down at 22:40 (in 5 minutes).",
                                                    "The computer shuts down at 22:40 (in 1 minute)."}));
    EXPECT_EQ(t.notices.occurrenceDue(), later);
}

TEST(ActionNotices, AMomentReadASecondOffIsTheSameOccurrence) {
    Ticks t;
    // A count read between two seconds: the moment wobbles by one.
    for (long long left = 400; left > 0; --left) t.tick(left, action::Shutdown, kDue + (left % 2));
    EXPECT_EQ(t.service.shown().size(), 2u);
    EXPECT_EQ(t.journal.calls(), (std::vector<std::string>{"Notify", "Notify"}));
}

TEST(ActionNotices, NothingDueTakesTheNoticesAwayButARunningActionKeepsThem) {
    Ticks t;
    t.countDown(70, 50);
    ASSERT_EQ(t.service.openNow().size(), 1u);
    ASSERT_EQ(t.service.shown().size(), 1u);
    ActionNotices::Upcoming running;
    running.now = kDue;
    running.running = true;
    t.notices.update(&t.service, nullptr, running);
    EXPECT_EQ(t.service.openNow().size(), 1u);
    // Its Cancel still counts while the action runs.
    EXPECT_TRUE(t.service.choose(t.service.shown()[0].id, "cancel"));
    EXPECT_EQ(t.choices, std::vector<std::string>{"cancel"});
    t.nothingDue(kDue + 30);
    EXPECT_TRUE(t.service.openNow().empty());
    // Disarmed and armed again: the same moment is told anew.
    t.countDown(70, 50);
    EXPECT_EQ(t.service.shown().size(), 2u);
}

TEST(ActionNotices, ButtonsCountOnlyOnTheOccurrenceToldNowAndAClickAlwaysOpensTheWindow) {
    // A service that hands the choices straight over, as a desktop does when
    // the user clicks a notification just before it is taken away.
    struct Direct : platform::INotifications {
        ActionHandler handler;
        std::uint32_t next = 1;
        std::uint32_t show(const std::string&, const std::string&, const std::vector<platform::NotificationAction>&,
                           bool) override {
            return next++;
        }
        void close(std::uint32_t) override {}
        bool supportsActions() override { return true; }
        void setActionHandler(ActionHandler h, platform::IEventLoop*) override { handler = std::move(h); }
    } direct;
    ActionNotices notices;
    std::vector<std::string> choices;
    notices.onChoice = [&](const std::string& key) { choices.push_back(key); };
    auto tick = [&](long long left, long long due) {
        ActionNotices::Upcoming u;
        u.actionCode = action::Shutdown;
        u.due = due;
        u.now = due - left;
        notices.update(&direct, nullptr, u);
    };
    tick(300, kDue);
    ASSERT_TRUE(direct.handler);
    direct.handler(1, "postpone");
    EXPECT_EQ(choices, std::vector<std::string>{"postpone"});
    tick(899, kDue + 600);
    tick(300, kDue + 600);
    // The old occurrence's buttons change nothing; the new one's do; a click
    // on any of ours opens the window.
    direct.handler(1, "cancel");
    direct.handler(99, "cancel");
    direct.handler(2, "cancel");
    direct.handler(1, "default");
    EXPECT_EQ(choices, (std::vector<std::string>{"postpone", "cancel", "default"}));
}

TEST(ActionNotices, WithoutCancelAllowedOnlyPostponeIsOfferedAndWithoutButtonsNone) {
    Ticks t;
    t.notices.cancelAllowed = [] { return false; };
    t.tick(300);
    ASSERT_EQ(t.service.shown().size(), 1u);
    ASSERT_EQ(t.service.shown()[0].actions.size(), 1u);
    EXPECT_EQ(t.service.shown()[0].actions[0].key, "postpone");

    Ticks plain;
    plain.service.setActionsSupported(false);
    plain.tick(300);
    ASSERT_EQ(plain.service.shown().size(), 1u);
    EXPECT_TRUE(plain.service.shown()[0].actions.empty());
}

TEST(ActionNotices, TellShowsANoticeWithoutButtonsThatIsNotTakenAwayWithTheOccurrence) {
    Ticks t;
    t.tick(300);
    t.notices.tell("Not postponed: Nothing is due.");
    ASSERT_EQ(t.service.shown().size(), 2u);
    EXPECT_TRUE(t.service.shown()[1].actions.empty());
    EXPECT_EQ(t.service.shown()[1].body, "Not postponed: Nothing is due.");
    t.nothingDue();
    EXPECT_EQ(t.service.openNow().size(), 1u);
    EXPECT_EQ(t.service.openNow()[0].body, "Not postponed: Nothing is due.");
}

TEST(ActionNotices, TheDisarmedTextNamesTheActionAndTheMoment) {
    EXPECT_EQ(DisarmedNoticeText(action::Shutdown, kDue),
              "Cancelled: the computer does not shut down at 22:30. The schedule is disarmed; tick Armed in "
              "Options to arm it again.");
    EXPECT_EQ(DisarmedNoticeText(action::Restart, kDue).rfind("Cancelled: the computer does not restart at 22:30.", 0),
              0u);
    EXPECT_EQ(DisarmedNoticeText(action::Logoff, kDue).rfind("Cancelled: you will not be logged off at 22:30.", 0), 0u);
}
