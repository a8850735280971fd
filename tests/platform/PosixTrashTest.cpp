// Emptying the trash and clearing the recent documents on Linux, on real
// folders. Every test points HOME and XDG_DATA_HOME at a temporary folder,
// refuses to run when this user has a trash folder on some mount (emptying
// that is not a test's business), and checks at the end that the real
// trash and recent-documents files were not touched.
#include <fcntl.h>
#include <grp.h>
#include <mntent.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/EnvOverride.h"
#include "platform/Error.h"
#include "platform/posix/PosixFileSystem.h"
#include "support/OrdinaryUser.h"
#include "support/TestSupport.h"

using nocturo::platform::Error;
using nocturo::platform::MountTopsIn;
using nocturo::platform::PosixFileSystem;
using nocturo::test::EnvOverride;
using nocturo::test::Nobody;
using nocturo::test::Outcome;
using nocturo::test::RunAsOrdinaryUser;
using nocturo::test::ReadWholeFile;
using nocturo::test::TempDir;
using nocturo::test::WriteWholeFile;
namespace err = nocturo::platform::err;
namespace fs = std::filesystem;

namespace {

const std::string EmptyList =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<xbel version=\"1.0\" xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\" "
    "xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
    "</xbel>\n";

const std::string SomeBookmarks =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<xbel version=\"1.0\"\n"
    "      xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\"\n"
    "      xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\"\n"
    ">\n"
    "  <bookmark href=\"file:///home/u/secret%20plans.odt\" added=\"2024-01-02T10:00:00Z\" "
    "modified=\"2024-01-02T10:00:00Z\" visited=\"2024-01-02T10:00:00Z\">\n"
    "    <info><metadata owner=\"http://freedesktop.org\"><mime:mime-type type=\"application/vnd.oasis.opendocument.text\"/>"
    "</metadata></info>\n"
    "  </bookmark>\n"
    "</xbel>\n";

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool Exists(const std::string& path) { return fs::exists(fs::symlink_status(path)); }

unsigned Mode(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// One trashed entry: files/NAME written by make, and info/NAME.trashinfo.
void Trashed(const std::string& trash, const std::string& name, const std::function<void(const std::string&)>& make) {
    fs::create_directories(trash + "/files");
    fs::create_directories(trash + "/info");
    make(trash + "/files/" + name);
    WriteWholeFile(trash + "/info/" + name + ".trashinfo",
                   "[Trash Info]\nPath=/somewhere/" + name + "\nDeletionDate=2024-05-06T07:08:09\n");
}

void TrashedFile(const std::string& trash, const std::string& name, const std::string& content = "x") {
    Trashed(trash, name, [&](const std::string& p) { WriteWholeFile(p, content); });
}

// As root, the tests run in a mount namespace of their own with a fresh
// /dev/shm: trash folders that other programs (or test runs going on at the
// same time) keep there are out of reach, and ours out of theirs. Nothing is
// mounted unless the namespace is private, so nothing leaks out.
bool IsolateShm() {
    static const bool done = [] {
        if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0) return false;
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
        return mount("nocturo-test", "/dev/shm", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") == 0;
    }();
    return done;
}

// Mount points as the C library reads them, all of them: an independent
// view for the safety checks.
std::vector<std::string> AllMountPoints() {
    std::vector<std::string> tops;
    if (FILE* f = setmntent("/proc/self/mounts", "r")) {
        while (const mntent* m = getmntent(f)) tops.push_back(m->mnt_dir);
        endmntent(f);
    }
    return tops;
}

std::vector<uid_t> UsersInvolved() {
    std::vector<uid_t> uids{geteuid()};
    if (geteuid() == 0) uids.push_back(Nobody);  // see RunAsOrdinaryUser
    return uids;
}

// The trash folders of the users involved at the tops of the mounts.
std::vector<std::string> MountTrashes() {
    std::vector<std::string> paths;
    for (const auto& top : AllMountPoints()) {
        const std::string base = top == "/" ? "" : top;
        for (const uid_t uid : UsersInvolved()) {
            paths.push_back(base + "/.Trash-" + std::to_string(uid));
            paths.push_back(base + "/.Trash/" + std::to_string(uid));
        }
    }
    return paths;
}

struct Seen {
    bool exists = false;
    ino_t ino = 0;
    mode_t mode = 0;
    off_t size = 0;
    long long mtime = 0, ctime = 0;
    bool operator==(const Seen&) const = default;
};

Seen Look(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return {};
    return {true, st.st_ino, st.st_mode, st.st_size, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec,
            st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec};
}

class PosixTrash : public ::testing::Test {
protected:
    void SetUp() override {
        isolated_ = IsolateShm();
        // What must stay as it is: this user's real trash and lists.
        std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
        std::vector<std::string> homes{home};
        if (const passwd* pw = getpwuid(geteuid())) homes.push_back(pw->pw_dir);
        for (const auto& h : homes) {
            if (h.empty()) continue;
            const std::string data = h + "/.local/share";
            watched_.push_back(data + "/Trash");
            watched_.push_back(data + "/Trash/files");
            watched_.push_back(data + "/Trash/info");
            watched_.push_back(data + "/recently-used.xbel");
            watched_.push_back(h + "/.recently-used.xbel");
        }
        if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
            watched_.push_back(std::string(xdg) + "/Trash");
            watched_.push_back(std::string(xdg) + "/Trash/files");
            watched_.push_back(std::string(xdg) + "/recently-used.xbel");
        }
        for (const auto& t : MountTrashes()) {
            if (Exists(t)) GTEST_SKIP() << t << " exists: a real trash that no test may empty";
            watched_.push_back(t);
        }
        for (const auto& p : watched_) before_[p] = Look(p);

        fs::create_directory(dir_ / "home");
        home_.emplace("HOME", dir_ / "home");
        data_.emplace("XDG_DATA_HOME", dir_ / "data");
        trash_ = dir_ / "data/Trash";
        armed_ = true;
    }

    void TearDown() override {
        if (!armed_) return;  // skipped before anything was done
        for (const auto& p : madeOutside_) {
            std::error_code ec;
            fs::remove_all(p, ec);
        }
        // Anything left without permissions would stop the temporary
        // folder's removal.
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(dir_.path(), ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec))
            if (it->is_directory(ec) && !it->is_symlink(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        data_.reset();
        home_.reset();
        for (const auto& p : watched_) EXPECT_TRUE(Look(p) == before_[p]) << p << " changed";
    }

    // A path outside the temporary folder that this test creates; removed
    // before the final check.
    void MadeOutside(const std::string& path) { madeOutside_.push_back(path); }

    TempDir dir_;
    bool isolated_ = false;  // a /dev/shm of our own
    std::string trash_;
    PosixFileSystem files_;

private:
    std::optional<EnvOverride> home_, data_;
    std::vector<std::string> watched_;
    std::map<std::string, Seen> before_;
    std::vector<std::string> madeOutside_;
    bool armed_ = false;
};

// /dev/shm when it is a separate mount whose top it is, else "".
std::string SeparateShm(const std::string& tempFolder) {
    struct stat shm {}, tmp {}, dev {};
    if (stat("/dev/shm", &shm) != 0 || stat(tempFolder.c_str(), &tmp) != 0 || stat("/dev", &dev) != 0) return "";
    if (shm.st_dev == tmp.st_dev || shm.st_dev == dev.st_dev) return "";
    return "/dev/shm";
}

}  // namespace

// ---- the mount table ----------------------------------------------------------

TEST(PosixTrashMounts, MountTopsAreUnescapedAndPseudoOrReadOnlyOnesLeftOut) {
    const std::string table =
        "proc /proc proc rw,nosuid,nodev,noexec,relatime 0 0\n"
        "sysfs /sys sysfs rw,nosuid 0 0\n"
        "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
        "cgroup /sys/fs/cgroup/cpu cgroup rw,cpu 0 0\n"
        "devpts /dev/pts devpts rw,mode=600 0 0\n"
        "/dev/sda1 / ext4 rw,relatime 0 0\n"
        "/dev/sdb1 /media/u/My\\040Disk vfat rw,uid=1000 0 0\n"
        "/dev/sdc1 /mnt/tab\\011and\\134back ext4 rw 0 0\n"
        "/dev/sr0 /media/cd iso9660 ro,nosuid 0 0\n"
        "tmpfs /dev/shm tmpfs rw 0 0\n"
        "tmpfs /dev/shm tmpfs rw 0 0\n"
        "server:/x /net/x nfs4 rw,vers=4.2 0 0\n"
        "\n"
        "garbage\n"
        "/dev/sdd1 /mnt/strict ext4 rw,errors=remount-ro 0 0";  // no final newline
    const std::vector<std::string> expected{"/", "/media/u/My Disk", "/mnt/tab\tand\\back", "/dev/shm", "/net/x",
                                            "/mnt/strict"};
    EXPECT_EQ(MountTopsIn(table), expected);
    EXPECT_TRUE(MountTopsIn("").empty());
}

TEST(PosixTrashMounts, TheRealMountTableNamesExistingFolders) {
    const auto tops = MountTopsIn(ReadWholeFile("/proc/self/mounts"));
    for (const auto& top : tops) {
        EXPECT_EQ(top.front(), '/') << top;
        EXPECT_EQ(top.rfind("/proc", 0), std::string::npos) << top;
    }
}

// ---- emptying ---------------------------------------------------------------------

TEST_F(PosixTrash, EmptiesTheHomeTrashWithoutFollowingLinks) {
    // Things the trash links to, which must survive.
    fs::create_directories(dir_ / "outside/dir/inner");
    WriteWholeFile(dir_ / "outside/keep.txt", "keep");
    WriteWholeFile(dir_ / "outside/dir/inner/deep.txt", "deep");

    TrashedFile(trash_, "a.txt");
    TrashedFile(trash_, "name with space ü");
    TrashedFile(trash_, ".hidden");
    Trashed(trash_, "readonly.txt", [](const std::string& p) {
        WriteWholeFile(p, "r");
        fs::permissions(p, fs::perms::owner_read);
    });
    Trashed(trash_, "tree", [](const std::string& p) {
        fs::create_directories(p + "/sub/deeper");
        fs::create_directories(p + "/empty");
        WriteWholeFile(p + "/top.txt", "1");
        WriteWholeFile(p + "/sub/deeper/leaf.txt", "2");
        fs::create_symlink(p + "/top.txt", p + "/sub/inner-link");
    });
    Trashed(trash_, "link", [&](const std::string& p) { fs::create_symlink(dir_ / "outside/keep.txt", p); });
    Trashed(trash_, "dirlink", [&](const std::string& p) { fs::create_directory_symlink(dir_ / "outside/dir", p); });
    Trashed(trash_, "dangling", [&](const std::string& p) { fs::create_symlink(dir_ / "nowhere", p); });
    Trashed(trash_, "pipe", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); });
    WriteWholeFile(trash_ + "/files/no-info", "orphan");                     // an entry without its info file
    WriteWholeFile(trash_ + "/info/gone.trashinfo", "[Trash Info]\nPath=/g\n");  // an info file without its entry
    WriteWholeFile(trash_ + "/directorysizes", "4096 1700000000 tree\n");
    fs::create_directories(trash_ + "/expunged/1234/sub");
    WriteWholeFile(trash_ + "/expunged/1234/sub/x", "x");
    fs::permissions(trash_, fs::perms::owner_all);
    fs::permissions(trash_ + "/files", fs::perms::owner_all);
    fs::permissions(trash_ + "/info", fs::perms::owner_all);

    ASSERT_NO_THROW(files_.emptyRecycleBin());

    EXPECT_EQ(Names(trash_), (std::vector<std::string>{"files", "info"}));
    EXPECT_TRUE(Names(trash_ + "/files").empty());
    EXPECT_TRUE(Names(trash_ + "/info").empty());
    EXPECT_EQ(Mode(trash_), 0700u);
    EXPECT_EQ(Mode(trash_ + "/files"), 0700u);
    EXPECT_EQ(Mode(trash_ + "/info"), 0700u);
    EXPECT_EQ(ReadWholeFile(dir_ / "outside/keep.txt"), "keep");
    EXPECT_EQ(ReadWholeFile(dir_ / "outside/dir/inner/deep.txt"), "deep");

    // Once more: an empty trash is no error.
    EXPECT_NO_THROW(files_.emptyRecycleBin());
}

