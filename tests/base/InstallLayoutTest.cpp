// Where an installed copy finds its files and writes its own, chosen from
// folder trees laid out on the real file system.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/InstallLayout.h"
#include "base/Links.h"
#include "base/Runtime.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_Language.h"
#include "base/Varn_WriteLogfile.h"
#include "platform/Error.h"
#include "support/TestSupport.h"
#include "support/TestWorld.h"

#ifdef _WIN32
#include "platform/win32/Win32FileSystem.h"
#else
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/posix/PosixFileSystem.h"
#include "support/EnvOverride.h"
#endif

using namespace nocturo;
namespace fs = std::filesystem;
using nocturo::test::TempDir;

namespace {

#ifdef _WIN32
using NativeFileSystem = platform::win32::Win32FileSystem;
#else
using NativeFileSystem = platform::PosixFileSystem;
#endif

// An environment of its own for the rule.
using Environment = std::map<std::string, std::string>;

[[maybe_unused]] LayoutFacts FactsOn(platform::IFileSystem& files, const std::string& programFolder, const Environment& env,
                    bool service = false) {
    LayoutFacts f;
    f.programFolder = programFolder;
    f.style = files.pathStyle();
    f.service = service;
    f.environment = [env](const std::string& name) -> std::optional<std::string> {
        auto it = env.find(name);
        if (it == env.end()) return std::nullopt;
        return it->second;
    };
    f.folderExists = [&files](const std::string& p) { return files.folderExists(p); };
    f.folderWritable = [&files](const std::string& p) { return files.folderWritable(p); };
    return f;
}

// Facts of a Windows machine, told rather than looked at.
LayoutFacts WindowsFacts(const std::string& programFolder, bool commonThere, bool commonWritable,
                         const Environment& env) {
    LayoutFacts f;
    f.programFolder = programFolder;
    f.style = platform::PathStyle::Windows;
    f.environment = [env](const std::string& name) -> std::optional<std::string> {
        auto it = env.find(name);
        if (it == env.end()) return std::nullopt;
        return it->second;
    };
    const std::string common = programFolder + "\\..\\Common";
    f.folderExists = [=](const std::string& p) { return commonThere && p == common; };
    f.folderWritable = [=](const std::string& p) { return commonThere && commonWritable && p == common; };
    return f;
}

}  // namespace

// ---- Windows: the portable copy, and the same copy in Program Files ----------

TEST(InstallLayoutWindows, APortableCopyKeepsEverythingBesideTheProgram) {
    const auto l = ChooseInstallLayout(WindowsFacts("D:\\Tools\\Nocturo\\bin", true, true,
                                                    {{"LOCALAPPDATA", "C:\\Users\\ann\\AppData\\Local"}}));
    EXPECT_TRUE(l.selfContained);
    EXPECT_FALSE(l.usesStateFolder);
    EXPECT_EQ(l.dataFolder, "D:\\Tools\\Nocturo\\bin\\..\\Common");
    EXPECT_EQ(l.helperFolder, "D:\\Tools\\Nocturo\\bin");
    EXPECT_EQ(l.manualFile, "D:\\Tools\\Nocturo\\bin\\..\\doc\\README.html");
    EXPECT_EQ(l.errorLogFolder, "D:\\Tools\\Nocturo\\bin\\..\\Common");
    EXPECT_EQ(l.actionLogFolder, "D:\\Tools\\Nocturo\\bin");
    EXPECT_EQ(l.cleanerLogFolder, "D:\\Tools\\Nocturo\\bin");
    EXPECT_EQ(l.tempFolder, "D:\\Tools\\Nocturo\\bin\\..\\temp");
}

