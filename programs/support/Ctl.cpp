#include "programs/support/Ctl.h"
#include "programs/support/CtlControl.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>

#include "base/Runtime.h"
#include "base/Strings.h"
#include "base/Variant.h"
#include "base/Varn_GetSystemInfos.h"
#include "base/Varn_Language.h"
#include "base/Varn_Registry.h"
#include "base/Version.h"
#include "cipher/Varn_encryption3.h"
#include "cleaner/CFindFile.h"
#include "cleaner/Varn_Del2RecycleBin.h"
#include "cleaner/Varn_CleanSettings.h"
#include "base/Varn_File_Dir.h"
#include "cleaner/frmCleanNow.h"
#include "platform/Error.h"
#include "platform/IDialogs.h"
#include "platform/IEventLoop.h"
#include "platform/common/TextDialogs.h"
#include "platform/sim/SimDialogs.h"
#include "platform/IServiceControl.h"
#ifdef _WIN32
#include "platform/win32/ConsoleDialogs.h"
#include "platform/win32/Win32ServiceControl.h"
#include "platform/win32/WinText.h"
#else
#include <termios.h>
#include <unistd.h>

#include <csignal>

#include <pwd.h>

#include "platform/posix/RegFileRegistry.h"
#include "platform/posix/SystemdServiceControl.h"
#include "platform/posix/TerminalDialogs.h"
#endif
#include "shell/Varn_NTservice.h"

namespace nocturo::programs {

namespace {

constexpr int kOk = 0, kNotFound = 1, kUsage = 2;

struct UsageError {
    std::string message;
};

[[noreturn]] void usage(const std::string& message) { throw UsageError{message}; }

// A command that could not do its work: one line, exit code 1.
struct Failure {
    std::string message;
};

constexpr const char* kAdminRightsNeeded = "administrator rights are needed for this: run it as an administrator";

// Whether the machine tree is the system's (Windows' registry, where users
// have trees of their own) rather than part of a file of the user's own:
// only then does a refusal mean that administrator rights are missing.
bool machineTreeIsTheSystems() {
    return hasRuntime() && rt().pf.registry && !EqualsNoCase(registry().userSettingsRoot(), "HKEY_LOCAL_MACHINE");
}

}  // namespace

// The settings tree named on the command line, as the program itself
// chooses it (a service uses the machine tree for everything).
std::string treeApp(const std::string& tree) {
    GetPCInfos();
    if (tree == "machine") return MachineApp();
    if (tree != "user") usage("unknown tree '" + tree + "' (use user or machine)");
    if (UsesServiceSettings()) rt().userId = rt().machineNumber;
    MoveOldUserTree();
    return UserApp();
}

namespace {

std::string FolderAppOf(const std::string& app, std::string folder) {
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return app + "\\" + folder;
}

std::string keyOf(const std::string& app) { return SettingsKey(app, kSettings); }

std::string show(const platform::RegValue& v) {
    if (auto* s = std::get_if<std::string>(&v)) return *s;
    return std::to_string(static_cast<std::int32_t>(std::get<std::uint32_t>(v)));
}

std::uint32_t parseDword(const std::string& text) {
    if (text.empty()) usage("--dword needs a number");
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 0);
    if (*end != '\0' || errno == ERANGE || v < std::numeric_limits<std::int32_t>::min() ||
        v > static_cast<long long>(std::numeric_limits<std::uint32_t>::max()))
        usage("'" + text + "' is not a 32-bit number");
    return static_cast<std::uint32_t>(v);
}

// Takes "--folder FOLDER" out of the arguments; empty when not given.
std::string takeFolder(std::vector<std::string>& a) {
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != "--folder") continue;
        if (i + 1 >= a.size()) usage("--folder needs a folder");
        std::string folder = a[i + 1];
        a.erase(a.begin() + static_cast<long>(i), a.begin() + static_cast<long>(i) + 2);
        return folder;
    }
    return "";
}