TEST_F(PosixTrash, TheDefaultHomeTrashIsUnderTheHomeFolder) {
    const std::string trash = dir_ / "home/.local/share/Trash";
    TrashedFile(trash, "a.txt");
    TrashedFile(trash_, "not-this-one.txt");
    {
        EnvOverride relative("XDG_DATA_HOME", "relative/data");  // not absolute: not used
        files_.emptyRecycleBin();
    }
    EXPECT_TRUE(Names(trash + "/files").empty());
    EXPECT_TRUE(Names(trash + "/info").empty());
    EXPECT_EQ(Names(trash_ + "/files"), std::vector<std::string>{"not-this-one.txt"});
    EXPECT_FALSE(Exists("relative"));
}

TEST_F(PosixTrash, AMissingOrPartialTrashIsNoError) {
    EXPECT_NO_THROW(files_.emptyRecycleBin());
    EXPECT_FALSE(Exists(dir_ / "data"));  // nothing is created

    fs::create_directories(trash_);
    EXPECT_NO_THROW(files_.emptyRecycleBin());
    EXPECT_TRUE(Names(trash_).empty());

    // Info files with no files/ folder at all are left-overs of nothing.
    fs::create_directories(trash_ + "/info");
    WriteWholeFile(trash_ + "/info/a.trashinfo", "[Trash Info]\n");
    WriteWholeFile(trash_ + "/info/notes", "not an info file");
    EXPECT_NO_THROW(files_.emptyRecycleBin());
    EXPECT_EQ(Names(trash_ + "/info"), std::vector<std::string>{"notes"});

    // The trash location taken by a file: no trash there.
    fs::remove_all(dir_ / "data");
    fs::create_directories(dir_ / "data");
    WriteWholeFile(trash_, "not a folder");
    EXPECT_NO_THROW(files_.emptyRecycleBin());
    EXPECT_EQ(ReadWholeFile(trash_), "not a folder");
}

