// The program at rest: how often it wakes up and how much CPU it takes while
// it only waits for its schedule. Each case starts the built program, lets it
// settle, then counts its threads' context switches (every return from a wait
// is one) and its CPU time (to the clock tick) over a measured stretch.
//
// Cases: the desktop program with its window shown, the desktop program in
// the tray (or minimised when the desktop has no tray), and --headless. The
// desktop cases run on the display in DISPLAY, or on a private Xvfb (with
// trayer as its tray when installed). The schedule is the default mode (a time
// of day, the timer ticking every 500 ms) with an alarm twelve hours ahead:
// nothing is ever done to the machine.
//
// Usage: bench_IdleBench [SECONDS]   (default 60)
#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string binDir() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    std::string self(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    return self.substr(0, self.rfind('/')) + "/../bin";
}

bool haveProgram(const char* name) {
    return std::system((std::string("command -v ") + name + " > /dev/null 2>&1").c_str()) == 0;
}

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, bool quiet = true) {
    pid_t pid = fork();
    if (pid == 0) {
        for (const auto& e : env) putenv(const_cast<char*>(e.c_str()));
        if (quiet) {
            FILE* null = std::fopen("/dev/null", "w");
            if (null) {
                dup2(fileno(null), 1);
                dup2(fileno(null), 2);
            }
        }
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

void stop(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// Context switches of each thread (every return from a wait is one), and
// user + system CPU of the process in milliseconds.
struct Sample {
    std::map<std::string, long long> switches;  // by thread id
    double cpuMs = 0;
};

Sample sample(pid_t pid) {
    Sample s;
    const std::string base = "/proc/" + std::to_string(pid);
    if (DIR* d = opendir((base + "/task").c_str())) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] == '.') continue;
            std::ifstream status(base + "/task/" + e->d_name + "/status");
            std::string line;
            long long n = 0;
            while (std::getline(status, line))
                if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                    n += std::atoll(line.substr(line.find(':') + 1).c_str());
            s.switches[e->d_name] = n;
        }
        closedir(d);
    }
    std::ifstream stat(base + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i == 14 || i == 15) ticks += std::atoll(field.c_str());
    s.cpuMs = static_cast<double>(ticks) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    return s;
}

// The switches between two samples: of the threads there at the end (a pool
// thread that retires meanwhile takes its last few along).
long long switchesBetween(const Sample& a, const Sample& b) {
    long long n = 0;
    for (const auto& [tid, count] : b.switches) {
        auto it = a.switches.find(tid);
        n += count - (it == a.switches.end() ? 0 : it->second);
    }
    return n;
}

void settings(const std::string& ctl, const std::vector<std::string>& env, bool tray) {
    // The default schedule mode (a time of day, ticks every 500 ms), twelve
    // hours from now, and an alarm as the action.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char hour[8];
    std::snprintf(hour, sizeof hour, "%02d", (local.tm_hour + 12) % 24);
    const std::vector<std::vector<std::string>> values = {
        {"optActions0", "0"},  {"optActions4", "-1"}, {"optShutdownTime0", "-1"}, {"txtHour", hour},
        {"txtMinute", "00"},   {"txtSEC", "00"},      {"chkSound", "0"},          {"chkVoice", "0"},
        {"chkStartInSysTray", tray ? "1" : "0"},
    };
    for (const auto& v : values) {
        std::vector<std::string> argv = {ctl, "settings", "set", "user", v[0], v[1]};
        if (v[0].rfind("txt", 0) != 0) argv.push_back("--dword");
        pid_t pid = spawn(argv, env);
        waitpid(pid, nullptr, 0);
    }
}

void measure(const char* name, const std::vector<std::string>& argv, const std::vector<std::string>& env,
             int seconds) {
    pid_t pid = spawn(argv, env);
    std::this_thread::sleep_for(std::chrono::seconds(8));  // the splash and the start-up
    if (waitpid(pid, nullptr, WNOHANG) == pid) {
        std::printf("%-34s did not keep running\n", name);
        return;
    }
    const Sample a = sample(pid);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const Sample b = sample(pid);
    stop(pid);
    const double wakeups = static_cast<double>(switchesBetween(a, b)) / seconds;
    const double cpuMsPerMinute = (b.cpuMs - a.cpuMs) * 60.0 / seconds;
    std::printf("%-34s %6.1f wakeups/s  %6.1f ms CPU per minute\n", name, wakeups, cpuMsPerMinute);
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    const std::string bin = binDir();
    char folder[] = "/tmp/nocturo-idle-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string dir = folder;

    pid_t xvfb = 0, trayer = 0;
    std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    if (display.empty() && haveProgram("Xvfb")) {
        display = ":" + std::to_string(90 + getpid() % 100);
        xvfb = spawn({"Xvfb", display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, {});
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    if (!display.empty() && haveProgram("trayer"))
        trayer = spawn({"trayer", "--edge", "top", "--align", "right"}, {"DISPLAY=" + display});

    std::printf("At rest, measured over %d s after an 8 s start:\n", seconds);
    auto env = [&](const std::string& store, bool sim) {
        std::vector<std::string> e = {"NOCTURO_REGISTRY=" + dir + "/" + store, "NOCTURO_SIM_JOURNAL=" + dir + "/j.jsonl"};
        if (sim) e.push_back("NOCTURO_PLATFORM=sim");
        if (!display.empty()) e.push_back("DISPLAY=" + display);
        return e;
    };
    if (!display.empty()) {
        settings(bin + "/nocturoctl", env("shown.reg", true), false);
        measure("desktop, window shown", {bin + "/nocturo"}, env("shown.reg", true), seconds);
        settings(bin + "/nocturoctl", env("tray.reg", true), true);
        measure(trayer ? "desktop, in the tray" : "desktop, minimised (no tray)", {bin + "/nocturo"},
                env("tray.reg", true), seconds);
    } else {
        std::printf("no display and no Xvfb: the desktop cases are left out\n");
    }
    // The real loop of the headless program; its schedule only ever sounds an alarm.
    settings(bin + "/nocturoctl", env("headless.reg", false), false);
    auto headless = env("headless.reg", false);
    measure("headless (Linux loop)", {bin + "/nocturo", "--headless"}, headless, seconds);
    auto noDisplay = headless;
    noDisplay.erase(std::remove_if(noDisplay.begin(), noDisplay.end(),
                                   [](const std::string& e) { return e.rfind("DISPLAY=", 0) == 0; }),
                    noDisplay.end());
    noDisplay.push_back("DISPLAY=");
    measure("headless, no X display", {bin + "/nocturo", "--headless"}, noDisplay, seconds);

    stop(trayer);
    stop(xvfb);
    std::system(("rm -rf " + dir).c_str());
    return 0;
}