int settings(std::vector<std::string> a, std::ostream& out, std::ostream& err) {
    if (a.size() < 2) usage("settings needs get, set or list");
    const std::string folder = takeFolder(a);
    // A folder addresses that folder's own cleaner section of the tree.
    auto treeApp = [&](const std::string& tree) {
        std::string app = programs::treeApp(tree);
        return folder.empty() ? app : FolderAppOf(app, folder);
    };
    const std::string& verb = a[1];
    if (verb == "get") {
        if (a.size() != 4) usage("usage: nocturoctl settings get user|machine NAME");
        std::string app = treeApp(a[2]);
        auto v = registry().read(SettingPath(app, kSettings, a[3]));
        if (!v) {
            err << "nocturoctl: no setting " << a[3] << " in the " << a[2] << " tree"
                << (folder.empty() ? "" : " for the folder " + folder) << "\n";
            return kNotFound;
        }
        out << show(*v) << "\n";
        return kOk;
    }
    if (verb == "set") {
        bool dword = false;
        std::vector<std::string> rest;
        for (size_t i = 2; i < a.size(); ++i) {
            if (a[i] == "--dword") dword = true;
            else rest.push_back(a[i]);
        }
        if (rest.size() != 3) usage("usage: nocturoctl settings set user|machine NAME VALUE [--dword]");
        std::string app = treeApp(rest[0]);
        // A folder's specifications are name patterns only: one with a folder
        // part would search, and clean, another folder.
        if (!folder.empty() && EqualsNoCase(rest[1], "ExtList")) {
            std::vector<std::string> specs;
            std::string delimiters;
            SplitList(rest[2], delimiters, specs);
            for (const auto& spec : specs)
                if (!IsPlainFileSpec(Trim(spec)))
                    usage("the file specification '" + Trim(spec) +
                          "' has a folder part; a specification names files in the folder itself (*.bak, temp.*)");
        }
        const std::string path = SettingPath(app, kSettings, rest[1]);
        if (dword) registry().writeDword(path, parseDword(rest[2]));
        else registry().writeString(path, rest[2]);
        return kOk;
    }
    if (verb == "list") {
        if (a.size() > 3) usage("usage: nocturoctl settings list [user|machine]");
        std::vector<std::string> trees = a.size() == 3 ? std::vector<std::string>{a[2]}
                                                       : std::vector<std::string>{"user", "machine"};
        for (const auto& tree : trees) {
            std::string app = treeApp(tree);
            for (const auto& [name, value] : registry().values(keyOf(app))) out << name << "=" << show(value) << "\n";
        }
        return kOk;
    }
    usage("unknown settings command '" + verb + "'");
}

// One found name: as it is with -0 (NUL-separated, for xargs -0), else on a
// line of its own with its control characters written out.
void printName(std::ostream& out, const std::string& name, bool nul) {
    if (nul) out << name << '\0';
    else out << EscapeControlChars(name) << "\n";
}

int find(const std::vector<std::string>& a, std::ostream& out, std::ostream& err) {
    std::vector<std::string> rest;
    bool subdirs = false, zero = false, nul = false;
    for (size_t i = 1; i < a.size(); ++i) {
        if (a[i] == "--subdirs") subdirs = true;
        else if (a[i] == "--zero") zero = true;
        else if (a[i] == "-0" || a[i] == "--null") nul = true;
        else if (a[i].rfind("--", 0) == 0) usage("unknown option " + a[i]);
        else rest.push_back(a[i]);
    }
    if (rest.size() != 2) usage("usage: nocturoctl find FOLDER SPECS [--subdirs] [--zero] [-0]");
    if (Trim(rest[0]).empty()) usage("find needs a folder (an empty one would mean the whole file system)");
    if (!files().folderExists(sFixDirString(rest[0]))) {
        err << "nocturoctl: " << rest[0] << ": no such folder\n";
        return kNotFound;
    }
    CFindFile finder;
    finder.FoundFile = [&](std::string& name, bool&) { printName(out, name, nul); };
    finder.Path(sFixDirString(rest[0]));
    finder.FileSpec(rest[1]);
    finder.InclSubDir(subdirs);
    finder.InclZeroFiles(zero);
    std::vector<std::string> unused;
    finder.FindAll(unused);
    return kOk;
}

