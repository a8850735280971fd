#include "platform/posix/SystemdServiceControl.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

#include "base/InstallLayout.h"
#include "platform/Error.h"
#include "platform/posix/RegFileRegistry.h"

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
    storePath_ = FromEnv("NOCTURO_SYSTEM_REGISTRY");
    if (storePath_.empty() || storePath_[0] != '/') storePath_ = kDefaultStore;
    // Named as the store names itself, so that a program can tell it reads it.
    const auto slash = storePath_.rfind('/');
    std::vector<char> folder(PATH_MAX + 1);
    if (slash != 0 && ::realpath(storePath_.substr(0, slash).c_str(), folder.data()))
        storePath_ = std::string(folder.data()) + storePath_.substr(slash);
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

namespace {

// One word of a unit file's line: specifiers escaped, quoted when it holds
// blanks or quotes.
std::string UnitWord(const std::string& word) {
    std::string out;
    bool quote = false;
    for (char c : word) {
        if (c == '%') out += '%';
        if (c == '\\' || c == '"') out += '\\';
        if (c == ' ' || c == '\t' || c == '"' || c == '\'') quote = true;
        out += c;
    }
    return quote ? "\"" + out + "\"" : out;
}

std::string ParentOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

}  // namespace

std::string SystemdServiceControl::unitText() const {
    // Folders the service writes besides its state and log folders, each
    // left out when missing: the store when it lies elsewhere, the error log
    // and the downloads of a self-contained copy (a system install writes
    // them to the log folder), the cleaned folders.
    std::vector<std::string> writable;
    const std::string storeFolder = ParentOf(storePath_);
    if (storeFolder != ParentOf(kDefaultStore)) writable.push_back(storeFolder);
    LayoutFacts facts;
    facts.programFolder = programFolder_;
    facts.service = true;
    facts.folderExists = [](const std::string& p) {
        std::error_code ec;
        return std::filesystem::is_directory(p, ec);
    };
    // The service runs as root: what the mount allows.
    facts.folderWritable = [](const std::string& p) { return ::access(p.c_str(), W_OK) == 0; };
    const InstallLayout layout = ChooseInstallLayout(facts);
    if (!layout.usesStateFolder) {
        for (const std::string& folder : {layout.errorLogFolder, layout.tempFolder})
            writable.push_back(std::filesystem::path(folder).lexically_normal().string());
    }
    // systemd takes normalised paths only.
    for (const std::string& folder : folders_)
        if (!folder.empty() && folder[0] == '/')
            writable.push_back(std::filesystem::path(folder).lexically_normal().string());
    std::string rw;
    for (const std::string& folder : writable) rw += "ReadWritePaths=" + UnitWord("-" + folder) + "\n";
    return "[Unit]\n"
           "Description=Nocturo shutdown timer\n"
           "Wants=network-online.target\n"
           "After=network-online.target\n"
           "\n"
           "[Service]\n"
           "Type=notify\n"
           "ExecStart=" + UnitWord(programPath()) + " --service\n"
           "Environment=" + UnitWord("NOCTURO_REGISTRY=" + storePath_) + " " +
               UnitWord("NOCTURO_SYSTEM_REGISTRY=" + storePath_) + "\n"
           "StateDirectory=nocturo\n"
           "LogsDirectory=nocturo\n"
           "KillSignal=SIGTERM\n"
           "UMask=0022\n"
           "\n"
           "# Power off, restart and suspend go to logind and the clock to timedated\n"
           "# over the system bus (logind wants CAP_SYS_BOOT where no polkit decides);\n"
           "# the time page and the version check need the network; the cleaner\n"
           "# deletes other users' files. Everything else the service leaves alone,\n"
           "# and a system call it must not make fails instead of killing it.\n"
           "ProtectSystem=strict\n"
           "ProtectHome=read-only\n" + rw +
           "PrivateTmp=yes\n"
           "PrivateDevices=yes\n"
           "DevicePolicy=closed\n"
           "NoNewPrivileges=yes\n"
           "CapabilityBoundingSet=CAP_DAC_OVERRIDE CAP_DAC_READ_SEARCH CAP_FOWNER CAP_SYS_BOOT\n"
           "ProtectClock=yes\n"
           "ProtectHostname=yes\n"
           "ProtectKernelTunables=yes\n"
           "ProtectKernelModules=yes\n"
           "ProtectKernelLogs=yes\n"
           "ProtectControlGroups=yes\n"
           "ProtectProc=invisible\n"
           "ProcSubset=pid\n"
           "RestrictNamespaces=yes\n"
           "RestrictRealtime=yes\n"
           "RestrictSUIDSGID=yes\n"
           "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6\n"
           "LockPersonality=yes\n"
           "MemoryDenyWriteExecute=yes\n"
           "RemoveIPC=yes\n"
           "SystemCallArchitectures=native\n"
           "SystemCallFilter=@system-service\n"
           "SystemCallFilter=~@privileged @resources\n"
           "SystemCallErrorNumber=EPERM\n"
           "\n"
           "[Install]\n"
           "WantedBy=multi-user.target\n";
}

