#pragma once
// The simulated file system: the real one, except that deleting a file and
// moving it to the recycle bin are journalled and not done. Everything else
// (reading, enumerating, the program's own logs) goes to the real file
// system unchanged.
#include "platform/IFileSystem.h"
#include "platform/sim/Journal.h"

namespace nocturo::platform {

class SimFileSystem : public IFileSystem {
public:
    SimFileSystem(IFileSystem& real, Journal& journal);

    PathStyle pathStyle() const override { return real_.pathStyle(); }
    std::unique_ptr<IDirEnumerator> enumerate(const std::string& pattern) override { return real_.enumerate(pattern); }
    std::unique_ptr<IDirEnumerator> enumerateNames(const std::string& pattern) override {
        return real_.enumerateNames(pattern);
    }
    bool folderExists(const std::string& path) override { return real_.folderExists(path); }
    std::optional<std::uint32_t> attributes(const std::string& path) override { return real_.attributes(path); }
    std::optional<std::uint64_t> length(const std::string& path) override { return real_.length(path); }
    void createFolder(const std::string& path) override { real_.createFolder(path); }
    void createPrivateFolder(const std::string& path) override { real_.createPrivateFolder(path); }
    bool folderWritable(const std::string& path) override { return real_.folderWritable(path); }

    // Fails as the real call would for a missing entry (error 53) or, for
    // deleteFile, a folder that is not a link (error 75); otherwise only
    // journalled, so the file is still there afterwards.
    void deleteFile(const std::string& path) override;
    void moveToRecycleBin(const std::string& path) override;
    void emptyRecycleBin() override;
    void clearRecentDocuments() override;
    // The real folder; deleting and trashing through it are journalled only.
    std::unique_ptr<IFolder> openFolder(const std::string& path) override;

    std::optional<std::string> readFile(const std::string& path) override { return real_.readFile(path); }
    void appendFile(const std::string& path, const std::string& bytes) override { real_.appendFile(path, bytes); }
    void writeFile(const std::string& path, const std::string& bytes) override { real_.writeFile(path, bytes); }

private:
    IFileSystem& real_;
    Journal& journal_;
};

}  // namespace nocturo::platform
