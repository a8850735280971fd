#include <gtest/gtest.h>

#include <sstream>

#include "base/Varn_Registry.h"
#include "cipher/Varn_encryption3.h"
#include "platform/posix/TerminalDialogs.h"
#include "programs/support/Ctl.h"
#include "programs/support/Programs.h"
#include "support/CtlRun.h"
#include "support/TestWorld.h"

using namespace nocturo;
using nocturo::test::TestWorld;

using Ctl = nocturo::test::CtlRun;

TEST(Ctl, SettingsRoundTripInBothTreesWithTypes) {
    Ctl c;
    EXPECT_EQ(c.run({"settings", "set", "user", "txtHour", "03"}), 0);
    EXPECT_EQ(c.run({"settings", "set", "user", "chkForce", "-1", "--dword"}), 0);
    EXPECT_EQ(c.run({"settings", "set", "machine", "chkNtService", "0", "--dword"}), 0);
    EXPECT_EQ(c.run({"settings", "get", "user", "txtHour"}), 0);
    EXPECT_EQ(c.out.str(), "03\n");
    EXPECT_EQ(c.run({"settings", "get", "user", "chkForce"}), 0);
    EXPECT_EQ(c.out.str(), "-1\n");
    auto raw = c.w.reg.read("HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\TESTER\\Settings\\chkForce");
    ASSERT_TRUE(raw.has_value());
    EXPECT_EQ(std::get<std::uint32_t>(*raw), 0xFFFFFFFFu);
    EXPECT_EQ(c.run({"settings", "list", "user"}), 0);
    EXPECT_EQ(c.out.str(), "txtHour=03\nchkForce=-1\n");
    EXPECT_EQ(c.run({"settings", "list"}), 0);
    EXPECT_EQ(c.out.str(), "txtHour=03\nchkForce=-1\nchkNtService=0\n");
}

TEST(Ctl, MissingValueIsNotFoundAndBadUsageIsTwoWithOneLine) {
    Ctl c;
    EXPECT_EQ(c.run({"settings", "get", "user", "nothing"}), 1);
    EXPECT_EQ(c.out.str(), "");
    EXPECT_EQ(c.err.str(), "nocturoctl: no setting nothing in the user tree\n");
    EXPECT_EQ(c.run({"settings", "get", "machine", "nothing", "--folder", "/data/"}), 1);
    EXPECT_EQ(c.err.str(), "nocturoctl: no setting nothing in the machine tree for the folder /data/\n");
    EXPECT_EQ(c.run({"settings", "get", "galaxy", "x"}), 2);
    const std::string message = c.err.str();
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1);
    EXPECT_EQ(c.run({"settings", "set", "user", "x", "4294967296", "--dword"}), 2);
    EXPECT_EQ(c.run({"settings", "set", "user", "x", "12abc", "--dword"}), 2);
    EXPECT_EQ(c.run({}), 2);
    EXPECT_EQ(c.run({"frobnicate"}), 2);
    EXPECT_EQ(c.run({"--help"}), 0);
    EXPECT_NE(c.out.str().find("settings get user|machine NAME"), std::string::npos);
    EXPECT_EQ(c.run({"--version"}), 0);
    EXPECT_EQ(c.out.str().rfind("nocturoctl ", 0), 0u);
    EXPECT_EQ(c.run({"--version", "now"}), 2);
    EXPECT_EQ(c.out.str(), "");
    EXPECT_EQ(c.err.str(), "nocturoctl: unexpected argument now (try --help)\n");
    EXPECT_EQ(c.run({"--help", "settings"}), 2);
}

TEST(Ctl, ServiceModeMakesTheUserTreeTheMachineTree) {
    Ctl c;
    EXPECT_EQ(c.run({"settings", "set", "machine", "chkNtService", "1", "--dword"}), 0);
    EXPECT_EQ(c.run({"settings", "set", "user", "txtHour", "05"}), 0);
    EXPECT_EQ(c.run({"settings", "get", "machine", "txtHour"}), 0);
    EXPECT_EQ(c.out.str(), "05\n");
}

TEST(Ctl, PasswordAndCipherCommands) {
    Ctl c;
    EXPECT_EQ(c.run({"password", "set", "geheim"}), 0);
    c.run({"settings", "get", "machine", "poption"});
    std::string stored = c.out.str();
    stored.pop_back();
    EXPECT_EQ(Decrypt3(stored, ""), "geheim");
    EXPECT_EQ(c.run({"decrypt3", stored}), 0);
    EXPECT_EQ(c.out.str(), "geheim\n");
    EXPECT_EQ(c.run({"encrypt3", "a"}), 0);
    EXPECT_EQ(c.out.str().size(), 33u);
    EXPECT_EQ(c.run({"password", "clear"}), 0);
    c.run({"settings", "get", "machine", "poption"});
    EXPECT_EQ(c.out.str(), "\n");
    EXPECT_EQ(c.run({"password"}), 2);
}

