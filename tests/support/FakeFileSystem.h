#pragma once
// An in-memory file system for tests that need the Windows path rules (drive
// roots, UNC shares) on any build, and a record of every folder created.
#include <map>
#include <string>
#include <vector>

#include "platform/IFileSystem.h"

namespace nocturo::test {

class FakeFileSystem : public platform::IFileSystem {
public:
    explicit FakeFileSystem(platform::PathStyle style) : style_(style) {}

    // Roots exist without being created ("C:", "\\srv\share", "/").
    void addRoot(const std::string& root);
    void addFolder(const std::string& path);  // with parents
    void addFile(const std::string& path, const std::string& content = "", std::uint32_t attributes = platform::attr::Archive);
    void failCreateBelow(const std::string& prefix) { failCreate_ = prefix; }
    // Files below prefix cannot be written (a folder the user may only read).
    void failWritesBelow(const std::string& prefix) { failWrite_ = prefix; }

    std::vector<std::string> created;  // createFolder calls, in order
    int enumerations = 0;
    int folderTests = 0;

    platform::PathStyle pathStyle() const override { return style_; }
    std::unique_ptr<platform::IDirEnumerator> enumerate(const std::string& pattern) override;
    bool folderExists(const std::string& path) override;
    std::optional<std::uint32_t> attributes(const std::string& path) override;
    std::optional<std::uint64_t> length(const std::string& path) override;
    void createFolder(const std::string& path) override;
    void deleteFile(const std::string& path) override;
    void moveToRecycleBin(const std::string& path) override;
    void emptyRecycleBin() override;
    void clearRecentDocuments() override;
    std::optional<std::string> readFile(const std::string& path) override;
    void appendFile(const std::string& path, const std::string& bytes) override;
    void writeFile(const std::string& path, const std::string& bytes) override;

    bool exists(const std::string& path) const;
    std::vector<std::string> recycled;
    int recycleBinEmptied = 0;
    int recentDocumentsCleared = 0;

private:
    struct Node {
        std::string name;  // as first written
        bool folder = false;
        std::uint32_t attributes = 0;
        std::string content;
    };
    std::string key(std::string path) const;
    std::string parentOf(const std::string& path) const;
    bool isRoot(const std::string& path) const;
    Node* find(const std::string& path);

    platform::PathStyle style_;
    std::map<std::string, Node> nodes_;  // normalised path -> node
    std::vector<std::string> roots_;
    std::string failCreate_;
    std::string failWrite_;
};

}  // namespace nocturo::test
