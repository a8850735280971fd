#pragma once
// The settings registry on Linux: one file in the registry export format,
// shared safely by every process of the user. It is written as regedit
// exports it (UTF-16LE with BOM, CR LF), so it imports on Windows as it is.
//
// Writes lock the file (flock on path + ".lock", which outlives the file's
// replacements), merge what other processes wrote since the last read,
// apply the change and replace the file atomically (temporary file in the
// same folder, fsync, rename, fsync of the folder). Killed at any moment, the
// program leaves either the old file or the new one. Reads parse the file
// again only when it changed.
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/IRegistry.h"
#include "platform/common/RegStore.h"

struct stat;

namespace nocturo::platform {

// NOCTURO_REGISTRY when set; else $XDG_CONFIG_HOME/nocturo/registry.reg; else
// ~/.config/nocturo/registry.reg.
std::string DefaultRegistryPath();

// The largest settings file read or written: a bigger one is refused, with
// a message naming it, and left as it is.
inline constexpr std::uint64_t kMaxSettingsFileBytes = 8u << 20;

class RegFileRegistry : public IRegistry {
public:
    // Called once for each settings file that could not be read, after it was
    // moved aside; the message names the file, the line and the new name.
    using CorruptHandler = std::function<void(const std::string& message)>;

    explicit RegFileRegistry(std::string path = DefaultRegistryPath(), CorruptHandler onCorrupt = {});
    RegFileRegistry(const RegFileRegistry&) = delete;
    RegFileRegistry& operator=(const RegFileRegistry&) = delete;

    void setOnCorrupt(CorruptHandler onCorrupt);

    void writeString(const std::string& path, const std::string& text) override;
    void writeDword(const std::string& path, std::uint32_t value) override;
    std::optional<RegValue> read(const std::string& path) override;
    bool exists(const std::string& path) override;
    void deleteValue(const std::string& path) override;
    void deleteKey(const std::string& keyPath) override;
    void createKey(const std::string& keyPath) override;
    std::vector<std::pair<std::string, RegValue>> values(const std::string& keyPath) override;
    std::vector<std::string> subKeys(const std::string& keyPath) override;
    // The writes of a batch replace the file once, at its end.
    void beginBatch() override;
    void endBatch() override;
    // The canonical absolute path of the file.
    std::string storeId() const override;

    const std::string& path() const { return path_; }
    // How often the file's content was parsed; reads of an unchanged file
    // do not parse it.
    std::uint64_t parseCount() const;

private:
    struct Stamp {
        bool exists = false;
        std::uint64_t dev = 0, ino = 0, size = 0;
        std::uint32_t mode = 0;
        std::int64_t mtimeNs = 0, ctimeNs = 0;
        bool operator==(const Stamp&) const = default;
    };
    class FileLock;

    template <typename Change>
    void modify(Change change);
    // A write: held back inside a batch, carried out at once otherwise.
    void submit(std::function<bool(RegStore&)> change);
    template <typename Query>
    auto query(Query q);
    // Brings the store in line with the file when the file changed.
    void refreshForRead();
    // Reads the file and parses it when its content differs from what the
    // store holds. A file that does not parse is moved aside when the lock
    // allows it.
    void load(FileLock* lock, bool forWrite);
    void handleCorrupt(const RegParseError& e, bool canMove, bool forWrite, const Stamp& stamp, std::string bytes);
    void writeFileLocked();
    static Stamp stampOf(const struct stat& st);
    Stamp stampOfPath() const;
    // "the settings file PATH" for messages, with where a link leads.
    std::string shown() const;
    // Throws when the file is there but is no regular file.
    void refuseSpecialFile() const;
    // Hands out a pending corrupt-file notice; called with the mutex held.
    CorruptHandler takeNotice(std::string& message);

    std::string path_;
    std::string givenPath_;  // as named, made absolute
    std::string lockPath_;
    std::string tempPath_;
    CorruptHandler onCorrupt_;

    mutable std::mutex mutex_;
    RegStore store_;
    bool valid_ = false;        // store_ reflects the file as of stamp_
    bool corruptKept_ = false;  // the file does not parse and could not be moved aside
    Stamp stamp_;
    std::string bytes_;         // the file content store_ was read from or written as
    std::uint64_t parses_ = 0;
    std::string pendingNotice_;  // delivered outside the lock
    int batchDepth_ = 0;
    std::vector<std::function<bool(RegStore&)>> batched_;
};

}  // namespace nocturo::platform
