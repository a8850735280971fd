#pragma once
// A dbus-daemon of the test's own, and fake services on it.
//
// Tests of the backends that talk to system services start a PrivateBus in
// a temporary folder, point the backend at its address and serve the
// service's methods from a BusServiceThread. The real buses are never
// contacted.
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#if NOCTURO_HAVE_SDBUS
#include <systemd/sd-bus.h>
#endif

namespace nocturo::test {

// The full path of `program` on PATH, if it is there.
std::optional<std::string> FindInPath(const std::string& program);

// The text of the platform::Error that call raises ("<no error>" when it
// raises none); its number goes to *number when asked for.
std::string ErrorText(const std::function<void()>& call, long* number = nullptr);

// A dbus-daemon of our own, listening in `folder` (keep its path short:
// socket paths are limited to about 100 characters), with no activatable
// services and a policy that lets anyone own any name.
class PrivateBus {
public:
    PrivateBus(const std::string& daemon, const std::string& folder);
    // With a configuration of the test's own: its text, in which "@FOLDER@"
    // stands for folder (as in <listen>unix:dir=@FOLDER@</listen>).
    PrivateBus(const std::string& daemon, const std::string& folder, const std::string& config);
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const std::string& address() const { return address_; }

private:
    void Stop();

    int pid_ = -1;
    std::string address_;
};

// A configuration for PrivateBus that keeps the system bus's rules: any
// user may connect, no one may own a name or call a method unless a policy
// says so. The policy files named are included (absolute paths); root may
// also own and call org.freedesktop.PolicyKit1 (a fake authority).
std::string SystemBusConfig(const std::vector<std::string>& policyFiles);

#if NOCTURO_HAVE_SDBUS

// Serves a bus connection from its own thread. `setup` runs on that thread
// once connected: it adds the object vtables and requests the names, and
// returns an empty text or what went wrong. The constructor returns once the
// service is on the bus (or raises what kept it off).
class BusServiceThread {
public:
    BusServiceThread(const std::string& address, std::function<std::string(sd_bus*)> setup);
    ~BusServiceThread();
    BusServiceThread(const BusServiceThread&) = delete;
    BusServiceThread& operator=(const BusServiceThread&) = delete;

    // Runs fn on the service's thread with its connection, soon (within a
    // few tens of milliseconds): a signal the service sends, for instance.
    void post(std::function<void(sd_bus*)> fn);

private:
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex postedMutex_;
    std::vector<std::function<void(sd_bus*)>> posted_;
};

// The calls a fake service received, as "Member(args)", and the refusals it
// was told to give.
class CallRecorder {
public:
    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }
    // The method `member` fails from now on with this D-Bus error.
    void refuse(const std::string& member, const std::string& errorName, const std::string& message) {
        std::lock_guard lock(mutex_);
        refusals_[member] = {errorName, message};
    }
    // Records the call; returns the refusal to send (a negative number, with
    // `error` set) if one is set, else 0.
    int record(sd_bus_message* m, const std::string& args, sd_bus_error* error);

private:
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::map<std::string, std::pair<std::string, std::string>> refusals_;
};

#endif

}  // namespace nocturo::test
