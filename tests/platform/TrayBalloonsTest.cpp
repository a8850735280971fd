// The notifications as balloons at the tray icon, over the simulated tray.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/common/TrayBalloons.h"
#include "platform/sim/Journal.h"
#include "platform/sim/SimTray.h"

using namespace nocturo::platform;

TEST(TrayBalloons, ABalloonNeedsTheIconAndOffersNoButtons) {
    Journal journal;
    SimTray tray(journal);
    TrayBalloons balloons(tray);
    EXPECT_FALSE(balloons.supportsActions());
    EXPECT_EQ(balloons.show("Nocturo", "The computer shuts down at 22:30 (in 5 minutes).",
                            {{"postpone", "Postpone 10 min"}}),
              0u);
    EXPECT_EQ(tray.balloonsShown(), 0);
    tray.addIcon("nocturo", "tip");
    EXPECT_EQ(balloons.show("Nocturo", "first", {}), 1u);
    EXPECT_EQ(balloons.show("Nocturo", "second", {}), 2u);
    EXPECT_EQ(tray.balloonsShown(), 2);
    const JsonObject& last = journal.entries().back();
    EXPECT_EQ(last.at("call").asString(), "Shell_NotifyIcon");
    EXPECT_EQ(last.at("flags").asNumber(), nif::Info);
    EXPECT_EQ(last.at("title").asString(), "Nocturo");
    EXPECT_EQ(last.at("text").asString(), "second");
}

TEST(TrayBalloons, AClickOnTheBalloonIsTheDefaultChoiceOfTheLastOne) {
    Journal journal;
    SimTray tray(journal);
    std::vector<std::pair<std::uint32_t, std::string>> chosen;
    {
        TrayBalloons balloons(tray);
        balloons.setActionHandler([&](std::uint32_t id, const std::string& key) { chosen.emplace_back(id, key); },
                                  nullptr);
        tray.addIcon("nocturo", "tip");
        EXPECT_FALSE(tray.clickBalloon());  // none shown yet
        balloons.show("Nocturo", "a", {});
        balloons.show("Nocturo", "b", {});
        EXPECT_TRUE(tray.clickBalloon());
        EXPECT_EQ(chosen, (std::vector<std::pair<std::uint32_t, std::string>>{{2, "default"}}));
        balloons.setActionHandler({}, nullptr);
        EXPECT_FALSE(tray.clickBalloon());
        balloons.setActionHandler([&](std::uint32_t id, const std::string& key) { chosen.emplace_back(id, key); },
                                  nullptr);
    }
    // Gone with the balloons: the tray tells nobody.
    EXPECT_FALSE(tray.clickBalloon());
    EXPECT_EQ(chosen.size(), 1u);
}