// Asks on the terminal (or the simulated machine's scripted answers); no
// one to ask is no.
bool confirmed(const std::string& question) {
    const int style = platform::mb::YesNo | platform::mb::Question | platform::mb::DefaultButton2;
    if (auto* terminal = dynamic_cast<platform::TextDialogs*>(rt().pf.dialogs);
        terminal && terminal->interactive())
        return terminal->messageBox(question, style, "nocturoctl clean") == platform::mb::IdYes;
    if (dynamic_cast<platform::TextDialogs*>(rt().pf.dialogs)) return false;  // no terminal
    // The simulated machine answers only what was scripted.
    if (auto* scripted = dynamic_cast<platform::SimDialogs*>(rt().pf.dialogs); scripted && scripted->remaining() == 0)
        return false;
    return dialogs().messageBox(question, style, "nocturoctl clean") == platform::mb::IdYes;
}

int clean(const std::vector<std::string>& a, std::ostream& out, std::ostream& err) {
    bool nul = false, dryRun = false, yes = false;
    for (size_t i = 1; i < a.size(); ++i) {
        if (a[i] == "-0" || a[i] == "--null") nul = true;
        else if (a[i] == "--dry-run") dryRun = true;
        else if (a[i] == "--yes" || a[i] == "-y") yes = true;
        else usage("usage: nocturoctl clean [--dry-run [-0]] [--yes]");
    }
    if (nul && !dryRun) usage("-0 goes with --dry-run (the run itself prints what it did)");
    treeApp("user");
    // A settings file that cannot be read ends the command here: its
    // defaults would clean folders the user never chose.
    (void)registry().read(SettingPath(CleanerApp(), kSettings, "CleanDirs"));
    const std::string folders = CStr(ReadSetting(CleanerApp(), kSettings, "CleanDirs", DefaultCleanDirs()));
    frmCleanNow listing;
    listing.TxtPaths.setText(folders);
    listing.onFolderNotSearched = [&](const std::string& folder, const std::string& reason) {
        err << "nocturoctl: " << EscapeControlChars(folder) << ": not searched: " << reason << "\n";
    };
    // The folders are let go while the question is open: the deletion opens
    // each again and deletes nothing in one that is not the folder listed.
    Task search = listing.SearchFiles(false, false);
    search.start("DeleteFiles of Formular frmCleanNow");
    for (int i = 0; i < listing.ListView1.listCount(); ++i) {
        out << (listing.toRecycleBin(i) ? "recycle" : "delete") << "\t";
        printName(out, listing.ListView1.item(i), nul);
    }
    const int count = listing.ListView1.listCount();
    if (count == 0) {
        // With -0 the output is names only: the note goes beside it.
        (nul ? err : out) << "Nothing to clean\n";
        return kOk;
    }
    if (dryRun) return kOk;
    if (!yes && !confirmed("Delete or recycle these " + std::to_string(count) + " files?")) {
        err << "nocturoctl: nothing deleted (not confirmed; --yes confirms without asking)\n";
        return kNotFound;
    }

    // The run itself: exactly the files listed and confirmed, no search
    // again; each deleted only if it, and every folder on its way, is still
    // the one that was listed; every deletion and refusal in the cleaner's log.
    const bool unattended = rt().cleanUnattended;
    rt().cleanUnattended = true;
    listing.onNotDeleted = [&](const std::string& file, const std::string& reason) {
        err << "nocturoctl: not deleted: " << EscapeControlChars(file) << " (" << EscapeControlChars(reason) << ")\n";
    };
    Task removal = listing.RemoveListed(false);
    removal.start("DeleteFiles of Formular frmCleanNow");
    while (!removal.done()) loop().yield();
    rt().cleanUnattended = unattended;
    out << "Deleted " << listing.FilesDeleted << " of " << listing.FilesFound << " files";
    if (listing.FilesFailed > 0) out << ", " << listing.FilesFailed << " failed (the cleaner's log says why)";
    out << "\n";
    return listing.FilesFailed > 0 ? kNotFound : kOk;
}