TEST_F(PosixTrash, AFilesFolderThatIsALinkIsNotFollowed) {
    fs::create_directories(trash_ + "/info");
    fs::create_directories(dir_ / "elsewhere");
    WriteWholeFile(dir_ / "elsewhere/precious", "p");
    fs::create_directory_symlink(dir_ / "elsewhere", trash_ + "/files");
    WriteWholeFile(trash_ + "/info/precious.trashinfo", "[Trash Info]\n");
    try {
        files_.emptyRecycleBin();
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::SystemCallFailed);
        EXPECT_NE(std::string(e.what()).find(trash_ + "/files"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadWholeFile(dir_ / "elsewhere/precious"), "p");
    EXPECT_TRUE(Exists(trash_ + "/info/precious.trashinfo"));
}

TEST_F(PosixTrash, AnEntryThatCannotGoIsReportedAfterEverythingElseWent) {
    TrashedFile(trash_, "first.txt");
    Trashed(trash_, "locked", [](const std::string& p) {
        fs::create_directories(p + "/sub");
        WriteWholeFile(p + "/sub/stuck.txt", "s");
        fs::permissions(p + "/sub", fs::perms::owner_read | fs::perms::owner_exec);
    });
    Trashed(trash_, "tree", [](const std::string& p) {
        fs::create_directories(p + "/a/b");
        WriteWholeFile(p + "/a/b/c.txt", "c");
    });
    TrashedFile(trash_, "zzz.txt");
    WriteWholeFile(trash_ + "/directorysizes", "1 2 tree\n");

    const auto outcome = RunAsOrdinaryUser(dir_.path(), [&] { PosixFileSystem().emptyRecycleBin(); });
    if (!outcome) GTEST_SKIP() << "cannot run as an ordinary user here";
    EXPECT_TRUE(outcome->threw);
    EXPECT_EQ(outcome->number, err::SystemCallFailed);
    EXPECT_NE(outcome->message.find(trash_ + "/files/locked/sub/stuck.txt"), std::string::npos) << outcome->message;
    EXPECT_NE(outcome->message.find("Permission denied"), std::string::npos) << outcome->message;

    // The rest went; what could not go keeps its info file.
    EXPECT_EQ(Names(trash_ + "/files"), std::vector<std::string>{"locked"});
    EXPECT_EQ(Names(trash_ + "/info"), std::vector<std::string>{"locked.trashinfo"});
    EXPECT_EQ(ReadWholeFile(trash_ + "/files/locked/sub/stuck.txt"), "s");
    EXPECT_FALSE(Exists(trash_ + "/directorysizes"));
}

TEST_F(PosixTrash, EmptiesTheTrashFoldersAtTheTopOfOtherMounts) {
    const std::string top = SeparateShm(dir_.path());
    if (top.empty()) GTEST_SKIP() << "no separate /dev/shm mount";
    if (Exists(top + "/.Trash")) GTEST_SKIP() << top << "/.Trash exists already";
    const std::string uid = std::to_string(geteuid());
    const std::string own = top + "/.Trash-" + uid;
    const std::string shared = top + "/.Trash";
    ASSERT_TRUE(fs::create_directory(own));
    MadeOutside(own);
    fs::permissions(own, fs::perms::owner_all);
    TrashedFile(own, "on shm.txt");
    Trashed(own, "folder", [](const std::string& p) {
        fs::create_directories(p + "/x/y");
        WriteWholeFile(p + "/x/y/z", "z");
    });
    // The shared trash changes where everyone's files go on that mount:
    // made only on a /dev/shm of our own.
    std::vector<std::string> trashes{own, trash_};
    if (isolated_) {
        ASSERT_TRUE(fs::create_directory(shared));
        MadeOutside(shared);
        fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
        TrashedFile(shared + "/" + uid, "shared.txt");
        trashes.push_back(shared + "/" + uid);
    }
    TrashedFile(trash_, "home.txt");

    ASSERT_NO_THROW(files_.emptyRecycleBin());

    for (const auto& trash : trashes) {
        EXPECT_EQ(Names(trash), (std::vector<std::string>{"files", "info"})) << trash;
        EXPECT_TRUE(Names(trash + "/files").empty()) << trash;
        EXPECT_TRUE(Names(trash + "/info").empty()) << trash;
    }
}

TEST_F(PosixTrash, OnlyRealTrashFoldersOfOursAreEmptiedOnOtherMounts) {
    const std::string top = SeparateShm(dir_.path());
    if (top.empty()) GTEST_SKIP() << "no separate /dev/shm mount";
    if (Exists(top + "/.Trash")) GTEST_SKIP() << top << "/.Trash exists already";
    const std::string uid = std::to_string(geteuid());
    const std::string own = top + "/.Trash-" + uid;
    const std::string shared = top + "/.Trash";
    // A link in the place of the trash, and a shared trash without the
    // sticky bit (anyone could have put our folder there).
    TrashedFile(dir_ / "elsewhere", "precious");
    fs::create_directory_symlink(dir_ / "elsewhere", own);
    MadeOutside(own);
    if (isolated_) {
        ASSERT_TRUE(fs::create_directory(shared));
        MadeOutside(shared);
        fs::permissions(shared, fs::perms::all);
        TrashedFile(shared + "/" + uid, "planted");
    }

    ASSERT_NO_THROW(files_.emptyRecycleBin());
    EXPECT_EQ(ReadWholeFile(dir_ / "elsewhere/files/precious"), "x");
    EXPECT_TRUE(Exists(dir_ / "elsewhere/info/precious.trashinfo"));
    if (isolated_) {
        EXPECT_EQ(ReadWholeFile(shared + "/" + uid + "/files/planted"), "x");
    }

    // A trash folder that belongs to someone else is not ours to empty.
    if (geteuid() == 0) {
        fs::remove(own);
        TrashedFile(own, "theirs");
        ASSERT_EQ(chown(own.c_str(), Nobody, Nobody), 0);
        ASSERT_NO_THROW(files_.emptyRecycleBin());
        EXPECT_EQ(ReadWholeFile(own + "/files/theirs"), "x");
    }
}

// ---- recent documents -------------------------------------------------------------

TEST_F(PosixTrash, TheRecentListBecomesTheEmptyListWithItsPermissions) {
    const std::string list = dir_ / "data/recently-used.xbel";
    fs::create_directories(dir_ / "data");
    WriteWholeFile(list, SomeBookmarks);
    ASSERT_EQ(chmod(list.c_str(), 0640), 0);
    const ino_t before = Look(list).ino;

    files_.clearRecentDocuments();

    const std::string text = ReadWholeFile(list);
    EXPECT_EQ(text, EmptyList);
    EXPECT_EQ(text.rfind("<?xml ", 0), 0u);
    EXPECT_NE(text.find("<xbel "), std::string::npos);
    EXPECT_TRUE(text.ends_with("</xbel>\n"));
    EXPECT_EQ(text.find("bookmark href"), std::string::npos);
    EXPECT_EQ(Mode(list), 0640u);
    EXPECT_NE(Look(list).ino, before);  // replaced, not rewritten in place
    EXPECT_EQ(Names(dir_ / "data"), std::vector<std::string>{"recently-used.xbel"});  // no temporary left
    EXPECT_FALSE(Exists(dir_ / "home/.recently-used.xbel"));

    // Clearing an empty list keeps it so.
    files_.clearRecentDocuments();
    EXPECT_EQ(ReadWholeFile(list), EmptyList);
}

TEST_F(PosixTrash, AMissingRecentListStaysMissing) {
    EXPECT_NO_THROW(files_.clearRecentDocuments());
    EXPECT_FALSE(Exists(dir_ / "data"));
    EXPECT_TRUE(Names(dir_ / "home").empty());
}

TEST_F(PosixTrash, TheDefaultAndTheOlderRecentListsAreBothCleared) {
    EnvOverride noData("XDG_DATA_HOME", std::nullopt);
    const std::string current = dir_ / "home/.local/share/recently-used.xbel";
    const std::string older = dir_ / "home/.recently-used.xbel";
    fs::create_directories(dir_ / "home/.local/share");
    WriteWholeFile(current, SomeBookmarks);
    WriteWholeFile(older, SomeBookmarks);
    ASSERT_EQ(chmod(current.c_str(), 0600), 0);
    ASSERT_EQ(chmod(older.c_str(), 0644), 0);

    files_.clearRecentDocuments();
    EXPECT_EQ(ReadWholeFile(current), EmptyList);
    EXPECT_EQ(ReadWholeFile(older), EmptyList);
    EXPECT_EQ(Mode(current), 0600u);
    EXPECT_EQ(Mode(older), 0644u);
}

TEST_F(PosixTrash, LinkedRecentListsKeepTheirLinks) {
    // Pointing the list at /dev/null is how some people turn it off.
    const std::string list = dir_ / "data/recently-used.xbel";
    fs::create_directories(dir_ / "data");
    fs::create_symlink("/dev/null", list);
    // The older list kept elsewhere through a link.
    const std::string older = dir_ / "home/.recently-used.xbel";
    WriteWholeFile(dir_ / "kept.xbel", SomeBookmarks);
    fs::create_symlink(dir_ / "kept.xbel", older);

    files_.clearRecentDocuments();
    EXPECT_TRUE(fs::is_symlink(list));
    EXPECT_EQ(fs::read_symlink(list), "/dev/null");
    EXPECT_TRUE(fs::is_symlink(older));
    EXPECT_EQ(ReadWholeFile(dir_ / "kept.xbel"), EmptyList);
    EXPECT_EQ(Names(dir_ / "home"), std::vector<std::string>{".recently-used.xbel"});
}

TEST_F(PosixTrash, ARecentListThatCannotBeReplacedIsLeftAsItWas) {
    const std::string list = dir_ / "data/recently-used.xbel";
    fs::create_directories(dir_ / "data");
    WriteWholeFile(list, SomeBookmarks);
    fs::permissions(dir_ / "data", fs::perms::owner_read | fs::perms::owner_exec);

    const auto outcome = RunAsOrdinaryUser(dir_.path(), [&] { PosixFileSystem().clearRecentDocuments(); });
    fs::permissions(dir_ / "data", fs::perms::owner_all);
    if (!outcome) GTEST_SKIP() << "cannot run as an ordinary user here";
    EXPECT_TRUE(outcome->threw);
    EXPECT_EQ(outcome->number, err::PermissionDenied);
    EXPECT_NE(outcome->message.find(list), std::string::npos) << outcome->message;
    EXPECT_EQ(ReadWholeFile(list), SomeBookmarks);
    EXPECT_EQ(Names(dir_ / "data"), std::vector<std::string>{"recently-used.xbel"});
}

TEST_F(PosixTrash, ARecentListClearedByRootStaysItsOwners) {
    if (geteuid() != 0) GTEST_SKIP() << "only root can clear another user's list";
    const std::string list = dir_ / "data/recently-used.xbel";
    fs::create_directories(dir_ / "data");
    WriteWholeFile(list, SomeBookmarks);
    ASSERT_EQ(chown(list.c_str(), Nobody, Nobody), 0);
    ASSERT_EQ(chmod(list.c_str(), 0600), 0);

    files_.clearRecentDocuments();
    struct stat st {};
    ASSERT_EQ(lstat(list.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, Nobody);
    EXPECT_EQ(st.st_gid, Nobody);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(ReadWholeFile(list), EmptyList);
}
