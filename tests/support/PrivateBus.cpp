#include "support/PrivateBus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <stdexcept>

#include "platform/Error.h"
#include "support/TestSupport.h"

namespace nocturo::test {

using namespace std::chrono_literals;

namespace {
constexpr auto kStartTimeout = 10s;

std::string ReadLine(int fd) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (line.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return {};
        pollfd p{fd, POLLIN, 0};
        int r = poll(&p, 1, static_cast<int>(left.count()));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return {};
        char buf[256];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return {};
        line.append(buf, static_cast<std::size_t>(n));
    }
    return line.substr(0, line.find('\n'));
}
}  // namespace

std::string ErrorText(const std::function<void()>& call, long* number) {
    try {
        call();
    } catch (const platform::Error& e) {
        if (number) *number = e.number();
        return e.what();
    }
    return "<no error>";
}

std::optional<std::string> FindInPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string candidate = dirs.substr(start, end - start) + "/" + program;
        if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

PrivateBus::PrivateBus(const std::string& daemon, const std::string& folder)
    : PrivateBus(daemon, folder,
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig>\n"
        "  <type>session</type>\n"
        "  <listen>unix:dir=@FOLDER@</listen>\n"
        "  <auth>EXTERNAL</auth>\n"
        "  <policy context=\"default\">\n"
        "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
        "    <allow eavesdrop=\"true\"/>\n"
        "    <allow own=\"*\"/>\n"
        "  </policy>\n"
        "</busconfig>\n") {}

PrivateBus::PrivateBus(const std::string& daemon, const std::string& folder, const std::string& configText) {
    const std::string config = folder + "/bus.conf";
    std::string text = configText;
    for (std::size_t at; (at = text.find("@FOLDER@")) != std::string::npos;) text.replace(at, 8, folder);
    WriteWholeFile(config, text);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    // Everything the child needs is prepared before fork.
    const std::string configArg = "--config-file=" + config;
    const std::string printArg = "--print-address=" + std::to_string(fds[1]);
    std::vector<char*> argv{const_cast<char*>(daemon.c_str()), const_cast<char*>(configArg.c_str()),
                            const_cast<char*>("--nofork"), const_cast<char*>("--nopidfile"),
                            const_cast<char*>(printArg.c_str()), nullptr};
    const std::string logPath = folder + "/dbus-daemon.log";
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ < 0) {
        close(fds[0]);
        close(fds[1]);
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        // Do not outlive a test program that dies.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        fcntl(fds[1], F_SETFD, 0);
        // Its chatter goes to a log file beside the socket.
        int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (log >= 0) {
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    address_ = ReadLine(fds[0]);
    close(fds[0]);
    if (address_.empty()) {
        Stop();
        throw std::runtime_error("dbus-daemon did not report its address: " +
                                 ReadWholeFile(logPath));
    }
}

PrivateBus::~PrivateBus() { Stop(); }

std::string SystemBusConfig(const std::vector<std::string>& policyFiles) {
    std::string text =
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig>\n"
        "  <type>system</type>\n"
        "  <listen>unix:dir=@FOLDER@</listen>\n"
        "  <auth>EXTERNAL</auth>\n"
        "  <policy context=\"default\">\n"
        "    <allow user=\"*\"/>\n"
        "    <deny own=\"*\"/>\n"
        "    <deny send_type=\"method_call\"/>\n"
        "    <allow send_type=\"signal\"/>\n"
        "    <allow send_requested_reply=\"true\" send_type=\"method_return\"/>\n"
        "    <allow send_requested_reply=\"true\" send_type=\"error\"/>\n"
        "    <allow receive_type=\"method_call\"/>\n"
        "    <allow receive_type=\"method_return\"/>\n"
        "    <allow receive_type=\"error\"/>\n"
        "    <allow receive_type=\"signal\"/>\n"
        "    <allow send_destination=\"org.freedesktop.DBus\" send_interface=\"org.freedesktop.DBus\"/>\n"
        "    <allow send_destination=\"org.freedesktop.DBus\"\n"
        "           send_interface=\"org.freedesktop.DBus.Introspectable\"/>\n"
        "  </policy>\n"
        "  <policy user=\"root\">\n"
        "    <allow own=\"org.freedesktop.PolicyKit1\"/>\n"
        "    <allow send_destination=\"org.freedesktop.PolicyKit1\"/>\n"
        "  </policy>\n";
    for (const auto& file : policyFiles) text += "  <include>" + file + "</include>\n";
    return text + "</busconfig>\n";
}

void PrivateBus::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (waitpid(pid_, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(10ms);
    }
    pid_ = -1;
}

#if NOCTURO_HAVE_SDBUS

BusServiceThread::BusServiceThread(const std::string& address, std::function<std::string(sd_bus*)> setup) {
    std::promise<std::string> started;
    auto result = started.get_future();
    thread_ = std::thread([this, address, setup = std::move(setup), p = std::move(started)]() mutable {
        sd_bus* bus = nullptr;
        auto fail = [&](const char* step, int r) {
            p.set_value(std::string(step) + ": " + std::strerror(-r));
            sd_bus_flush_close_unref(bus);
        };
        int r = sd_bus_new(&bus);
        if (r < 0) return fail("sd_bus_new", r);
        if ((r = sd_bus_set_address(bus, address.c_str())) < 0) return fail("sd_bus_set_address", r);
        if ((r = sd_bus_set_bus_client(bus, 1)) < 0) return fail("sd_bus_set_bus_client", r);
        if ((r = sd_bus_start(bus)) < 0) return fail("sd_bus_start", r);
        std::string problem = setup(bus);
        if (!problem.empty()) {
            p.set_value(problem);
            sd_bus_flush_close_unref(bus);
            return;
        }
        p.set_value({});
        while (!stop_) {
            std::vector<std::function<void(sd_bus*)>> work;
            {
                std::lock_guard lock(postedMutex_);
                work.swap(posted_);
            }
            for (auto& fn : work) fn(bus);
            if (!work.empty()) sd_bus_flush(bus);
            r = sd_bus_process(bus, nullptr);
            if (r < 0) break;
            if (r > 0) continue;
            sd_bus_wait(bus, 20'000);  // microseconds; short so that stop_ is seen soon
        }
        sd_bus_flush_close_unref(bus);
    });
    if (result.wait_for(kStartTimeout) != std::future_status::ready) {
        stop_ = true;
        thread_.join();
        throw std::runtime_error("fake service did not start in time");
    }
    std::string problem = result.get();
    if (!problem.empty()) {
        thread_.join();
        throw std::runtime_error("fake service: " + problem);
    }
}

void BusServiceThread::post(std::function<void(sd_bus*)> fn) {
    std::lock_guard lock(postedMutex_);
    posted_.push_back(std::move(fn));
}

BusServiceThread::~BusServiceThread() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

int CallRecorder::record(sd_bus_message* m, const std::string& args, sd_bus_error* error) {
    const std::string member = sd_bus_message_get_member(m);
    std::lock_guard lock(mutex_);
    calls_.push_back(member + "(" + args + ")");
    auto refusal = refusals_.find(member);
    if (refusal != refusals_.end())
        return sd_bus_error_set(error, refusal->second.first.c_str(), refusal->second.second.c_str());
    return 0;
}

#endif

}  // namespace nocturo::test
