#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/EnvOverride.h"
#include "platform/Error.h"
#include "platform/posix/RegFileRegistry.h"
#include "support/OrdinaryUser.h"
#include "support/TestSupport.h"

using nocturo::platform::DefaultRegistryPath;
using nocturo::platform::Error;
using nocturo::platform::RegFileRegistry;
using nocturo::platform::RegFileText;
using nocturo::platform::RegValue;
using nocturo::test::EnvOverride;
using nocturo::test::ReadWholeFile;
using nocturo::test::TempDir;
using nocturo::test::WriteWholeFile;
namespace fs = std::filesystem;

namespace {

const std::string kKey = "HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\ADMIN\\Settings\\";

std::vector<std::string> CorruptFiles(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().find(".corrupt-") != std::string::npos) found.push_back(e.path().string());
    return found;
}

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

}  // namespace

TEST(RegFileRegistry, MissingFileIsAnEmptyStoreAndFirstWriteCreatesIt) {
    TempDir dir;
    const std::string path = dir / "config/nocturo/registry.reg";
    RegFileRegistry reg(path);
    EXPECT_FALSE(reg.exists(kKey + "chkSound"));
    EXPECT_FALSE(reg.read(kKey + "chkSound"));
    reg.deleteValue(kKey + "chkSound");  // nothing to delete: no file either
    EXPECT_FALSE(fs::exists(dir / "config"));

    reg.writeDword(kKey + "chkSound", 1);
    reg.writeString(kKey + "txtName", "Ärger \"quoted\"");
    // Written as regedit writes it, so that it imports on Windows.
    const std::string bytes = ReadWholeFile(path);
    ASSERT_EQ(bytes.substr(0, 4), std::string("\xFF\xFEW\0", 4));
    EXPECT_EQ(RegFileText(bytes),
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\ADMIN\\Settings]\r\n"
              "\"chkSound\"=dword:00000001\r\n"
              "\"txtName\"=\"Ärger \\\"quoted\\\"\"\r\n\r\n");
    EXPECT_EQ(fs::status(dir / "config/nocturo").permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(fs::exists(path + ".lock"));
    EXPECT_FALSE(fs::exists(path + ".tmp"));

    RegFileRegistry again(path);
    EXPECT_EQ(again.read(kKey + "CHKSOUND"), RegValue{1u});
    EXPECT_EQ(again.read(kKey + "txtName"), RegValue{std::string("Ärger \"quoted\"")});
}

TEST(RegFileRegistry, KeyOperationsAndUnchangedWritesPersistCorrectly) {
    TempDir dir;
    const std::string path = dir / "registry.reg";
    RegFileRegistry reg(path);
    reg.writeString("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU\\a", "notepad");
    reg.writeString("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU\\MRUList", "a");
    reg.deleteKey("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU");
    reg.createKey("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU");
    RegFileRegistry other(path);
    EXPECT_FALSE(other.exists("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU\\a"));
    EXPECT_NE(RegFileText(ReadWholeFile(path)).find("[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU]"),
              std::string::npos);

    // Writing a value it already holds leaves the file alone.
    reg.writeDword(kKey + "x", 5);
    const ino_t before = InodeOf(path);
    reg.writeDword(kKey + "x", 5);
    reg.deleteValue(kKey + "missing");
    EXPECT_EQ(InodeOf(path), before);

    // Permissions the user gave the file survive rewrites.
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    reg.writeDword(kKey + "x", 6);
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_THROW(reg.writeDword("HKEY_NOWHERE\\x", 1), Error);
    EXPECT_EQ(reg.read(kKey + "x"), RegValue{6u});
}

TEST(RegFileRegistry, ReadsParseOnlyWhenTheFileChanged) {
    TempDir dir;
    const std::string path = dir / "registry.reg";
    RegFileRegistry a(path);
    a.writeDword(kKey + "chkSound", 1);
    const auto afterWrite = a.parseCount();
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(a.exists(kKey + "chkSound"));
        ASSERT_EQ(a.read(kKey + "chkSound"), RegValue{1u});
    }
    EXPECT_EQ(a.parseCount(), afterWrite);  // its own write needs no parse either

    RegFileRegistry b(path);
    b.writeDword(kKey + "chkSound", 0);
    b.writeString(kKey + "txtNew", "from b");
    EXPECT_EQ(a.read(kKey + "chkSound"), RegValue{0u});
    EXPECT_EQ(a.read(kKey + "txtNew"), RegValue{std::string("from b")});
    EXPECT_EQ(a.parseCount(), afterWrite + 1);

    // Touched but not changed: looked at, not parsed.
    fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(5));
    EXPECT_TRUE(a.exists(kKey + "txtNew"));
    EXPECT_EQ(a.parseCount(), afterWrite + 1);

    // Removed behind its back: empty again.
    fs::remove(path);
    EXPECT_FALSE(a.exists(kKey + "txtNew"));
}

