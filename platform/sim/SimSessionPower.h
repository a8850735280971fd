#pragma once
// Simulated session and power calls: journalled, never carried out. A
// session end (log off, shut down, restart, power off) ends the process
// right after its journal line is written, as the operating system would;
// a test replaces that with its own hook.
#include <cstdint>
#include <functional>

#include "platform/ISessionPower.h"
#include "platform/sim/Journal.h"

namespace nocturo::platform {

class SimSessionPower : public ISessionPower {
public:
    using SessionEndHook = std::function<void(std::uint32_t flags)>;

    explicit SimSessionPower(Journal& journal);

    void enableShutdownPrivilege() override;
    void exitWindowsEx(std::uint32_t flags, std::uint32_t reserved) override;
    void setSuspendState(bool hibernate, bool forceCritical, bool disableWakeEvent) override;
    void terminateShell() override;
    void lockWorkstation() override;
    // Journalled as BlockSessionEnd; refused like every call when refusing.
    void blockSessionEnd(bool blocked) override;
    bool sessionEndBlocked() const { return blocked_; }

    // Called after an ExitWindowsEx has been journalled. The default ends
    // the process at once with exit code 0, without running destructors or
    // exit handlers (a session end does not let a program clean up), after
    // flushing the standard streams.
    void setSessionEndHook(SessionEndHook hook);
    // When refusing, every call is journalled and then throws
    // platform::Error(1000, "... refused"); a refused ExitWindowsEx does not
    // end the session.
    void setRefuse(bool refuse) { refuse_ = refuse; }
    bool refusing() const { return refuse_; }

    static void endProcess(std::uint32_t flags);

private:
    void refuseIfAsked(const char* call) const;

    Journal& journal_;
    SessionEndHook sessionEnd_;
    bool refuse_ = false;
    bool blocked_ = false;
};

}  // namespace nocturo::platform
