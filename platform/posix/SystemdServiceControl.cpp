#include "platform/posix/SystemdServiceControl.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/Error.h"

#if NOCTURO_HAVE_SDBUS
#include "platform/posix/SdBus.h"
#endif

namespace nocturo::platform {

namespace {

std::string FromEnv(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

[[noreturn]] void FailErrno(const std::string& what, int error) {
    throw Error(error == EACCES || error == EPERM ? err::PermissionDenied : err::PathFileAccess,
                what + ": " + std::strerror(error));
}

void MakeFolders(const std::string& folder) {
    for (size_t at = 1; at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '/') continue;
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) FailErrno("cannot create " + part, errno);
    }
}

// Writes the whole file or nothing: a temporary file beside it, then a rename.
void WriteAtomically(const std::string& path, const std::string& text) {
    const std::string folder = path.substr(0, path.rfind('/'));
    MakeFolders(folder);
    std::string temp = path + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) FailErrno("cannot write " + path, errno);
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int e = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            FailErrno("cannot write " + path, e);
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0 || ::close(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
        int e = errno;
        ::unlink(temp.c_str());
        FailErrno("cannot write " + path, e);
    }
}

void RemoveFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) FailErrno("cannot remove " + path, errno);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

SystemdServiceControl::SystemdServiceControl(std::string programFolder, std::string busAddress, std::string unitFolder)
    : programFolder_(std::move(programFolder)), busAddress_(std::move(busAddress)), unitFolder_(std::move(unitFolder)) {
    if (busAddress_.empty()) busAddress_ = FromEnv("NOCTURO_SYSTEMD_BUS");
    if (unitFolder_.empty()) unitFolder_ = FromEnv("NOCTURO_UNIT_DIR");
    if (unitFolder_.empty()) unitFolder_ = "/etc/systemd/system";
}

// ---- start at login -------------------------------------------------------

std::string SystemdServiceControl::autostartPath() {
    std::string config = FromEnv("XDG_CONFIG_HOME");
    if (config.empty() || config[0] != '/') config = FromEnv("HOME") + "/.config";
    return config + "/autostart/" + kEntryName;
}

std::string SystemdServiceControl::execArgument(const std::string& argument) {
    static constexpr const char* kReserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string out;
    if (argument.find_first_of(kReserved) == std::string::npos) {
        out = argument;
    } else {
        out = "\"";
        for (char c : argument) {
            // Inside quotes these four are escaped with a backslash, and every
            // backslash is escaped once more as the entry's string value.
            if (c == '"' || c == '`' || c == '$') out += "\\\\";
            if (c == '\\') out += "\\\\\\";
            out += c;
        }
        out += "\"";
    }
    std::string escaped;
    for (char c : out) {
        if (c == '%') escaped += '%';
        escaped += c;
    }
    return escaped;
}

std::string SystemdServiceControl::desktopEntryText(const std::string& name, const std::string& programPath) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" + name + "\n"
           "Comment=Shutdown timer\n"
           "Exec=" + execArgument(programPath) + "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool SystemdServiceControl::autostartPresent() { return Exists(autostartPath()); }

void SystemdServiceControl::writeAutostart(const std::string& name, const std::string& programPath) {
    WriteAtomically(autostartPath(), desktopEntryText(name, programPath));
}

void SystemdServiceControl::removeAutostart() { RemoveFile(autostartPath()); }

// ---- the unit -------------------------------------------------------------

std::string SystemdServiceControl::unitText() const {
    return "[Unit]\n"
           "Description=Nocturo shutdown timer\n"
           "After=network-online.target\n"
           "\n"
           "[Service]\n"
           "Type=notify\n"
           "ExecStart=" + programFolder_ + "/nocturo --headless\n"
           "Environment=NOCTURO_REGISTRY=/var/lib/nocturo/registry.reg\n"
           "StateDirectory=nocturo\n"
           "KillSignal=SIGTERM\n"
           "\n"
           "[Install]\n"
           "WantedBy=multi-user.target\n";
}

std::vector<std::string> SystemdServiceControl::installCalls() const {
    return {"EnableUnitFiles([\"" + unitPath() + "\"], false, true)", "Reload()",
            std::string("StartUnit(\"") + kUnitName + "\", \"replace\")"};
}

std::vector<std::string> SystemdServiceControl::uninstallCalls() const {
    return {std::string("StopUnit(\"") + kUnitName + "\", \"replace\")",
            std::string("DisableUnitFiles([\"") + kUnitName + "\"], false)", "Reload()"};
}

bool SystemdServiceControl::serviceInstalled() { return Exists(unitPath()); }

