#pragma once
// Simulated screen saver: its switch and time-out are journalled; how long
// the user has been idle, and whether the system runs the screen saver
// program itself, are what a test scripts.
#include <cstdint>
#include <optional>

#include "platform/IScreenSaver.h"
#include "platform/sim/Journal.h"

namespace nocturo::platform {

class SimScreenSaver : public IScreenSaver {
public:
    explicit SimScreenSaver(Journal& journal) : journal_(journal) {}

    void setActive(bool active) override;
    void setTimeout(std::int32_t seconds) override;
    std::optional<std::int64_t> idleSeconds() override { return idle_; }
    bool runsScreenSaverProgram() const override { return systemRuns_; }

    bool active() const { return active_; }
    std::int32_t timeout() const { return timeout_; }
    void setIdleSeconds(std::optional<std::int64_t> seconds) { idle_ = seconds; }
    void setRunsScreenSaverProgram(bool runs) { systemRuns_ = runs; }
    // When refusing, both calls are journalled and then throw platform::Error.
    void setRefuse(bool refuse) { refuse_ = refuse; }

private:
    Journal& journal_;
    bool active_ = false;
    std::int32_t timeout_ = 0;
    std::optional<std::int64_t> idle_ = 0;
    bool systemRuns_ = false;
    bool refuse_ = false;
};

}  // namespace nocturo::platform