// Whether a text is a stored form the cipher made: hex digits for whole
// blocks of 8 bytes, a header and a text, and a deciphered header whose
// length fits them (the cipher leaves any other text as it deciphers it).
bool isStoredForm(const std::string& stored) {
    const std::string hex = Trim(stored);
    if (hex.size() < 32 || hex.size() % 16 != 0) return false;
    for (const char c : hex)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    const std::size_t bytes = hex.size() / 2, header = 12;
    const std::size_t plain = DecryptBF(hex, "").size() / 2;
    return plain + header <= bytes && bytes - (plain + header) < 8;
}

#ifndef _WIN32
// The terminal as it was before a question switched its echo off.
termios g_terminalBefore{};

extern "C" void restoreTerminalAndEnd(int signal) {
    tcsetattr(STDIN_FILENO, TCSANOW, &g_terminalBefore);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Ctrl-C (or a hang-up, a kill) while a password is typed ends the program
// with the terminal's echo back on, not left off.
class EchoComesBackOnSignal {
public:
    EchoComesBackOnSignal() {
        if (tcgetattr(STDIN_FILENO, &g_terminalBefore) != 0) return;
        active_ = true;
        for (size_t i = 0; i < kSignals.size(); ++i) previous_[i] = std::signal(kSignals[i], restoreTerminalAndEnd);
    }
    ~EchoComesBackOnSignal() {
        if (!active_) return;
        for (size_t i = 0; i < kSignals.size(); ++i) std::signal(kSignals[i], previous_[i]);
    }
    EchoComesBackOnSignal(const EchoComesBackOnSignal&) = delete;
    EchoComesBackOnSignal& operator=(const EchoComesBackOnSignal&) = delete;

private:
    static constexpr std::array<int, 4> kSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    std::array<void (*)(int), 4> previous_{};
    bool active_ = false;
};
#endif

// The password typed twice on the terminal, not echoed.
std::string passwordFromTerminal() {
    // Asked on the terminal itself, also on the simulated machine (whose
    // dialogs answer from a script); on Linux the questions go to standard
    // error, so that standard output holds only the result.
#ifdef _WIN32
    platform::win32::ConsoleDialogs own;
    auto* terminal = dynamic_cast<platform::TextDialogs*>(rt().pf.dialogs);
    if (!terminal) terminal = &own;
#else
    platform::TerminalDialogs own(nullptr, STDIN_FILENO, STDERR_FILENO);
    platform::TextDialogs* terminal = &own;
#endif
    if (!terminal->interactive())
        usage("no terminal to ask for the password on; --stdin reads it from standard input");
#ifndef _WIN32
    EchoComesBackOnSignal echoBack;
#endif
    const std::string title = "nocturoctl password";
    auto first = terminal->timedPasswordBox("New options password", title, 0);
    if (!first) throw Failure{"cancelled; the password is unchanged"};
    if (Trim(*first).empty()) throw Failure{"the password is empty (password clear removes it); unchanged"};
    auto second = terminal->timedPasswordBox("The same password again", title, 0);
    if (!second) throw Failure{"cancelled; the password is unchanged"};
    if (*second != *first) throw Failure{"the two passwords differ; the password is unchanged"};
    return *first;
}

// One line of standard input, without its line break.
std::string passwordFromInput(std::istream& in) {
    std::string line;
    if (!std::getline(in, line)) throw Failure{"no password on standard input; the password is unchanged"};
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (Trim(line).empty()) throw Failure{"the password is empty (password clear removes it); unchanged"};
    return line;
}

int password(const std::vector<std::string>& a, std::istream& in, std::ostream& out) {
    if (a.size() >= 2 && a[1] == "set" && a.size() <= 3) {
        std::string text;
        if (a.size() == 3 && a[2] != "--stdin" && a[2].rfind("--", 0) == 0)
            usage("unknown option " + a[2] + " (a password beginning with -- goes by --stdin)");
        if (a.size() == 3 && a[2] == "--stdin") text = passwordFromInput(in);
        else if (a.size() == 3) text = a[2];
        else text = passwordFromTerminal();
        GetPCInfos();
        std::string stored = Encrypt3(text, "");
        // A password of blanks would be stored as none.
        if (stored.empty()) throw Failure{"the password is empty (password clear removes it); unchanged"};
        registry().writeString(SettingPath(MachineApp(), kSettings, "poption"), stored);
        out << "Password saved\n";
        return kOk;
    }
    if (a.size() == 2 && a[1] == "clear") {
        GetPCInfos();
        registry().writeString(SettingPath(MachineApp(), kSettings, "poption"), "");
        out << "Password cleared\n";
        return kOk;
    }
    usage("usage: nocturoctl password set [TEXT|--stdin] | password clear");
}

int lang(const std::vector<std::string>& a, std::ostream& out, std::ostream& err) {
    if (a.size() != 3 || a[1] != "check") usage("usage: nocturoctl lang check FILE");
    auto text = files().readFile(a[2]);
    if (!text) {
        err << "nocturoctl: " << a[2] << ": no such file\n";
        return kNotFound;
    }
    int line = 0;
    try {
        auto table = ParseLanguageText(*text, line);
        for (size_t i = 0; i < table.size(); ++i)
            if (!table[i].empty()) out << i << "\t" << table[i] << "\n";
    } catch (const platform::Error& e) {
        err << a[2] << ":" << line << ": " << e.what() << " (error " << e.number() << ")\n";
        return kNotFound;
    }
    return kOk;
}

}  // namespace