#if NOCTURO_HAVE_SDBUS

namespace {

constexpr const char* kService = "org.freedesktop.systemd1";
constexpr const char* kPath = "/org/freedesktop/systemd1";
constexpr const char* kManager = "org.freedesktop.systemd1.Manager";
constexpr const char* kUnit = "org.freedesktop.systemd1.Unit";

using namespace sdbus;

BusPtr Open(const std::string& address, const char* member) {
    return OpenInteractiveBus(address, Label(kManager, member));
}

// A method taking a list of unit files and flags.
void CallWithFiles(sd_bus* bus, const char* member, const std::string& file, int runtime, int force, bool withForce) {
    BusError error;
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_method_call(bus, &raw, kService, kPath, kManager, member);
    if (r < 0) Fail(Label(kManager, member), r, nullptr);
    MessagePtr m(raw);
    r = sd_bus_message_append(m.get(), "as", 1, file.c_str());
    if (r >= 0) r = withForce ? sd_bus_message_append(m.get(), "bb", runtime, force) : sd_bus_message_append(m.get(), "b", runtime);
    if (r < 0) Fail(Label(kManager, member), r, nullptr);
    sd_bus_message* reply = nullptr;
    r = sd_bus_call(bus, m.get(), 0, &error.e, &reply);
    MessagePtr keep(reply);
    if (r < 0) Fail(Label(kManager, member), r, &error.e);
}

void CallJob(sd_bus* bus, const char* member) {
    Call(bus, kService, kPath, kManager, member, "ss", SystemdServiceControl::kUnitName, "replace");
}

}  // namespace

bool SystemdServiceControl::supported() noexcept { return true; }

void SystemdServiceControl::installService() {
    WriteAtomically(unitPath(), unitText());
    BusPtr bus = Open(busAddress_, "EnableUnitFiles");
    CallWithFiles(bus.get(), "EnableUnitFiles", unitPath(), 0, 1, true);
    Call(bus.get(), kService, kPath, kManager, "Reload", "");
    CallJob(bus.get(), "StartUnit");
}

void SystemdServiceControl::uninstallService() {
    BusPtr bus = Open(busAddress_, "StopUnit");
    CallJob(bus.get(), "StopUnit");
    CallWithFiles(bus.get(), "DisableUnitFiles", kUnitName, 0, 0, false);
    RemoveFile(unitPath());
    Call(bus.get(), kService, kPath, kManager, "Reload", "");
}

bool SystemdServiceControl::serviceRunning() {
    BusPtr bus = Open(busAddress_, "GetUnit");
    BusError error;
    sd_bus_message* reply = nullptr;
    int r = sd_bus_call_method(bus.get(), kService, kPath, kManager, "GetUnit", &error.e, &reply, "s", kUnitName);
    MessagePtr keep(reply);
    if (r < 0) {
        // Not loaded: not running.
        if (sd_bus_error_has_name(&error.e, "org.freedesktop.systemd1.NoSuchUnit")) return false;
        Fail(Label(kManager, "GetUnit"), r, &error.e);
    }
    const char* path = nullptr;
    r = sd_bus_message_read(reply, "o", &path);
    if (r < 0) Fail(Label(kManager, "GetUnit"), r, nullptr);
    BusError propError;
    char* state = nullptr;
    r = sd_bus_get_property_string(bus.get(), kService, path, kUnit, "ActiveState", &propError.e, &state);
    if (r < 0) Fail(Label(kUnit, "ActiveState"), r, &propError.e);
    const bool active = state && std::string(state) == "active";
    std::free(state);
    return active;
}

void SystemdServiceControl::startService() {
    BusPtr bus = Open(busAddress_, "StartUnit");
    CallJob(bus.get(), "StartUnit");
}

void SystemdServiceControl::stopService() {
    BusPtr bus = Open(busAddress_, "StopUnit");
    CallJob(bus.get(), "StopUnit");
}

#else  // built without libsystemd

namespace {
[[noreturn]] void NotBuilt() { throw Error(err::SystemCallFailed, "systemd support not built"); }
}  // namespace

bool SystemdServiceControl::supported() noexcept { return false; }
void SystemdServiceControl::installService() { NotBuilt(); }
void SystemdServiceControl::uninstallService() { NotBuilt(); }
bool SystemdServiceControl::serviceRunning() {
    (void)busAddress_;
    return false;
}
void SystemdServiceControl::startService() { NotBuilt(); }
void SystemdServiceControl::stopService() { NotBuilt(); }

#endif

}  // namespace nocturo::platform