TEST(RegFileRegistry, WritesMergeWhatAnotherInstanceWrote) {
    TempDir dir;
    const std::string path = dir / "registry.reg";
    RegFileRegistry a(path), b(path);
    a.writeString(kKey + "fromA", "1");
    EXPECT_FALSE(b.exists(kKey + "missing"));  // b has now read the file with fromA only
    a.writeString(kKey + "fromA2", "2");
    b.writeString(kKey + "fromB", "3");  // must not lose fromA2
    RegFileRegistry c(path);
    EXPECT_TRUE(c.exists(kKey + "fromA"));
    EXPECT_TRUE(c.exists(kKey + "fromA2"));
    EXPECT_TRUE(c.exists(kKey + "fromB"));
}

TEST(RegFileRegistry, TwoProcessesWritingAtOnceLoseNothing) {
    TempDir dir;
    const std::string path = dir / "registry.reg";
    constexpr int kPerProcess = 200;
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < 2; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(go[1]);
            char c;
            if (read(go[0], &c, 1) != 0) _exit(3);  // starts when the parent closes the pipe
            try {
                RegFileRegistry reg(path);
                for (int i = 0; i < kPerProcess; ++i)
                    reg.writeDword(kKey + "p" + std::to_string(p) + "_" + std::to_string(i), static_cast<std::uint32_t>(i));
            } catch (...) {
                _exit(2);
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    close(go[0]);
    close(go[1]);
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    RegFileRegistry reg(path);
    int found = 0;
    for (int p = 0; p < 2; ++p)
        for (int i = 0; i < kPerProcess; ++i)
            if (reg.read(kKey + "p" + std::to_string(p) + "_" + std::to_string(i)) == RegValue{static_cast<std::uint32_t>(i)})
                ++found;
    EXPECT_EQ(found, 2 * kPerProcess);
    EXPECT_FALSE(fs::exists(path + ".tmp"));
}

TEST(RegFileRegistry, WriterKilledAtAnyMomentLeavesAReadableFile) {
    TempDir dir;
    const std::string path = dir / "registry.reg";
    RegFileRegistry(path).writeDword(kKey + "seed", 1);
    std::uint32_t lastSeen = 0;
    for (int round = 0; round < 20; ++round) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            RegFileRegistry reg(path);
            const auto start = reg.read(kKey + "counter");
            for (std::uint32_t i = start ? std::get<std::uint32_t>(*start) + 1 : 1;; ++i) {
                reg.writeDword(kKey + "counter", i);
                reg.writeString(kKey + "text" + std::to_string(i % 7), std::string(i % 300, 'x'));
            }
        }
        usleep(static_cast<useconds_t>(1000 + (round * 7919) % 20000));
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);

        int corrupt = 0;
        RegFileRegistry reg(path, [&](const std::string&) { ++corrupt; });
        ASSERT_NO_THROW(nocturo::platform::RegStore::parse(ReadWholeFile(path))) << "round " << round;
        EXPECT_EQ(reg.read(kKey + "seed"), RegValue{1u});
        EXPECT_EQ(corrupt, 0);
        // The counter only grows: whatever survives is a complete write.
        const auto counter = reg.read(kKey + "counter");
        if (counter) {
            EXPECT_GE(std::get<std::uint32_t>(*counter), lastSeen);
            lastSeen = std::get<std::uint32_t>(*counter);
        }
        reg.writeDword(kKey + "round", static_cast<std::uint32_t>(round));  // clears a temporary file the kill left
        EXPECT_FALSE(fs::exists(path + ".tmp"));
    }
    EXPECT_GT(lastSeen, 0u);
}