TEST(InstallLayoutWindows, InProgramFilesTheWritableFilesGoToLocalAppData) {
    const auto l = ChooseInstallLayout(WindowsFacts("C:\\Program Files\\Nocturo\\bin", true, false,
                                                    {{"LOCALAPPDATA", "C:\\Users\\ann\\AppData\\Local"},
                                                     {"XDG_STATE_HOME", "C:\\state"},
                                                     {"HOME", "C:\\Users\\ann"}}));
    EXPECT_TRUE(l.selfContained);
    EXPECT_TRUE(l.usesStateFolder);
    // What it reads stays where the installer put it.
    EXPECT_EQ(l.dataFolder, "C:\\Program Files\\Nocturo\\bin\\..\\Common");
    EXPECT_EQ(l.helperFolder, "C:\\Program Files\\Nocturo\\bin");
    EXPECT_EQ(l.manualFile, "C:\\Program Files\\Nocturo\\bin\\..\\doc\\README.html");
    EXPECT_EQ(l.stateFolder, "C:\\Users\\ann\\AppData\\Local\\Nocturo");
    EXPECT_EQ(l.errorLogFolder, l.stateFolder);
    EXPECT_EQ(l.actionLogFolder, l.stateFolder);
    EXPECT_EQ(l.cleanerLogFolder, l.stateFolder);
    EXPECT_EQ(l.tempFolder, "C:\\Users\\ann\\AppData\\Local\\Nocturo\\temp");
}

TEST(InstallLayoutWindows, WithoutAnAbsoluteLocalAppDataThereIsNoStateFolder) {
    for (const Environment& env : {Environment{}, Environment{{"LOCALAPPDATA", ""}},
                                   Environment{{"LOCALAPPDATA", "AppData\\Local"}}}) {
        const auto l = ChooseInstallLayout(WindowsFacts("C:\\Program Files\\Nocturo\\bin", true, false, env));
        EXPECT_EQ(l.stateFolder, "");
        EXPECT_EQ(l.errorLogFolder, "");
        EXPECT_EQ(l.tempFolder, "");
        EXPECT_EQ(l.dataFolder, "C:\\Program Files\\Nocturo\\bin\\..\\Common");
    }
    // A share's path counts as absolute.
    const auto shared = ChooseInstallLayout(
        WindowsFacts("C:\\Program Files\\Nocturo\\bin", true, false, {{"LOCALAPPDATA", "\\\\srv\\home\\ann"}}));
    EXPECT_EQ(shared.stateFolder, "\\\\srv\\home\\ann\\Nocturo");
}

// ---- Linux trees on the real file system --------------------------------------

#ifndef _WIN32

namespace {

// An install tree in a temporary folder.
struct Tree {
    TempDir dir;
    NativeFileSystem files;
    Tree() {}
    std::string make(const std::string& relative) {
        fs::create_directories(dir / relative);
        return dir / relative;
    }
    // prefix/bin, prefix/share/nocturo, prefix/libexec/nocturo: a system install.
    std::string fhs(const std::string& prefix) {
        make(prefix + "/share/nocturo/language");
        make(prefix + "/libexec/nocturo");
        make(prefix + "/share/doc/nocturo");
        return make(prefix + "/bin");
    }
};

// What the layout says, one field a line, for comparing whole layouts.
std::string Describe(const InstallLayout& l) {
    return std::string("selfContained=") + (l.selfContained ? "1" : "0") +
           "\nusesStateFolder=" + (l.usesStateFolder ? "1" : "0") +
           "\nstateIsPerUser=" + (l.stateIsPerUser ? "1" : "0") + "\ndata=" + l.dataFolder +
           "\nmanual=" + l.manualFile + "\nhelpers=" + l.helperFolder + "\nstate=" + l.stateFolder +
           "\nerrorLog=" + l.errorLogFolder + "\nactionLog=" + l.actionLogFolder +
           "\ncleanerLog=" + l.cleanerLogFolder + "\ntemp=" + l.tempFolder + "\n";
}

}  // namespace

TEST(InstallLayout, ASelfContainedCopyFindsAndWritesEverythingBesideItsProgramFolder) {
    Tree t;
    const std::string bin = t.make("copy/bin");
    t.make("copy/Common/language");
    const auto l = ChooseInstallLayout(FactsOn(t.files, bin, {{"HOME", t.dir / "home"}}));
    EXPECT_EQ(Describe(l), "selfContained=1\nusesStateFolder=0\nstateIsPerUser=1\n"
                           "data=" + bin + "/../Common\nmanual=" + bin + "/../doc/README.html\nhelpers=" + bin +
                               "\nstate=" + t.dir.path() + "/home/.local/state/nocturo\nerrorLog=" + bin +
                               "/../Common\nactionLog=" + bin + "\ncleanerLog=" + bin + "\ntemp=" + bin +
                               "/../temp\n");
    // Common only counts as a folder.
    Tree file;
    const std::string bin2 = file.make("copy/bin");
    std::ofstream(file.dir / "copy/Common") << "not a folder";
    EXPECT_FALSE(ChooseInstallLayout(FactsOn(file.files, bin2, {{"HOME", "/home/ann"}})).selfContained);
}