// Start at login: the entry, and the setting the main window restores it from.
int autostart(const std::vector<std::string>& a, std::ostream& out, std::ostream& err) {
    if (a.size() != 2 || (a[1] != "on" && a[1] != "off" && a[1] != "status"))
        usage("usage: nocturoctl autostart on|off|status");
    GetPCInfos();  // the machine tree's service flag below
    auto& control = service(rt().pf.service);
    if (a[1] == "status") {
        out << (control.autostartPresent() ? "on" : "off") << "\n";
        return kOk;
    }
    if (a[1] == "on") {
        if (CLng(ReadSetting(MachineApp(), kSettings, "chkNtService", 0)) == 1) {
            err << "nocturoctl: the program runs as a system service; start at login stays off in that mode\n";
            return kNotFound;
        }
        control.writeAutostart(rt().appName, AutostartProgramPath());
    } else {
        control.removeAutostart();
    }
    WriteSetting(UserApp(), kSettings, "chkStartWithWindow", a[1] == "on" ? 1 : 0);
    return kOk;
}

namespace {

// Whose schedule the service gets: this program's own, or, when root runs
// the command through sudo, the settings of the user who called sudo. That
// user's files are only read: a copy is opened, so that root leaves no file
// (not even a lock) behind in the user's folder.
struct ScheduleSource {
    std::unique_ptr<platform::IRegistry> owned;
    platform::IRegistry* store = nullptr;
    std::string app;
    std::string what;
    std::string copyFolder;
    ScheduleSource() = default;
    ScheduleSource(ScheduleSource&&) = default;
    ~ScheduleSource() {
        owned.reset();
#ifndef _WIN32
        std::error_code ignored;
        if (!copyFolder.empty()) std::filesystem::remove_all(copyFolder, ignored);
#endif
    }
};

ScheduleSource scheduleSource() {
    ScheduleSource s;
#ifndef _WIN32
    const char* sudoUser = std::getenv("SUDO_USER");
    if (::geteuid() == 0 && sudoUser && *sudoUser && std::string(sudoUser) != "root" &&
        !std::getenv("NOCTURO_REGISTRY")) {
        if (const passwd* pw = ::getpwnam(sudoUser); pw && pw->pw_dir) {
            const std::string path = std::string(pw->pw_dir) + "/.config/nocturo/registry.reg";
            std::string folder = "/tmp/nocturo-install-XXXXXX";
            if (!::mkdtemp(folder.data())) throw Failure{"cannot make a temporary folder for the copy of " + path};
            s.copyFolder = folder;
            if (std::ifstream in(path, std::ios::binary); in) {
                std::ofstream out(folder + "/registry.reg", std::ios::binary);
                out << in.rdbuf();
            }
            s.owned = std::make_unique<platform::RegFileRegistry>(folder + "/registry.reg");
            s.store = s.owned.get();
            s.app = AppKeyFor(UCase(Trim(sudoUser)));
            s.what = std::string(sudoUser) + "'s schedule in " + path;
            return s;
        }
    }
#endif
    s.store = &registry();
    s.app = treeApp("user");
    s.what = "the schedule in " + registry().storeId();
    return s;
}

}  // namespace