TEST(RegFileRegistry, CorruptFileIsMovedAsideReportedOnceAndKept) {
    TempDir dir;
    const std::string path = dir / "registry.reg";
    const std::string garbage =
        "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n\"v\"=dword:nothex\n";
    WriteWholeFile(path, garbage);
    std::vector<std::string> messages;
    RegFileRegistry reg(path, [&](const std::string& m) { messages.push_back(m); });

    EXPECT_FALSE(reg.exists("HKCU\\A\\v"));  // defaults
    ASSERT_EQ(messages.size(), 1u);
    const auto moved = CorruptFiles(dir.path());
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].rfind(path + ".corrupt-", 0), 0u);
    EXPECT_NE(messages[0].find(path), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("line 4"), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find(moved[0]), std::string::npos) << messages[0];
    EXPECT_FALSE(fs::exists(path));

    EXPECT_FALSE(reg.read("HKCU\\A\\v"));
    EXPECT_EQ(messages.size(), 1u);
    reg.writeDword(kKey + "chkSound", 1);
    EXPECT_EQ(ReadWholeFile(moved[0]), garbage);
    EXPECT_EQ(RegFileRegistry(path).read(kKey + "chkSound"), RegValue{1u});

    // The next corrupt file gets a name of its own even within the same second.
    WriteWholeFile(path, "garbage\n");
    reg.setOnCorrupt([&](const std::string& m) { messages.push_back(m); });
    reg.writeDword(kKey + "other", 2);  // a write finds it corrupt too: moved, not overwritten
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_NE(messages.back().find("line 1"), std::string::npos) << messages.back();
    EXPECT_EQ(CorruptFiles(dir.path()).size(), 2u);
    EXPECT_FALSE(reg.exists(kKey + "chkSound"));
    EXPECT_EQ(reg.read(kKey + "other"), RegValue{2u});
}

TEST(RegFileRegistry, KeysBeyondTheRegistrysLimitsMakeTheFileCorrupt) {
    struct Case {
        const char* what;
        std::string keyLine;
    };
    std::string deep = "[HKEY_CURRENT_USER";
    for (int i = 0; i < 50000; ++i) deep += "\\a";
    deep += "]";
    const Case cases[] = {
        {"50,000 levels", deep},
        {"a 256-character key name", "[HKEY_CURRENT_USER\\" + std::string(256, 'n') + "]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = dir / "registry.reg";
        const std::string hostile = "Windows Registry Editor Version 5.00\n\n" + c.keyLine + "\n\"v\"=\"1\"\n";
        WriteWholeFile(path, hostile);
        std::vector<std::string> messages;
        RegFileRegistry reg(path, [&](const std::string& m) { messages.push_back(m); });
        reg.writeString(kKey + "txtHour", "03");  // as `nocturoctl settings set` does
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].find("line 3"), std::string::npos) << messages[0];
        const auto moved = CorruptFiles(dir.path());
        ASSERT_EQ(moved.size(), 1u);
        EXPECT_EQ(ReadWholeFile(moved[0]), hostile);
        EXPECT_LT(fs::file_size(path), 1000u);
        EXPECT_EQ(RegFileRegistry(path).read(kKey + "txtHour"), RegValue{std::string("03")});
    }
}

TEST(RegFileRegistry, ReadsTheUtf8FilesEarlierVersionsWrote) {
    TempDir dir;
    const std::string path = dir / "registry.reg";
    const std::string old =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\Software]\n\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\ADMIN\\Settings]\n"
        "\"txtName\"=\"Ärger \\\\n\"\n"
        "\"txtNote\"=hex(1):61,00,0a,00,62,00,00,00\n"
        "\"chkSound\"=dword:00000001\n\n";
    WriteWholeFile(path, old);
    RegFileRegistry reg(path);
    EXPECT_EQ(reg.read(kKey + "txtName"), RegValue{std::string("Ärger \\n")});
    EXPECT_EQ(reg.read(kKey + "txtNote"), RegValue{std::string("a\nb")});
    reg.writeDword(kKey + "chkSound", 0);
    const std::string text = RegFileText(ReadWholeFile(path));
    EXPECT_EQ(text,
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\Software]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\ADMIN\\Settings]\r\n"
              "\"txtName\"=\"Ärger \\\\n\"\r\n"
              "\"txtNote\"=\"a\\nb\"\r\n"
              "\"chkSound\"=dword:00000000\r\n\r\n");
}

