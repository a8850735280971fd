#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/sim/SimFileSystem.h"
#include "support/TestSupport.h"

using namespace nocturo::platform;
using nocturo::test::ReadWholeFile;
using nocturo::test::TempDir;
using nocturo::test::WriteWholeFile;
namespace fs = std::filesystem;

namespace {

// Just enough of a real file system for the pass-through: it really deletes,
// so a file that survives proves the simulation did not pass the call on.
class PlainFileSystem : public IFileSystem {
public:
    PathStyle pathStyle() const override { return PathStyle::Posix; }
    std::unique_ptr<IDirEnumerator> enumerate(const std::string& pattern) override {
        struct Enum : IDirEnumerator {
            std::vector<DirEntry> entries;
            std::size_t next_ = 0;
            std::optional<DirEntry> next() override {
                if (next_ >= entries.size()) return std::nullopt;
                return entries[next_++];
            }
        };
        auto e = std::make_unique<Enum>();
        fs::path folder = fs::path(pattern).parent_path();
        for (const auto& item : fs::directory_iterator(folder))
            e->entries.push_back(DirEntry{item.path().filename().string(), 0, 0, {}, {}});
        return e;
    }
    bool folderExists(const std::string& path) override { return fs::is_directory(path); }
    std::optional<std::uint32_t> attributes(const std::string& path) override {
        std::error_code ec;
        auto st = fs::symlink_status(path, ec);
        if (ec || !fs::exists(st)) return std::nullopt;
        std::uint32_t a = 0;
        if (fs::is_symlink(st)) a |= attr::ReparsePoint;
        if (fs::is_directory(path)) a |= attr::Directory;
        return a ? a : attr::Normal;
    }
    std::optional<std::uint64_t> length(const std::string& path) override {
        std::error_code ec;
        auto n = fs::file_size(path, ec);
        if (ec) return std::nullopt;
        return n;
    }
    void createFolder(const std::string& path) override { fs::create_directory(path); }
    void deleteFile(const std::string& path) override {
        ++realDeletes;
        fs::remove(path);
    }
    void moveToRecycleBin(const std::string& path) override {
        ++realDeletes;
        fs::remove(path);
    }
    void emptyRecycleBin() override { ++realDeletes; }
    void clearRecentDocuments() override { ++realDeletes; }
    std::optional<std::string> readFile(const std::string& path) override {
        if (!fs::exists(path)) return std::nullopt;
        return ReadWholeFile(path);
    }
    void appendFile(const std::string& path, const std::string& bytes) override {
        std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
    }
    void writeFile(const std::string& path, const std::string& bytes) override { WriteWholeFile(path, bytes); }

    int realDeletes = 0;
};

long ErrorNumber(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

}  // namespace

TEST(SimFileSystem, DeleteAndRecycleAreJournalledAndTheFilesStay) {
    TempDir dir;
    WriteWholeFile(dir / "old.bak", "keep me");
    WriteWholeFile(dir / "older.tmp", "me too");
    PlainFileSystem real;
    Journal journal;
    SimFileSystem files(real, journal);

    files.deleteFile(dir / "old.bak");
    files.moveToRecycleBin(dir / "older.tmp");
    files.deleteFile(dir / "old.bak");  // "deleting" twice works: nothing was deleted

    EXPECT_EQ(real.realDeletes, 0);
    EXPECT_EQ(ReadWholeFile(dir / "old.bak"), "keep me");
    EXPECT_EQ(ReadWholeFile(dir / "older.tmp"), "me too");
    ASSERT_EQ(journal.entries().size(), 3u);
    EXPECT_EQ(Json(journal.entries()[0]).dump(), Json(JsonObject{{"call", "DeleteFile"}, {"path", dir / "old.bak"}}).dump());
    EXPECT_EQ(Json(journal.entries()[1]).dump(),
              Json(JsonObject{{"call", "MoveToRecycleBin"}, {"path", dir / "older.tmp"}}).dump());
}

TEST(SimFileSystem, DeletingWhatCouldNotBeDeletedFailsAsTheRealCallWould) {
    TempDir dir;
    fs::create_directory(dir / "folder");
    WriteWholeFile(dir / "target", "x");
    fs::create_symlink(dir / "folder", dir / "link-to-folder");
    PlainFileSystem real;
    Journal journal;
    SimFileSystem files(real, journal);

    EXPECT_EQ(ErrorNumber([&] { files.deleteFile(dir / "missing"); }), err::FileNotFound);
    EXPECT_EQ(ErrorNumber([&] { files.moveToRecycleBin(dir / "missing"); }), err::FileNotFound);
    EXPECT_EQ(ErrorNumber([&] { files.deleteFile(dir / "folder"); }), err::PathFileAccess);
    EXPECT_TRUE(journal.entries().empty());
    // A link is deleted itself, even when it points to a folder.
    files.deleteFile(dir / "link-to-folder");
    EXPECT_EQ(journal.calls(), std::vector<std::string>{"DeleteFile"});
    EXPECT_TRUE(fs::is_symlink(dir / "link-to-folder"));
}

TEST(SimFileSystem, EverythingElsePassesThrough) {
    TempDir dir;
    PlainFileSystem real;
    Journal journal;
    SimFileSystem files(real, journal);

    EXPECT_EQ(files.pathStyle(), PathStyle::Posix);
    EXPECT_EQ(files.separator(), '/');
    files.createFolder(dir / "logs");
    EXPECT_TRUE(files.folderExists(dir / "logs"));
    files.writeFile(dir / "logs/Nocturo.log", "one\n");
    files.appendFile(dir / "logs/Nocturo.log", "two\n");
    EXPECT_EQ(files.readFile(dir / "logs/Nocturo.log"), std::optional<std::string>("one\ntwo\n"));
    EXPECT_EQ(files.length(dir / "logs/Nocturo.log"), std::optional<std::uint64_t>(8));
    EXPECT_EQ(files.attributes(dir / "logs"), std::optional<std::uint32_t>(attr::Directory));
    EXPECT_EQ(files.readFile(dir / "nothing"), std::nullopt);
    auto e = files.enumerate(dir / "logs/*.*");
    auto first = e->next();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->name, "Nocturo.log");
    EXPECT_EQ(e->next(), std::nullopt);
    EXPECT_TRUE(journal.entries().empty());
}