int systemService(const std::vector<std::string>& a, std::ostream& out) {
    bool dryRun = false;
    std::vector<std::string> rest;
    for (size_t i = 1; i < a.size(); ++i) {
        if (a[i] == "--dry-run") dryRun = true;
        else rest.push_back(a[i]);
    }
    if (rest.size() != 1 || (rest[0] != "install" && rest[0] != "uninstall" && rest[0] != "status"))
        usage("usage: nocturoctl service install|uninstall|status [--dry-run]");
    const std::string& verb = rest[0];
    if (dryRun) {
        // What would be done, from the real backend's plan; nothing changes.
#ifdef _WIN32
        // The service manager's calls for the service, and the Run key's
        // value that the service takes the place of.
        platform::win32::Win32ServiceControl plan(platform::win32::SystemScmCalls(),
                                                  sysinfo().programFolder() + "\\nocturo.exe");
        const std::string service = platform::kWindowsServiceName;
        if (verb == "install") {
            out << "call CreateServiceW(\"" << service << "\", \"" << plan.serviceDisplayName()
                << "\", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, "
                << platform::win32::Narrow(plan.serviceCommandLine()) << ")\n";
            out << "remove " << platform::kWindowsRunKey << rt().appName << "\n";
            out << "call StartServiceW(\"" << service << "\")\n";
        } else if (verb == "uninstall") {
            out << "call ControlService(\"" << service << "\", SERVICE_CONTROL_STOP)\n";
            out << "call DeleteService(\"" << service << "\")\n";
        } else {
            out << "call QueryServiceStatus(\"" << service << "\")\n";
        }
#else
        platform::SystemdServiceControl plan(sysinfo().programFolder());
        if (verb == "install") {
            ScheduleSource from = scheduleSource();
            std::string dirs = DefaultCleanDirs();
            if (auto stored = from.store->read(SettingPath(from.app, kSettings, "CleanDirs")))
                if (auto* text = std::get_if<std::string>(&*stored)) dirs = *text;
            plan.setServiceFolders(ListItems(dirs));
            if (std::string problem = plan.serviceInstallProblem(); !problem.empty())
                out << "refuse: " << problem << "\n";
            out << "copy " << from.what << " to " << plan.serviceStorePath() << "\n";
            out << "write " << plan.unitPath() << ":\n" << plan.unitText();
            out << "remove " << platform::SystemdServiceControl::autostartPath() << "\n";
            for (const auto& call : plan.installCalls()) out << "call org.freedesktop.systemd1.Manager." << call << "\n";
        } else if (verb == "uninstall") {
            for (const auto& call : plan.uninstallCalls()) {
                out << "call org.freedesktop.systemd1.Manager." << call << "\n";
                if (call.rfind("DisableUnitFiles", 0) == 0) out << "remove " << plan.unitPath() << "\n";
            }
        } else {
            out << "call org.freedesktop.systemd1.Manager.GetUnit(\"" << platform::SystemdServiceControl::kUnitName
                << "\")\n";
        }
#endif
        return kOk;
    }
    GetPCInfos();  // the machine tree the service flag goes to
    auto& control = service(rt().pf.service);
    if (verb == "status") {
        out << "installed: " << (control.serviceInstalled() ? "yes" : "no") << "\n";
        out << "running: " << (control.serviceRunning() ? "yes" : "no") << "\n";
        out << "state: " << control.serviceState() << "\n";
        return kOk;
    }
    // The machine tree's service flag goes with the service: a flag that
    // could not be stored is a command that did not do its work.
    auto storeFlag = [&](int value, const char* done) {
        const SettingWrite w = WriteSetting(MachineApp(), kSettings, "chkNtService", value);
        if (w == SettingWrite::Stored) return;
        const bool rights = w == SettingWrite::Refused && machineTreeIsTheSystems();
        throw Failure{control.serviceDisplayName() + " " + done + ", but the setting chkNtService could not be stored" +
                      (rights ? ": " + std::string(kAdminRightsNeeded) : std::string())};
    };
    if (verb == "install") {
        if (std::string problem = control.serviceInstallProblem(); !problem.empty())
            throw Failure{"cannot install the service: " + problem};
        ScheduleSource from = scheduleSource();
        const std::string store = PrepareServiceStore(*from.store, from.app);
        control.installService();
        if (!from.owned) {
            control.removeAutostart();
            storeFlag(1, "installed");
        }
        out << control.serviceDisplayName() << " installed\n";
        if (!store.empty()) out << "settings of the service: " << store << " (a copy of " << from.what << ")\n";
    } else {
        control.uninstallService();
        storeFlag(0, "uninstalled");
        out << control.serviceDisplayName() << " uninstalled\n";
    }
    return kOk;
}

