#include "support/FakeFileSystem.h"

#include <algorithm>

#include "base/Strings.h"
#include "platform/Error.h"
#include "platform/common/Wildcard.h"

namespace nocturo::test {

using platform::attr::Directory;

namespace {
class ListEnumerator : public platform::IDirEnumerator {
public:
    explicit ListEnumerator(std::vector<platform::DirEntry> entries) : entries_(std::move(entries)) {}
    std::optional<platform::DirEntry> next() override {
        if (i_ >= entries_.size()) return std::nullopt;
        return entries_[i_++];
    }

private:
    std::vector<platform::DirEntry> entries_;
    size_t i_ = 0;
};
}  // namespace

std::string FakeFileSystem::key(std::string path) const {
    char sep = separator();
    // Resolve "." and ".." components, as the real file systems do.
    if (path.find(std::string(1, sep) + ".") != std::string::npos) {
        std::vector<std::string> parts;
        std::string lead;
        size_t start = 0;
        if (style_ == platform::PathStyle::Windows && path.rfind("\\\\", 0) == 0) { lead = "\\\\"; start = 2; }
        else if (style_ == platform::PathStyle::Posix && !path.empty() && path[0] == '/') { lead = "/"; start = 1; }
        std::string cur;
        for (size_t i = start; i <= path.size(); ++i) {
            if (i == path.size() || path[i] == sep) {
                if (cur == "..") { if (parts.size() > 1 || (!parts.empty() && lead == "/")) parts.pop_back(); }
                else if (cur != "." && !cur.empty()) parts.push_back(cur);
                cur.clear();
            } else cur += path[i];
        }
        path = lead;
        for (size_t i = 0; i < parts.size(); ++i) path += (i ? std::string(1, sep) : "") + parts[i];
        if (path.empty()) path = lead;
    }
    while (path.size() > 1 && path.back() == sep && !isRoot(path.substr(0, path.size() - 1)) &&
           !(style_ == platform::PathStyle::Posix && path == "/"))
        path.pop_back();
    if (style_ == platform::PathStyle::Windows) {
        if (path.size() == 3 && path[1] == ':' && path[2] == '\\') path.pop_back();
        return LCase(path);
    }
    return path;
}

bool FakeFileSystem::isRoot(const std::string& path) const {
    std::string k = style_ == platform::PathStyle::Windows ? LCase(path) : path;
    for (const auto& r : roots_)
        if (r == k) return true;
    return false;
}

std::string FakeFileSystem::parentOf(const std::string& path) const {
    auto p = path.rfind(separator());
    if (p == std::string::npos) return "";
    if (p == 0) return "/";
    return path.substr(0, p);
}

void FakeFileSystem::addRoot(const std::string& root) {
    std::string k = key(root);
    roots_.push_back(k);
    nodes_[k] = Node{root, true, Directory, ""};
}

void FakeFileSystem::addFolder(const std::string& path) {
    std::string k = key(path);
    if (nodes_.count(k)) return;
    std::string parent = parentOf(key(path));
    if (!parent.empty() && !nodes_.count(key(parent))) addFolder(parent);
    std::string name = path;
    if (auto p = name.rfind(separator()); p != std::string::npos) name = name.substr(p + 1);
    nodes_[k] = Node{name, true, Directory, ""};
}

void FakeFileSystem::addFile(const std::string& path, const std::string& content, std::uint32_t attributes) {
    addFolder(parentOf(path));
    std::string name = path.substr(path.rfind(separator()) + 1);
    nodes_[key(path)] = Node{name, false, attributes, content};
}

FakeFileSystem::Node* FakeFileSystem::find(const std::string& path) {
    auto it = nodes_.find(key(path));
    return it == nodes_.end() ? nullptr : &it->second;
}

bool FakeFileSystem::exists(const std::string& path) const { return nodes_.count(key(path)) > 0; }

std::unique_ptr<platform::IDirEnumerator> FakeFileSystem::enumerate(const std::string& pattern) {
    ++enumerations;
    auto p = pattern.rfind(separator());
    if (p == std::string::npos) throw platform::Error(platform::err::PathNotFound, "Path not found");
    std::string folder = pattern.substr(0, p == 0 ? 1 : p);
    std::string spec = pattern.substr(p + 1);
    std::vector<platform::DirEntry> out;
    Node* dir = find(folder);
    if (!dir || !dir->folder) return std::make_unique<ListEnumerator>(out);
    std::string fk = key(folder);
    if (!isRoot(folder)) {
        for (const char* dot : {".", ".."})
            if (platform::WildcardMatch(spec, dot)) out.push_back({dot, Directory, 0});
    }
    for (const auto& [k, node] : nodes_) {
        if (k == fk || parentOf(k) != fk) continue;
        if (!platform::WildcardMatch(spec, node.name)) continue;
        out.push_back({node.name, node.attributes, node.content.size()});
    }
    return std::make_unique<ListEnumerator>(out);
}

bool FakeFileSystem::folderExists(const std::string& path) {
    ++folderTests;
    Node* n = find(path);
    return n && n->folder;
}

std::optional<std::uint32_t> FakeFileSystem::attributes(const std::string& path) {
    Node* n = find(path);
    if (!n) return std::nullopt;
    return n->attributes;
}

std::optional<std::uint64_t> FakeFileSystem::length(const std::string& path) {
    Node* n = find(path);
    if (!n) return std::nullopt;
    return n->content.size();
}

void FakeFileSystem::createFolder(const std::string& path) {
    created.push_back(path);
    if (!failCreate_.empty() && key(path).rfind(key(failCreate_), 0) == 0)
        throw platform::Error(platform::err::PermissionDenied, "Permission denied");
    Node* parent = find(parentOf(key(path)));
    if (!parent || !parent->folder) throw platform::Error(platform::err::PathNotFound, "Path not found");
    if (find(path)) throw platform::Error(platform::err::PathFileAccess, "Path/File access error");
    addFolder(path);
}

void FakeFileSystem::deleteFile(const std::string& path) {
    Node* n = find(path);
    if (!n || n->folder) throw platform::Error(platform::err::FileNotFound, "File not found");
    nodes_.erase(key(path));
}

void FakeFileSystem::moveToRecycleBin(const std::string& path) {
    deleteFile(path);
    recycled.push_back(path);
}

void FakeFileSystem::emptyRecycleBin() {
    recycled.clear();
    ++recycleBinEmptied;
}

void FakeFileSystem::clearRecentDocuments() { ++recentDocumentsCleared; }

std::optional<std::string> FakeFileSystem::readFile(const std::string& path) {
    Node* n = find(path);
    if (!n || n->folder) return std::nullopt;
    return n->content;
}

void FakeFileSystem::appendFile(const std::string& path, const std::string& bytes) {
    if (!failWrite_.empty() && key(path).rfind(key(failWrite_), 0) == 0)
        throw platform::Error(platform::err::PermissionDenied, "Permission denied");
    Node* parent = find(parentOf(key(path)));
    if (!parent || !parent->folder) throw platform::Error(platform::err::PathNotFound, "Path not found");
    Node* n = find(path);
    if (!n) {
        addFile(path, bytes);
        return;
    }
    if (n->folder) throw platform::Error(platform::err::PathFileAccess, "Path/File access error");
    n->content += bytes;
}

void FakeFileSystem::writeFile(const std::string& path, const std::string& bytes) {
    Node* n = find(path);
    if (n && !n->folder) n->content.clear();
    appendFile(path, bytes);
}

}  // namespace nocturo::test