TEST(InstallLayout, ASystemInstallReadsFromShareAndLibexecAndWritesToTheStateFolder) {
    Tree t;
    const std::string bin = t.fhs("usr");
    const std::string usr = t.dir / "usr";
    const auto l = ChooseInstallLayout(FactsOn(t.files, bin, {{"XDG_STATE_HOME", t.dir / "state"}, {"HOME", "/home/ann"}}));
    const std::string state = t.dir / "state/nocturo";
    EXPECT_EQ(Describe(l), "selfContained=0\nusesStateFolder=1\nstateIsPerUser=1\n"
                           "data=" + usr + "/share/nocturo\nmanual=" + usr +
                               "/share/doc/nocturo/README.html\nhelpers=" + usr + "/libexec/nocturo\nstate=" + state +
                               "\nerrorLog=" + state + "\nactionLog=" + state + "\ncleanerLog=" + state +
                               "\ntemp=" + state + "/temp\n");
    // The same without share/ and libexec/ there: the places do not depend
    // on what is installed.
    Tree bare;
    const std::string bareBin = bare.make("usr/bin");
    const auto b = ChooseInstallLayout(FactsOn(bare.files, bareBin, {{"HOME", "/home/ann"}}));
    EXPECT_EQ(b.dataFolder, bare.dir / "usr/share/nocturo");
    EXPECT_EQ(b.helperFolder, bare.dir / "usr/libexec/nocturo");
    EXPECT_EQ(b.stateFolder, "/home/ann/.local/state/nocturo");
}

TEST(InstallLayout, TheStateFolderFollowsXdgStateHomeOnlyWhenItIsAbsolute) {
    Tree t;
    const std::string bin = t.fhs("usr");
    struct Case {
        const char* name;
        Environment env;
        std::string state;
    };
    const Case cases[] = {
        {"set", {{"XDG_STATE_HOME", "/srv/ann/state"}, {"HOME", "/home/ann"}}, "/srv/ann/state/nocturo"},
        {"set with a trailing slash", {{"XDG_STATE_HOME", "/srv/ann/state/"}, {"HOME", "/home/ann"}},
         "/srv/ann/state/nocturo"},
        {"unset", {{"HOME", "/home/ann"}}, "/home/ann/.local/state/nocturo"},
        {"empty", {{"XDG_STATE_HOME", ""}, {"HOME", "/home/ann"}}, "/home/ann/.local/state/nocturo"},
        {"relative", {{"XDG_STATE_HOME", "state"}, {"HOME", "/home/ann"}}, "/home/ann/.local/state/nocturo"},
        {"dot-relative", {{"XDG_STATE_HOME", "./state"}, {"HOME", "/home/ann"}}, "/home/ann/.local/state/nocturo"},
        {"HOME unset", {}, ""},
        {"HOME empty", {{"HOME", ""}}, ""},
        {"HOME relative", {{"HOME", "ann"}}, ""},
        {"HOME unset, XDG_STATE_HOME set", {{"XDG_STATE_HOME", "/srv/state"}}, "/srv/state/nocturo"},
        {"HOME unset, XDG_STATE_HOME relative", {{"XDG_STATE_HOME", "state"}}, ""},
    };
    for (const Case& c : cases) {
        const auto l = ChooseInstallLayout(FactsOn(t.files, bin, c.env));
        EXPECT_EQ(l.stateFolder, c.state) << c.name;
        EXPECT_TRUE(l.stateIsPerUser) << c.name;
        EXPECT_EQ(l.errorLogFolder, c.state) << c.name;
        EXPECT_EQ(l.actionLogFolder, c.state) << c.name;
        EXPECT_EQ(l.cleanerLogFolder, c.state) << c.name;
        EXPECT_EQ(l.tempFolder, c.state.empty() ? "" : c.state + "/temp") << c.name;
        // What it reads never depends on the environment.
        EXPECT_EQ(l.dataFolder, t.dir / "usr/share/nocturo") << c.name;
    }
}