std::string SystemdServiceControl::UnsafeProgramReason(const std::string& path) {
    // The path as given and as resolved: both chains of folders must be safe.
    std::vector<std::string> chains{path};
    std::vector<char> resolved(PATH_MAX + 1);
    if (!::realpath(path.c_str(), resolved.data())) return path + ": " + std::strerror(errno);
    if (resolved.data() != path) chains.emplace_back(resolved.data());
    for (const std::string& chain : chains) {
        for (std::string part = chain;; part = ParentOf(part)) {
            struct stat st {};
            if (::lstat(part.c_str(), &st) != 0) return part + ": " + std::strerror(errno);
            const bool sticky = S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX);
            if (st.st_uid != 0)
                return part + " is owned by user " + std::to_string(st.st_uid) + ", not by root";
            if (!S_ISLNK(st.st_mode) && (st.st_mode & (S_IWGRP | S_IWOTH)) && !sticky)
                return part + " can be written by its group or by others";
            if (part == "/") break;
        }
    }
    return {};
}

std::string SystemdServiceControl::serviceInstallProblem() {
    const std::string reason = UnsafeProgramReason(programPath());
    if (reason.empty()) return {};
    return "root would run " + programPath() + ", which another user could replace (" + reason +
           "); install the packaged program (" + kPackagedProgram + ") and install the service from it";
}

std::unique_ptr<IRegistry> SystemdServiceControl::openServiceStore() {
    MakeFolders(ParentOf(storePath_));
    return std::make_unique<RegFileRegistry>(storePath_);
}

std::vector<std::string> SystemdServiceControl::installCalls() const {
    return {"EnableUnitFiles([\"" + unitPath() + "\"], false, true)", "Reload()",
            std::string("RestartUnit(\"") + kUnitName + "\", \"replace\")"};
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
    if (std::string problem = serviceInstallProblem(); !problem.empty()) throw Error(err::PermissionDenied, problem);
    WriteAtomically(unitPath(), unitText());
    BusPtr bus = Open(busAddress_, "EnableUnitFiles");
    CallWithFiles(bus.get(), "EnableUnitFiles", unitPath(), 0, 1, true);
    Call(bus.get(), kService, kPath, kManager, "Reload", "");
    // A service already running starts again and reads the store anew.
    CallJob(bus.get(), "RestartUnit");
}

void SystemdServiceControl::uninstallService() {
    BusPtr bus = Open(busAddress_, "StopUnit");
    CallJob(bus.get(), "StopUnit");
    CallWithFiles(bus.get(), "DisableUnitFiles", kUnitName, 0, 0, false);
    RemoveFile(unitPath());
    Call(bus.get(), kService, kPath, kManager, "Reload", "");
}

namespace {

std::string UnitProperty(sd_bus* bus, const char* path, const char* name) {
    BusError error;
    char* value = nullptr;
    int r = sd_bus_get_property_string(bus, kService, path, kUnit, name, &error.e, &value);
    if (r < 0) Fail(Label(kUnit, name), r, &error.e);
    std::string text = value ? value : "";
    std::free(value);
    return text;
}

// The unit's ActiveState and SubState; nothing when systemd has not loaded it.
std::optional<std::pair<std::string, std::string>> UnitStates(const std::string& address, bool withSub) {
    BusPtr bus = Open(address, "GetUnit");
    BusError error;
    sd_bus_message* reply = nullptr;
    int r = sd_bus_call_method(bus.get(), kService, kPath, kManager, "GetUnit", &error.e, &reply, "s",
                               SystemdServiceControl::kUnitName);
    MessagePtr keep(reply);
    if (r < 0) {
        if (sd_bus_error_has_name(&error.e, "org.freedesktop.systemd1.NoSuchUnit")) return std::nullopt;
        Fail(Label(kManager, "GetUnit"), r, &error.e);
    }
    const char* path = nullptr;
    r = sd_bus_message_read(reply, "o", &path);
    if (r < 0) Fail(Label(kManager, "GetUnit"), r, nullptr);
    std::string active = UnitProperty(bus.get(), path, "ActiveState");
    std::string sub = withSub ? UnitProperty(bus.get(), path, "SubState") : std::string();
    return std::make_pair(std::move(active), std::move(sub));
}

}  // namespace

bool SystemdServiceControl::serviceRunning() {
    // Not loaded: not running.
    auto states = UnitStates(busAddress_, false);
    return states && states->first == "active";
}

std::string SystemdServiceControl::serviceState() {
    // As systemctl shows a unit it has not loaded.
    auto states = UnitStates(busAddress_, true);
    if (!states) return "inactive (dead)";
    return states->first + " (" + states->second + ")";
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
std::string SystemdServiceControl::serviceState() { NotBuilt(); }
void SystemdServiceControl::startService() { NotBuilt(); }
void SystemdServiceControl::stopService() { NotBuilt(); }

#endif

}  // namespace nocturo::platform