TEST(RegFileRegistry, WriteBelowARegularFileFailsAndCreatesNothing) {
    TempDir dir;
    WriteWholeFile(dir / "plainfile", "x");
    RegFileRegistry reg(dir / "plainfile/nocturo/registry.reg");
    EXPECT_FALSE(reg.exists(kKey + "chkSound"));
    EXPECT_THROW(reg.writeDword(kKey + "chkSound", 1), Error);
    EXPECT_EQ(ReadWholeFile(dir / "plainfile"), "x");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator{}), 1);
}

TEST(RegFileRegistry, WriteIntoReadOnlyFolderFailsAndLeavesTheFileUnchanged) {
    // As an ordinary user: root writes into read-only folders.
    TempDir dir;
    const std::string folder = dir / "ro";
    fs::create_directory(folder);
    const std::string path = folder + "/registry.reg";
    std::string before;
    std::string failure;
    auto outcome = nocturo::test::RunAsOrdinaryUser(dir.path(), [&] {
        RegFileRegistry reg(path);
        reg.writeDword(kKey + "chkSound", 1);
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
        try {
            reg.writeDword(kKey + "chkSound", 0);
        } catch (const Error& e) {
            // Still the value before the failed write.
            if (!(reg.read(kKey + "chkSound") == RegValue{1u})) throw Error(1, "the failed write changed the value");
            if (fs::exists(path + ".tmp")) throw Error(1, "a temporary file stayed");
            throw;
        }
    });
    ASSERT_TRUE(outcome) << "no ordinary user to run as";
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_TRUE(outcome->threw);
    EXPECT_EQ(outcome->number, nocturo::platform::err::PermissionDenied) << outcome->message;
    // The file holds the first write only.
    RegFileRegistry check(path);
    EXPECT_EQ(check.read(kKey + "chkSound"), RegValue{1u});
    EXPECT_FALSE(fs::exists(path + ".tmp"));
}

TEST(RegFileRegistry, FailedWriteLeavesFileAndValuesAsTheyWere) {
    // A folder in the way of the temporary file makes every write fail, even
    // for root.
    TempDir dir;
    const std::string path = dir / "registry.reg";
    RegFileRegistry reg(path);
    reg.writeDword(kKey + "chkSound", 1);
    const std::string before = ReadWholeFile(path);
    fs::create_directory(path + ".tmp");
    WriteWholeFile(path + ".tmp/blocker", "");
    EXPECT_THROW(reg.writeDword(kKey + "chkSound", 0), Error);
    EXPECT_THROW(reg.writeString(kKey + "txtNew", "x"), Error);
    EXPECT_EQ(ReadWholeFile(path), before);
    EXPECT_EQ(reg.read(kKey + "chkSound"), RegValue{1u});
    EXPECT_FALSE(reg.exists(kKey + "txtNew"));
    fs::remove_all(path + ".tmp");
    reg.writeString(kKey + "txtNew", "x");
    EXPECT_EQ(RegFileRegistry(path).read(kKey + "txtNew"), RegValue{std::string("x")});
}

TEST(RegFileRegistry, StoreIdIsTheCanonicalAbsolutePath) {
    TempDir dir;
    fs::create_directory(dir / "real");
    fs::create_directory_symlink(dir / "real", dir / "link");
    const std::string canonical = fs::canonical(dir.path()).string() + "/real/registry.reg";
    EXPECT_EQ(RegFileRegistry(dir / "link/./registry.reg").storeId(), canonical);
    const auto cwd = fs::current_path();
    fs::current_path(dir / "link");
    RegFileRegistry relative("registry.reg");
    fs::current_path(cwd);
    EXPECT_EQ(relative.storeId(), canonical);
    relative.writeDword(kKey + "x", 1);  // still the same file after the folder change
    EXPECT_TRUE(fs::exists(canonical));
}

