// The settings file as nocturoctl leaves it: a regedit export stays a
// regedit export with one value changed, and writers killed at any moment
// leave a file that reads, with the old or the new value of each write.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/common/RegStore.h"
#include "support/EnvOverride.h"
#include "support/TestSupport.h"

extern char** environ;

using nocturo::platform::RegData;
using nocturo::platform::RegFileText;
using nocturo::platform::RegStore;
using nocturo::platform::RegValue;
using nocturo::test::EnvOverride;
using nocturo::test::ReadWholeFile;
using nocturo::test::TempDir;
using nocturo::test::WriteWholeFile;
namespace fs = std::filesystem;

namespace {

const std::string kCtl = std::string(NOCTURO_BUILD_DIR) + "/bin/nocturoctl";

pid_t Spawn(const std::vector<std::string>& args) {
    std::vector<std::string> storage{kCtl};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, kCtl.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int WaitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

bool Ctl(const std::vector<std::string>& args) {
    const pid_t pid = Spawn(args);
    if (pid < 0) return false;
    const int status = WaitFor(pid);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::u16string Utf16(const std::string& utf8) {
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const int len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        for (int k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]) & 0x3F);
        i += static_cast<std::size_t>(len);
        out += static_cast<char16_t>(cp);  // the texts here stay in the BMP
    }
    return out;
}

std::string Utf16LeWithBom(const std::string& utf8) {
    std::string out = "\xFF\xFE";
    for (char16_t c : Utf16(utf8)) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

// The user's settings key as nocturoctl names it on this machine.
std::string UserSettingsKey(const std::string& file) {
    if (!Ctl({"settings", "set", "user", "txtHour", "00"})) return "";
    const RegStore s = RegStore::parse(ReadWholeFile(file));
    const auto users = s.subKeyNames("HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo");
    if (users.size() != 1) return "";
    return "HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\" + users[0] + "\\Settings";
}

// An export of the program's key as regedit writes it, with a value of
// every type and a key the program does not know.
std::string RegeditExport(const std::string& settingsKey) {
    const std::string parent = settingsKey.substr(0, settingsKey.rfind('\\'));
    return "Windows Registry Editor Version 5.00\r\n"
           "\r\n"
           "[HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo]\r\n"
           "\r\n"
           "[" + parent + "]\r\n"
           "\r\n"
           "[" + settingsKey + "]\r\n"
           "\"txtHour\"=\"03\"\r\n"
           "\"txtMinute\"=\"00\"\r\n"
           "\"poption\"=\"Pässwort €\"\r\n"
           "\"txtProgram\"=\"C:\\\\Program Files\\\\\\\"Nocturo\\\"\\\\run.exe\"\r\n"
           "\"txtNote\"=\"line one\\nline two\"\r\n"
           "\"optActions1\"=dword:ffffffff\r\n"
           "\"ShellState\"=hex:24,00,00,00,30,28,00,00,00,00,00,00,00,00,00,00,00,00,00,00,\\\r\n"
           "  01,00,00,00,13,00,00,00,00,00,00,00,72,00,00,00\r\n"
           "\"Path\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,\\\r\n"
           "  00,25,00,5c,00,73,00,79,00,73,00,74,00,65,00,6d,00,33,00,32,00,00,00\r\n"
           "\"Folders\"=hex(7):43,00,3a,00,5c,00,54,00,65,00,6d,00,70,00,00,00,44,00,3a,00,\\\r\n"
           "  5c,00,44,00,61,00,74,00,65,00,6e,00,00,00,00,00\r\n"
           "\"Stamp\"=hex(b):00,80,3e,d5,de,b1,9d,01\r\n"
           "\r\n"
           "[HKEY_LOCAL_MACHINE\\Software\\Varn\\Other]\r\n"
           "\"kept\"=\"as it was\"\r\n"
           "\r\n";
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

std::vector<std::string> CorruptFiles(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().find(".corrupt-") != std::string::npos) found.push_back(e.path().string());
    return found;
}

}  // namespace