TEST(Ctl, WhatIsNoStoredFormIsAFailureWithItsLine) {
    Ctl c;
    for (const char* bad : {"ZZZ", "0102"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(c.run({"decrypt3", bad}), 1);
        EXPECT_EQ(c.out.str(), "");
        EXPECT_EQ(c.err.str(), std::string("nocturoctl: '") + bad + "' is no stored form\n");
    }
    // No text is the stored form of no password.
    EXPECT_EQ(c.run({"decrypt3", ""}), 0);
    EXPECT_EQ(c.out.str(), "\n");
    EXPECT_EQ(c.run({"decrypt3"}), 2);
    EXPECT_EQ(c.run({"decrypt3", "a", "b"}), 2);
}

TEST(Ctl, ThePasswordFromStandardInputIsItsFirstLine) {
    auto stored = [](Ctl& c) {
        c.run({"settings", "get", "machine", "poption"});
        std::string s = c.out.str();
        if (!s.empty()) s.pop_back();
        return s;
    };
    Ctl c;
    c.in.str("geheim wort\r\nsecond line\n");
    EXPECT_EQ(c.run({"password", "set", "--stdin"}), 0);
    EXPECT_EQ(c.out.str(), "Password saved\n");
    EXPECT_EQ(Decrypt3(stored(c), ""), "geheim wort");
    // Nothing, or only blanks, would be no password: refused, the old one kept.
    for (const char* input : {"", "\n", "   \n"}) {
        SCOPED_TRACE(std::string("'") + input + "'");
        c.in.clear();
        c.in.str(input);
        EXPECT_EQ(c.run({"password", "set", "--stdin"}), 1);
        const std::string message = c.err.str();
        EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
        EXPECT_NE(message.find("unchanged"), std::string::npos) << message;
        EXPECT_EQ(Decrypt3(stored(c), ""), "geheim wort");
    }
    EXPECT_EQ(c.run({"password", "set", "   "}), 1);
    EXPECT_EQ(Decrypt3(stored(c), ""), "geheim wort");
    // A mistyped option is not taken as the password.
    EXPECT_EQ(c.run({"password", "set", "--stdn"}), 2);
    EXPECT_EQ(Decrypt3(stored(c), ""), "geheim wort");
    EXPECT_EQ(c.run({"password", "set", "--stdin", "extra"}), 2);
}

TEST(Ctl, LangCheckPrintsEntriesOrTheReadersErrorWithItsLine) {
    Ctl c;
    c.w.fs.addFile("/tmp/x/good.lng", "# c\nT0021\tHello\nT0005\tA\n");
    EXPECT_EQ(c.run({"lang", "check", "/tmp/x/good.lng"}), 0);
    EXPECT_EQ(c.out.str(), "5\tA\n21\tHello\n");
    c.w.fs.addFile("/tmp/x/bad.lng", "T0001\tok\n\nT21\tHello\n");
    EXPECT_EQ(c.run({"lang", "check", "/tmp/x/bad.lng"}), 1);
    EXPECT_EQ(c.err.str().rfind("/tmp/x/bad.lng:3: ", 0), 0u) << c.err.str();
    EXPECT_EQ(c.run({"lang", "check", "/tmp/x/none.lng"}), 1);
}

TEST(ProgramArguments, OurOptionsAreTakenOutBeforeTheCommandLineIsRead) {
    auto a = programs::ParseProgramArguments({"--headless", "/action:reboot", "/option:noquestion"});
    EXPECT_TRUE(a.headless);
    EXPECT_EQ(a.commandLine, "/action:reboot /option:noquestion");
    auto b = programs::ParseProgramArguments({"/ACTION:Reboot", "--frob"});
    EXPECT_EQ(b.unknownOption, "--frob");
    EXPECT_EQ(b.commandLine, "/ACTION:Reboot");
    auto c = programs::ParseProgramArguments({"-h", "/action:", "reboot"});
    EXPECT_TRUE(c.help);
    EXPECT_EQ(c.words, (std::vector<std::string>{"/action:", "reboot"}));
}

TEST(ProgramArguments, NocturoTakesItsSwitchesAndNothingElse) {
    auto check = [](std::vector<std::string> words) {
        return programs::NocturoArguments(programs::ParseProgramArguments(words));
    };
    EXPECT_EQ(check({}), "");
    EXPECT_EQ(check({"/ACTION:Reboot", "/option:noquestion"}), "");
    EXPECT_EQ(check({"/action:", "reboot", "/option:", "poweroff"}), "");  // the value in the next word
    EXPECT_EQ(check({"/action:", "/option:noquestion"}), "");              // default
    EXPECT_EQ(check({"reboot"}), "unexpected argument reboot");
    EXPECT_EQ(check({"/action:reboot", "now"}), "unexpected argument now");
    EXPECT_EQ(check({"x/action:reboot"}), "unexpected argument x/action:reboot");
    EXPECT_EQ(check({"/action:lock"}), "");
    EXPECT_NE(check({"/action:", "rebott"}).find("unknown action 'rebott'"), std::string::npos);
    EXPECT_EQ(programs::NoArguments(programs::ParseProgramArguments({"/s"})), "unexpected argument /s");
    EXPECT_EQ(programs::NoArguments(programs::ParseProgramArguments({"--headless"})), "");
}

TEST(Ctl, FindPrintsEveryReportedNameInOrder) {
    Ctl c;
    c.w.fs.addFile("/data/a.tmp", "1");
    c.w.fs.addFile("/data/b.bak", "1");
    c.w.fs.addFile("/data/sub/c.bak", "1");
    c.w.fs.addFile("/data/empty.txt", "");
    EXPECT_EQ(c.run({"find", "/data", "*.bak;*.tmp"}), 0);
    EXPECT_EQ(c.out.str(), "/data/b.bak\n/data/a.tmp\n");
    EXPECT_EQ(c.run({"find", "/data/", "*.bak", "--subdirs", "--zero"}), 0);
    EXPECT_EQ(c.out.str(), "/data/empty.txt\n/data/b.bak\n/data/sub/c.bak\n");
    EXPECT_EQ(c.run({"find", "/data"}), 2);
    EXPECT_EQ(c.run({"find", "/nowhere", "*.bak"}), 1);
    EXPECT_EQ(c.out.str(), "");
    EXPECT_EQ(c.err.str(), "nocturoctl: /nowhere: no such folder\n");
    EXPECT_EQ(c.run({"find", "/data/b.bak", "*.bak"}), 1);
    EXPECT_EQ(c.err.str(), "nocturoctl: /data/b.bak: no such folder\n");
    // A folder without matches is no failure.
    EXPECT_EQ(c.run({"find", "/data/sub", "*.tmp"}), 0);
    EXPECT_EQ(c.out.str(), "");
    EXPECT_EQ(c.err.str(), "");
}

TEST(Ctl, CleanDryRunListsWhatTheRunWouldDeleteAndHowWithoutDeleting) {
    Ctl c;
    c.w.fs.addFile("/tmp/old.bak");
    c.w.fs.addFile("/data/x.tmp");
    c.w.fs.addFile("/data/y.bak");
    EXPECT_EQ(c.run({"settings", "set", "user", "CleanDirs", ";/tmp/;/data/;"}), 0);
    EXPECT_EQ(c.run({"settings", "set", "user", "ExtList", ";*.tmp;", "--folder", "/data/"}), 0);
    EXPECT_EQ(c.run({"settings", "set", "user", "chkDelType", "0", "--dword", "--folder", "/data/"}), 0);
    EXPECT_EQ(c.run({"settings", "get", "user", "ExtList", "--folder", "/data/"}), 0);
    EXPECT_EQ(c.out.str(), ";*.tmp;\n");
    EXPECT_EQ(c.run({"settings", "list", "user", "--folder", "/data/"}), 0);
    EXPECT_EQ(c.out.str(), "ExtList=;*.tmp;\nchkDelType=0\n");
    EXPECT_EQ(c.run({"clean", "--dry-run"}), 0);
    EXPECT_EQ(c.out.str(), "recycle\t/tmp/old.bak\ndelete\t/data/x.tmp\n");
    EXPECT_TRUE(c.w.fs.exists("/tmp/old.bak"));
    EXPECT_TRUE(c.w.fs.exists("/data/x.tmp"));
    EXPECT_EQ(c.run({"clean", "-0"}), 2);
    EXPECT_EQ(c.run({"clean", "--now"}), 2);
    EXPECT_EQ(c.run({"settings", "get", "user", "x", "--folder"}), 2);
}

// The real run deletes only once confirmed: by a Yes on the terminal or by
// --yes. No one to ask, or a No, deletes nothing.
TEST(Ctl, CleanDeletesOnlyOnceConfirmedAndSaysWhatItDid) {
    const struct {
        const char* how;
        std::vector<std::string> args;
        int answer;  // 0: none scripted
        int code;
        bool deleted;
    } rows[] = {
        {"nobody to ask", {"clean"}, 0, 1, false},
        {"answered no", {"clean"}, platform::mb::IdNo, 1, false},
        {"answered yes", {"clean"}, platform::mb::IdYes, 0, true},
        {"--yes", {"clean", "--yes"}, 0, 0, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.how);
        Ctl c;
        c.w.fs.addFile("/data/x.tmp");
        c.w.fs.addFile("/data/keep.txt");
        ASSERT_EQ(c.run({"settings", "set", "user", "CleanDirs", ";/data/;"}), 0);
        ASSERT_EQ(c.run({"settings", "set", "user", "ExtList", ";*.tmp;", "--folder", "/data/"}), 0);
        ASSERT_EQ(c.run({"settings", "set", "user", "chkDelType", "0", "--dword", "--folder", "/data/"}), 0);
        // Without a terminal the command line has nobody to ask.
        nocturo::platform::TerminalDialogs noTerminal(nullptr, -1, -1);
        if (row.answer) c.w.dlg.answers.push_back(row.answer);
        else c.w.runtime.pf.dialogs = &noTerminal;
        EXPECT_EQ(c.run(row.args), row.code);
        EXPECT_EQ(c.w.fs.exists("/data/x.tmp"), !row.deleted);
        EXPECT_TRUE(c.w.fs.exists("/data/keep.txt"));
        const std::string out = c.out.str();
        EXPECT_EQ(out.rfind("delete\t/data/x.tmp\n", 0), 0u) << out;
        if (row.deleted) {
            EXPECT_NE(out.find("Deleted 1 of 1 files\n"), std::string::npos) << out;
        } else {
            EXPECT_NE(c.err.str().find("nothing deleted"), std::string::npos) << c.err.str();
        }
    }
}

TEST(Ctl, CleanWithNothingToCleanSaysSo) {
    Ctl c;
    ASSERT_EQ(c.run({"settings", "set", "user", "CleanDirs", ";/empty/;"}), 0);
    EXPECT_EQ(c.run({"clean", "--yes"}), 0);
    EXPECT_EQ(c.out.str(), "Nothing to clean\n");
    EXPECT_EQ(c.run({"clean", "--dry-run"}), 0);
    EXPECT_EQ(c.out.str(), "Nothing to clean\n");
    // With -0 standard output holds names only.
    EXPECT_EQ(c.run({"clean", "--dry-run", "-0"}), 0);
    EXPECT_EQ(c.out.str(), "");
    EXPECT_EQ(c.err.str(), "Nothing to clean\n");
}

TEST(Ctl, FoundNamesCannotForgeLinesAndMinusZeroGivesThemAsTheyAre) {
    Ctl c;
    c.w.fs.addFile("/data/plain.bak");
    c.w.fs.addFile("/data/two\nlines.bak");
    EXPECT_EQ(c.run({"find", "/data", "*.bak"}), 0);
    EXPECT_EQ(c.out.str(), "/data/plain.bak\n/data/two\\nlines.bak\n");
    EXPECT_EQ(c.run({"find", "/data", "*.bak", "-0"}), 0);
    EXPECT_EQ(c.out.str(), std::string("/data/plain.bak\0/data/two\nlines.bak\0", 36));
    EXPECT_EQ(c.run({"settings", "set", "user", "CleanDirs", ";/data/;"}), 0);
    EXPECT_EQ(c.run({"clean", "--dry-run", "-0"}), 0);
    EXPECT_EQ(c.out.str(), std::string("recycle\t/data/plain.bak\0recycle\t/data/two\nlines.bak\0", 52));
    EXPECT_EQ(c.run({"clean", "--dry-run"}), 0);
    EXPECT_EQ(c.out.str(), "recycle\t/data/plain.bak\nrecycle\t/data/two\\nlines.bak\n");
}

TEST(Ctl, AnEmptyFolderAndSpecificationsWithAFolderPartAreRefused) {
    Ctl c;
    for (const char* folder : {"", "  "}) {
        EXPECT_EQ(c.run({"find", folder, "*.bak"}), 2) << "'" << folder << "'";
        EXPECT_NE(c.err.str().find("whole file system"), std::string::npos);
    }
    for (const char* specs : {"../outside/*.bak", "*.bak;sub/*.tmp;", "..", "a\\b.bak"}) {
        EXPECT_EQ(c.run({"settings", "set", "user", "ExtList", specs, "--folder", "/data/"}), 2) << specs;
        EXPECT_NE(c.err.str().find("has a folder part"), std::string::npos) << specs;
    }
    EXPECT_EQ(c.run({"settings", "set", "user", "ExtList", "*.bak;temp.*;~*.*;", "--folder", "/data/"}), 0);
    // Outside a folder's section the name means nothing to the cleaner: stored as given.
    EXPECT_EQ(c.run({"settings", "set", "user", "ExtList", "../x", }), 0);
}