TEST(InstallLayout, TheServiceWritesToItsLogsDirectory) {
    Tree t;
    const std::string bin = t.fhs("usr");
    const Environment user{{"XDG_STATE_HOME", "/srv/state"}, {"HOME", "/root"}};
    auto l = ChooseInstallLayout(FactsOn(t.files, bin, user, true));
    EXPECT_EQ(l.stateFolder, "/var/log/nocturo");
    EXPECT_FALSE(l.stateIsPerUser);
    EXPECT_EQ(l.errorLogFolder, "/var/log/nocturo");
    EXPECT_EQ(l.tempFolder, "/var/log/nocturo/temp");

    Environment systemd = user;
    systemd["LOGS_DIRECTORY"] = "/var/log/nocturo-test";
    EXPECT_EQ(ChooseInstallLayout(FactsOn(t.files, bin, systemd, true)).stateFolder, "/var/log/nocturo-test");
    systemd["LOGS_DIRECTORY"] = "/var/log/first:/var/log/second";
    EXPECT_EQ(ChooseInstallLayout(FactsOn(t.files, bin, systemd, true)).stateFolder, "/var/log/first");
    systemd["LOGS_DIRECTORY"] = "relative";
    EXPECT_EQ(ChooseInstallLayout(FactsOn(t.files, bin, systemd, true)).stateFolder, "/var/log/nocturo");
    // Only the service looks at it.
    systemd["LOGS_DIRECTORY"] = "/var/log/first";
    EXPECT_EQ(ChooseInstallLayout(FactsOn(t.files, bin, systemd, false)).stateFolder, "/srv/state/nocturo");

    // A self-contained copy run as the service keeps writing into Common.
    t.make("opt/bin");
    t.make("opt/Common");
    l = ChooseInstallLayout(FactsOn(t.files, t.dir / "opt/bin", systemd, true));
    EXPECT_FALSE(l.usesStateFolder);
    EXPECT_EQ(l.errorLogFolder, t.dir / "opt/bin/../Common");
}

TEST(InstallLayout, AProgramFolderAtTheRootHasItsPlacesBelowTheRoot) {
    Tree t;  // "/bin" has no "/Common" on this machine
    ASSERT_FALSE(fs::exists("/Common"));
    const auto l = ChooseInstallLayout(FactsOn(t.files, "/bin", {{"HOME", "/home/ann"}}));
    EXPECT_FALSE(l.selfContained);
    EXPECT_EQ(l.dataFolder, "/share/nocturo");
    EXPECT_EQ(l.helperFolder, "/libexec/nocturo");
    EXPECT_EQ(l.manualFile, "/share/doc/nocturo/README.html");
}