TEST(RegFileRegistry, DefaultPathFollowsTheEnvironment) {
    {
        EnvOverride r("NOCTURO_REGISTRY", "/somewhere/settings.reg");
        EXPECT_EQ(DefaultRegistryPath(), "/somewhere/settings.reg");
    }
    EnvOverride r("NOCTURO_REGISTRY", std::nullopt);
    EnvOverride home("HOME", "/home/tester");
    {
        EnvOverride x("XDG_CONFIG_HOME", "/xdg/config");
        EXPECT_EQ(DefaultRegistryPath(), "/xdg/config/nocturo/registry.reg");
    }
    {
        EnvOverride x("XDG_CONFIG_HOME", "relative/ignored");
        EXPECT_EQ(DefaultRegistryPath(), "/home/tester/.config/nocturo/registry.reg");
    }
    EnvOverride x("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(DefaultRegistryPath(), "/home/tester/.config/nocturo/registry.reg");
}

TEST(RegFileRegistryBatch, WritesOfABatchReplaceTheFileOnceAtItsEnd) {
    nocturo::test::TempDir dir;
    const std::string file = dir / "registry.reg";
    nocturo::platform::RegFileRegistry reg(file);
    reg.writeString("HKEY_CURRENT_USER\\k\\first", "1");
    reg.beginBatch();
    reg.writeString("HKEY_CURRENT_USER\\k\\a", "x");
    reg.writeDword("HKEY_CURRENT_USER\\k\\b", 7);
    reg.deleteValue("HKEY_CURRENT_USER\\k\\first");
    reg.beginBatch();  // nested: still one write at the outer end
    reg.writeString("HKEY_CURRENT_USER\\k\\c", "y");
    reg.endBatch();
    EXPECT_EQ(RegFileText(nocturo::test::ReadWholeFile(file)).find("\"a\""), std::string::npos);
    reg.endBatch();
    const std::string text = RegFileText(nocturo::test::ReadWholeFile(file));
    EXPECT_NE(text.find("\"a\"=\"x\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"b\"=dword:00000007"), std::string::npos);
    EXPECT_NE(text.find("\"c\"=\"y\""), std::string::npos);
    EXPECT_EQ(text.find("\"first\""), std::string::npos);
    // Another instance sees every value.
    nocturo::platform::RegFileRegistry other(file);
    EXPECT_TRUE(other.exists("HKEY_CURRENT_USER\\k\\c"));
}

// A FIFO, a device (through a link) or a file beyond any settings in the
// settings file's place: every read and write fails at once, with a message
// naming the file, and the file stays exactly what it was: nothing is moved
// aside, replaced, or made beside it.
TEST(RegFileRegistry, AFifoADeviceOrAnOverSizeFileIsRefusedAtOnceAndLeftAlone) {
    TempDir dir;
    const std::string fifo = dir / "fifo.reg", zero = dir / "zero.reg", big = dir / "big.reg";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", zero);
    WriteWholeFile(big, "Windows Registry Editor Version 5.00\n\n" + std::string(9u << 20, ';') + "\n");
    const struct {
        std::string path;
        std::string says;
    } cases[] = {
        {fifo, fifo + ": it is a FIFO, not a regular file"},
        {zero, zero + " (/dev/zero): it is a device, not a regular file"},
        {big, big + ": it is larger than 8 MiB"},
    };
    alarm(60);  // a read that waits would otherwise never end
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::vector<std::string> notices;
        RegFileRegistry reg(c.path, [&](const std::string& m) { notices.push_back(m); });
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                reg.read(kKey + "chkSound");
                ADD_FAILURE() << "read";
            } catch (const Error& e) {
                EXPECT_NE(std::string(e.what()).find("the settings file " + c.says), std::string::npos) << e.what();
            }
            EXPECT_THROW(reg.writeDword(kKey + "chkSound", 1), Error);
        }
        EXPECT_TRUE(notices.empty());
    }
    alarm(0);
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_symlink(zero));
    EXPECT_FALSE(fs::exists("/dev/zero.lock"));
    EXPECT_EQ(fs::file_size(big), 38u + (9u << 20) + 1u);
    EXPECT_TRUE(CorruptFiles(dir.path()).empty());

    // A good store replaced by a FIFO while in use: the values read before
    // are not taken for the FIFO's, and the FIFO is not written over.
    const std::string path = dir / "registry.reg";
    RegFileRegistry reg(path);
    reg.writeDword(kKey + "chkSound", 1);
    ASSERT_EQ(reg.read(kKey + "chkSound"), RegValue{1u});
    fs::remove(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    alarm(60);
    EXPECT_THROW(reg.read(kKey + "chkSound"), Error);
    EXPECT_THROW(reg.writeDword(kKey + "chkSound", 0), Error);
    alarm(0);
    EXPECT_TRUE(fs::is_fifo(path));
}