TEST(StoreFile, ARegeditExportKeepsItsFormWhenNocturoctlSetsAValue) {
    TempDir dir;
    const std::string file = dir / "registry.reg";
    EnvOverride registry("NOCTURO_REGISTRY", file);
    const std::string key = UserSettingsKey(file);
    ASSERT_FALSE(key.empty());
    const std::string exported = RegeditExport(key);

    struct Case {
        std::vector<std::string> args;
        std::string oldLine, newLine;
    };
    const Case cases[] = {
        {{"settings", "set", "user", "txtHour", "04"}, "\"txtHour\"=\"03\"", "\"txtHour\"=\"04\""},
        {{"settings", "set", "user", "poption", "neu \"€\""}, "\"poption\"=\"Pässwort €\"", "\"poption\"=\"neu \\\"€\\\"\""},
        {{"settings", "set", "user", "optActions1", "8", "--dword"}, "\"optActions1\"=dword:ffffffff",
         "\"optActions1\"=dword:00000008"},
        {{"settings", "set", "user", "txtNote", "a\nb\\n"}, "\"txtNote\"=\"line one\\nline two\"",
         "\"txtNote\"=\"a\\nb\\\\n\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.newLine);
        WriteWholeFile(file, Utf16LeWithBom(exported));
        ASSERT_TRUE(Ctl(c.args));
        EXPECT_EQ(ReadWholeFile(file), Utf16LeWithBom(Replace(exported, c.oldLine + "\r\n", c.newLine + "\r\n")));
    }

    // The same export saved as UTF-8 with LF line ends (as files were
    // written until now) comes back as regedit writes it.
    std::string lf;
    for (char ch : exported)
        if (ch != '\r') lf += ch;
    WriteWholeFile(file, lf);
    ASSERT_TRUE(Ctl({"settings", "set", "user", "txtMinute", "30"}));
    EXPECT_EQ(ReadWholeFile(file),
              Utf16LeWithBom(Replace(exported, "\"txtMinute\"=\"00\"\r\n", "\"txtMinute\"=\"30\"\r\n")));
    EXPECT_TRUE(CorruptFiles(dir.path()).empty());
}

// 60 kills here; scripts/store-soak runs it with NOCTURO_STORE_SOAK_KILLS=1000.
TEST(StoreFile, WritersKilledAtRandomMomentsLeaveOldOrNewValues) {
    TempDir dir;
    const std::string file = dir / "registry.reg";
    EnvOverride registry("NOCTURO_REGISTRY", file);
    const std::string key = UserSettingsKey(file);
    ASSERT_FALSE(key.empty());
    WriteWholeFile(file, Utf16LeWithBom(RegeditExport(key)));
    const RegStore original = RegStore::parse(ReadWholeFile(file));

    const int kills = std::getenv("NOCTURO_STORE_SOAK_KILLS") ? std::atoi(std::getenv("NOCTURO_STORE_SOAK_KILLS")) : 60;
    const unsigned seed = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delayUs(0, 40000);  // a run of nocturoctl takes some 10 to 40 ms

    std::string text = "03";   // txtHour as the file holds it
    std::uint32_t number = 0;  // chkSoak, by the second writer
    bool numberWritten = false;
    int killed = 0, rounds = 0;
    while (killed < kills && rounds < 20 * kills) {
        ++rounds;
        const std::string newText = "t" + std::to_string(rounds);
        const auto newNumber = static_cast<std::uint32_t>(rounds);
        const pid_t a = Spawn({"settings", "set", "user", "txtHour", newText});
        const pid_t b = Spawn({"settings", "set", "user", "chkSoak", std::to_string(newNumber), "--dword"});
        ASSERT_GT(a, 0);
        ASSERT_GT(b, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        const int which = rounds % 3;  // the first, the second or both
        if (which != 1) kill(a, SIGKILL);
        if (which != 0) kill(b, SIGKILL);
        const int statusA = WaitFor(a), statusB = WaitFor(b);
        for (int status : {statusA, statusB}) {
            if (WIFSIGNALED(status)) {
                ++killed;
            } else {
                ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << rounds;
            }
        }

        RegStore now;
        ASSERT_NO_THROW(now = RegStore::parse(ReadWholeFile(file))) << "round " << rounds;
        ASSERT_TRUE(CorruptFiles(dir.path()).empty()) << "round " << rounds;
        const auto t = now.read(key + "\\txtHour");
        ASSERT_TRUE(t);
        const std::string& got = std::get<std::string>(*t);
        ASSERT_TRUE(got == text || got == newText) << "round " << rounds << ": " << got;
        if (WIFEXITED(statusA)) {
            ASSERT_EQ(got, newText) << "round " << rounds;  // a finished write stays
        }
        text = got;
        const auto n = now.read(key + "\\chkSoak");
        if (n) {
            const std::uint32_t value = std::get<std::uint32_t>(*n);
            ASSERT_TRUE(value == newNumber || (numberWritten && value == number)) << "round " << rounds;
            if (WIFEXITED(statusB)) {
                ASSERT_EQ(value, newNumber) << "round " << rounds;
            }
            number = value;
            numberWritten = true;
        } else {
            ASSERT_FALSE(numberWritten) << "round " << rounds;
            ASSERT_FALSE(WIFEXITED(statusB)) << "round " << rounds;
        }
        // Everything else is as regedit wrote it.
        for (const char* name : {"txtMinute", "poption", "txtProgram", "txtNote", "optActions1", "ShellState", "Path",
                                 "Folders", "Stamp"}) {
            const RegData* was = original.find(key + "\\" + name);
            const RegData* is = now.find(key + "\\" + name);
            ASSERT_TRUE(was && is && *was == *is) << name << ", round " << rounds;
        }
        ASSERT_EQ(now.read("HKEY_LOCAL_MACHINE\\Software\\Varn\\Other\\kept"), RegValue{std::string("as it was")});
    }
    EXPECT_GE(killed, kills) << "in " << rounds << " rounds";
    // A writer that ends normally clears what the killed ones left.
    ASSERT_TRUE(Ctl({"settings", "set", "user", "txtHour", "done"}));
    EXPECT_FALSE(fs::exists(file + ".tmp"));
    std::cout << "[          ] " << killed << " writers killed in " << rounds << " rounds\n";
}