std::string CtlUsage() {
    return "Usage: nocturoctl COMMAND [ARGS]\n"
           "\n"
           "Commands:\n"
           "  settings get user|machine NAME          print a setting (text as is, numbers in decimal)\n"
           "  settings set user|machine NAME VALUE [--dword]\n"
           "                                          store a setting (--dword: a 32-bit number, -1 = ffffffff)\n"
           "  settings list [user|machine]            print name=value lines\n"
           "      (settings get/set/list --folder FOLDER: that cleaned folder's own section)\n"
           "  find FOLDER SPECS [--subdirs] [--zero] [-0]\n"
           "                                          print every file the cleaner's finder reports\n"
           "                                          (none found: no output, status 0)\n"
           "  clean --dry-run [-0]                    print every file the cleaning before an action\n"
           "                                          would delete, and how (recycle or delete), or\n"
           "                                          \"Nothing to clean\" (on standard error with -0)\n"
           "  clean [--yes]                           the same list, then, once confirmed on the\n"
           "                                          terminal (or by --yes), the cleaning itself\n"
           "      (control characters in names are written as \\n, \\t, \\xNN; -0 prints the names\n"
           "       as they are, each ended by a NUL, as find -print0 does)\n"
           "  encrypt3 TEXT                           print the stored form of a text\n"
           "  decrypt3 STORED                         print the text of a stored form\n"
           "  password set                            set the options password, typed twice on the\n"
           "                                          terminal without echo\n"
           "  password set --stdin                    the same, from the first line of standard input\n"
           "  password set TEXT                       the same, from the command line (where the\n"
           "                                          shell's history and the process list keep it)\n"
           "  password clear                          remove the options password\n"
           "  lang check FILE                         read a language file and print index<TAB>text lines\n"
           "  autostart on|off|status                 start the program at login (a desktop entry)\n"
           "  service install|uninstall|status [--dry-run]\n"
           "                                          the program as the system service nocturo.service\n"
           "                                          (--dry-run: print the unit and the calls, change nothing)\n"
           "\n"
           "The running program (the one of this session, else the system service):\n"
           "  status [--json]                         armed, mode, action, due moment, seconds left\n"
           "                                          and the phase of a running action (--json: one\n"
           "                                          JSON object)\n"
           "  arm ACTION at HH:MM[:SS]                arm the schedule for an action at a time of day\n"
           "  arm ACTION in DURATION                  ... or in a duration (90s, 45m, 1h30m)\n"
           "  disarm                                  the schedule stays but does not act\n"
           "  postpone DURATION                       move the due moment (and a final count) back\n"
           "  cancel                                  cancel the running action\n"
           "  now ACTION                              run an action now, as /action:ACTION does\n"
           "      (ACTION: default, shutdown, poweroff, logoff, reboot, suspend, hibernate, lock,\n"
           "       alarm, program; --password TEXT or NOCTURO_OPTIONS_PASSWORD gives the options\n"
           "       password; --system talks to the system service only; no program running, or a\n"
           "       refusal: one line on standard error, status 1)\n"
           "\n"
           "Options: --help (-h), --version\n"
           "Exit status: 0 success; 1 not found or failed (a setting, a folder or a file that is\n"
           "not there, a text that is no stored form, passwords that differ); 2 bad usage\n"
           "(also: password set without a terminal and without --stdin). Every failure is one\n"
           "line on standard error.\n"
           "Environment: NOCTURO_REGISTRY (settings file), NOCTURO_PLATFORM=sim (simulated machine).\n";
}