namespace {

// The layout of bin with its Common folder mounted read-only, chosen in a
// child process with a mount namespace of its own (root may write to any
// folder whose mount allows it, whatever its mode). nullopt when the
// system refuses the namespace.
std::optional<std::string> DescribeWithReadOnlyCommon(Tree& t, const std::string& bin, const std::string& common,
                                                      const Environment& env) {
    if (::geteuid() != 0) {
        ::chmod(common.c_str(), 0555);
        std::string d = Describe(ChooseInstallLayout(FactsOn(t.files, bin, env)));
        ::chmod(common.c_str(), 0755);
        return d;
    }
    int out[2];
    if (::pipe(out) != 0) return std::nullopt;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount(common.c_str(), common.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount(nullptr, common.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            ::_exit(2);
        const std::string d = Describe(ChooseInstallLayout(FactsOn(t.files, bin, env)));
        const bool wrote = ::write(out[1], d.data(), d.size()) == static_cast<ssize_t>(d.size());
        ::_exit(wrote ? 0 : 3);
    }
    ::close(out[1]);
    std::string d;
    char buf[512];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) d.append(buf, static_cast<size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return d;
}

}  // namespace

TEST(InstallLayout, ASelfContainedCopyWhoseCommonCannotBeWrittenWritesToTheStateFolder) {
    Tree t;
    const std::string bin = t.make("copy/bin");
    const std::string common = t.make("copy/Common");
    const Environment env{{"XDG_STATE_HOME", t.dir / "state"}, {"HOME", "/home/ann"}};
    const auto d = DescribeWithReadOnlyCommon(t, bin, common, env);
    if (!d) GTEST_SKIP() << "no mount namespace for a read-only Common";
    const std::string state = t.dir / "state/nocturo";
    EXPECT_EQ(*d, "selfContained=1\nusesStateFolder=1\nstateIsPerUser=1\n"
                  "data=" + bin + "/../Common\nmanual=" + bin + "/../doc/README.html\nhelpers=" + bin +
                      "\nstate=" + state + "\nerrorLog=" + state + "\nactionLog=" + state + "\ncleanerLog=" + state +
                      "\ntemp=" + state + "/temp\n");
    // Writable again, the copy is what it was.
    EXPECT_FALSE(ChooseInstallLayout(FactsOn(t.files, bin, env)).usesStateFolder);
}

// ---- the running program ------------------------------------------------------

namespace {

// A runtime on the real file system, its program in a folder of the tree.
struct ProgramRun {
    NativeFileSystem files;
    test::FakeSystemInfo sys;
    Runtime runtime;
    RuntimeScope scope{runtime};
    explicit ProgramRun(const std::string& programFolder) {
        sys.programDir = programFolder;
        runtime.pf.files = &files;
        runtime.pf.system = &sys;
    }
};

// Every file below folder, relative to it.
std::vector<std::string> FilesBelow(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (!e.is_directory()) out.push_back(fs::relative(e.path(), folder).string());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

TEST(InstallLayoutRun, ASystemInstallLogsIntoAPrivateStateFolderAndNothingBesideTheProgram) {
    Tree t;
    const std::string bin = t.fhs("usr");
    std::ofstream(t.dir / "usr/bin/nocturo") << "program";
    test::EnvOverride state("XDG_STATE_HOME", (t.dir / "home/.state").c_str());
    test::EnvOverride home("HOME", (t.dir / "home").c_str());
    ::umask(022);
    ProgramRun run(bin);

    EXPECT_EQ(ErrorLogPath(), t.dir / "home/.state/nocturo/error.log");
    WriteErrorLog("Nocturo", "cmdTest_Click of Formular FrmMain", 3, 5, "Invalid procedure call");
    WriteToLog(Layout().actionLogFolder, "an action", "");
    WriteToLog(Layout().cleanerLogFolder, "deleted : x", "DiskCleaner");

    const std::string folder = t.dir / "home/.state/nocturo";
    const std::string log = test::ReadWholeFile(folder + "/error.log");
    EXPECT_NE(log.find("########  Varn error log file - created"), std::string::npos) << log;
    EXPECT_NE(log.find("cmdTest_Click of Formular FrmMain  3  5  Invalid procedure call"), std::string::npos) << log;
    EXPECT_EQ(test::ReadWholeFile(folder + "/Nocturo.log"), std::string("an action") + LineEnd());
    EXPECT_EQ(test::ReadWholeFile(folder + "/DiskCleaner.log"), std::string("deleted : x") + LineEnd());
    // The state folder, and the one it was missing under, are the user's alone.
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    ASSERT_EQ(::stat((t.dir / "home/.state").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(FilesBelow(t.dir / "usr"), std::vector<std::string>{"bin/nocturo"});

    // The install's own files: the language files and the manual.
    EXPECT_EQ(LanguageFolder(), t.dir / "usr/share/nocturo/language");
    EXPECT_EQ(links::ManualFile(), t.dir / "usr/share/doc/nocturo/README.html");
}

TEST(InstallLayoutRun, AnExistingStateFolderIsLeftAsItIs) {
    Tree t;
    const std::string bin = t.fhs("usr");
    const std::string folder = t.make("state/nocturo");
    ::chmod(folder.c_str(), 0750);
    test::EnvOverride state("XDG_STATE_HOME", (t.dir / "state").c_str());
    ProgramRun run(bin);
    WriteToLog(Layout().actionLogFolder, "an action", "");
    EXPECT_EQ(test::ReadWholeFile(folder + "/Nocturo.log"), std::string("an action") + LineEnd());
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
}

TEST(InstallLayoutRun, TheServiceLogsIntoItsLogsDirectory) {
    Tree t;
    const std::string bin = t.fhs("usr");
    test::EnvOverride logs("LOGS_DIRECTORY", (t.dir / "log/nocturo").c_str());
    test::EnvOverride state("XDG_STATE_HOME", (t.dir / "state").c_str());
    ProgramRun run(bin);
    SetRunsAsService(true);
    WriteErrorLog("Nocturo", "Form_Load of Formular FrmMain", 1, 5, "Invalid procedure call");
    EXPECT_NE(test::ReadWholeFile(t.dir / "log/nocturo/error.log").find("Form_Load of Formular FrmMain"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(t.dir / "state"));
}

TEST(InstallLayoutRun, TheLayoutIsChosenOncePerRun) {
    Tree t;
    const std::string bin = t.fhs("opt");
    test::EnvOverride state("XDG_STATE_HOME", (t.dir / "state").c_str());
    {
        ProgramRun run(bin);
        EXPECT_FALSE(Layout().selfContained);
        t.make("opt/Common");  // made while the program runs: seen by the next run only
        EXPECT_FALSE(Layout().selfContained);
        EXPECT_EQ(ErrorLogPath(), t.dir / "state/nocturo/error.log");
    }
    ProgramRun next(bin);
    EXPECT_TRUE(Layout().selfContained);
    EXPECT_EQ(ErrorLogPath(), bin + "/../Common/error.log");
}

TEST(InstallLayoutRun, WithoutAStateFolderNothingIsWrittenAnywhere) {
    Tree t;
    const std::string bin = t.fhs("usr");
    test::EnvOverride state("XDG_STATE_HOME", nullptr);
    test::EnvOverride home("HOME", nullptr);
    ProgramRun run(bin);
    EXPECT_EQ(ErrorLogPath(), "");
    WriteErrorLog("Nocturo", "Form_Load of Formular FrmMain", 1, 5, "Invalid procedure call");
    StartErrorLog();
    EXPECT_EQ(FilesBelow(t.dir.path()), std::vector<std::string>{});
}

TEST(NativeFileSystem, AFolderIsWritableWhenItsModeAndMountAllowIt) {
    Tree t;
    const std::string folder = t.make("open");
    EXPECT_TRUE(t.files.folderWritable(folder));
    EXPECT_FALSE(t.files.folderWritable(t.dir / "missing"));
    std::ofstream(t.dir / "file") << "x";
    EXPECT_FALSE(t.files.folderWritable(t.dir / "file"));
    if (::geteuid() != 0) {
        ::chmod(folder.c_str(), 0555);
        EXPECT_FALSE(t.files.folderWritable(folder));
        ::chmod(folder.c_str(), 0755);
    }
    EXPECT_EQ(FilesBelow(t.dir.path()), std::vector<std::string>{"file"});
}

TEST(NativeFileSystem, APrivateFolderIsTheUsersAloneWhateverTheUmask) {
    Tree t;
    const mode_t old = ::umask(0);
    t.files.createPrivateFolder(t.dir / "private");
    t.files.createFolder(t.dir / "shared");
    ::umask(old);
    struct stat st {};
    ASSERT_EQ(::stat((t.dir / "private").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    ASSERT_EQ(::stat((t.dir / "shared").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0777u);
    EXPECT_NO_THROW(t.files.createPrivateFolder(t.dir / "private"));  // already there
    std::ofstream(t.dir / "file") << "x";
    EXPECT_THROW(t.files.createPrivateFolder(t.dir / "file"), platform::Error);
}

#else  // _WIN32

TEST(NativeFileSystem, TheWriteProbeLeavesNothingBehind) {
    TempDir dir;
    NativeFileSystem files;
    EXPECT_TRUE(files.folderWritable(dir.path()));
    EXPECT_FALSE(files.folderWritable(dir / "missing"));
    std::ofstream(dir / "file") << "x";
    EXPECT_FALSE(files.folderWritable(dir / "file"));
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir.path())) left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"file"});
}

TEST(InstallLayoutRun, APortableCopyOnWindowsWritesIntoCommon) {
    TempDir dir;
    fs::create_directories(dir / "bin");
    fs::create_directories(dir / "Common");
    NativeFileSystem files;
    test::FakeSystemInfo sys;
    sys.programDir = fs::path(dir / "bin").make_preferred().string();
    Runtime runtime;
    runtime.pf.files = &files;
    runtime.pf.system = &sys;
    RuntimeScope scope(runtime);
    EXPECT_TRUE(Layout().selfContained);
    EXPECT_FALSE(Layout().usesStateFolder);
    WriteErrorLog("Nocturo", "Form_Load of Formular FrmMain", 1, 5, "Invalid procedure call");
    EXPECT_NE(test::ReadWholeFile(dir / "Common/error.log").find("Form_Load of Formular FrmMain"), std::string::npos);
}

#endif