namespace {

int runCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, std::istream& in) {
    try {
        if (args.empty()) usage("missing command (try --help)");
        const std::string& cmd = args[0];
        if (cmd == "--help" || cmd == "-h" || cmd == "help") {
            if (args.size() > 1) usage("unexpected argument " + args[1] + " (try --help)");
            out << CtlUsage();
            return kOk;
        }
        if (cmd == "--version") {
            if (args.size() > 1) usage("unexpected argument " + args[1] + " (try --help)");
            out << "nocturoctl " << version::Text << "\n";
            return kOk;
        }
        if (cmd == "settings") return settings(args, out, err);
        if (cmd == "encrypt3") {
            if (args.size() != 2) usage("usage: nocturoctl encrypt3 TEXT");
            out << Encrypt3(args[1], "") << "\n";
            return kOk;
        }
        if (cmd == "decrypt3") {
            if (args.size() != 2) usage("usage: nocturoctl decrypt3 STORED");
            // Blanks are the stored form of no password.
            if (!Trim(args[1]).empty() && !isStoredForm(args[1])) throw Failure{"'" + args[1] + "' is no stored form"};
            out << Decrypt3(args[1], "") << "\n";
            return kOk;
        }
        if (cmd == "password") return password(args, in, out);
        if (cmd == "find") return find(args, out, err);
        if (cmd == "clean") return clean(args, out, err);
        if (cmd == "lang") return lang(args, out, err);
        if (cmd == "autostart") return autostart(args, out, err);
        if (cmd == "service") return systemService(args, out);
        if (IsControlCommand(cmd)) return RunControlCommand(args, out, err);
        usage("unknown command '" + cmd + "' (try --help)");
    } catch (const UsageError& e) {
        err << "nocturoctl: " << e.message << "\n";
        return kUsage;
    } catch (const Failure& e) {
        err << "nocturoctl: " << e.message << "\n";
        return kNotFound;
    } catch (const platform::Error& e) {
        // Refused by the system: below HKEY_LOCAL_MACHINE, the service
        // manager, the system's autostart entry.
        err << "nocturoctl: " << e.what() << "\n";
        if (e.number() == platform::err::PermissionDenied && machineTreeIsTheSystems())
            err << "nocturoctl: " << kAdminRightsNeeded << "\n";
        return kNotFound;
    } catch (const std::exception& e) {
        err << "nocturoctl: " << e.what() << "\n";
        return kNotFound;
    }
}

}  // namespace

int RunCtl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, std::istream& in) {
    int code = runCommand(args, out, err, in);
    // A settings file that could not be read was set aside, and the command
    // worked on empty settings: that is said, and it is no success.
    if (hasRuntime() && !rt().settingsProblem.empty()) {
        err << "nocturoctl: " << rt().settingsProblem << "\n";
        if (code == kOk) code = kNotFound;
    }
    return code;
}

}  // namespace nocturo::programs
