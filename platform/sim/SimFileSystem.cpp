#include "platform/sim/SimFileSystem.h"

#include "platform/Error.h"

namespace nocturo::platform {

SimFileSystem::SimFileSystem(IFileSystem& real, Journal& journal) : real_(real), journal_(journal) {}

void SimFileSystem::deleteFile(const std::string& path) {
    auto a = real_.attributes(path);
    if (!a) throw Error(err::FileNotFound, "File not found");
    if ((*a & attr::Directory) && !(*a & attr::ReparsePoint)) throw Error(err::PathFileAccess, "Path/File access error");
    journal_.append(JsonObject{{"call", "DeleteFile"}, {"path", path}});
}

void SimFileSystem::moveToRecycleBin(const std::string& path) {
    if (!real_.attributes(path)) throw Error(err::FileNotFound, "File not found");
    journal_.append(JsonObject{{"call", "MoveToRecycleBin"}, {"path", path}});
}

namespace {

// The real folder for looking; deleting and trashing are only journalled.
class SimFolder : public IFolder {
public:
    SimFolder(std::unique_ptr<IFolder> real, Journal& journal) : real_(std::move(real)), journal_(journal) {}
    const std::string& path() const override { return real_->path(); }
    FileId id() const override { return real_->id(); }
    std::unique_ptr<IDirEnumerator> list(const std::string& wildcard, bool namesOnly) override {
        return real_->list(wildcard, namesOnly);
    }
    std::unique_ptr<IFolder> openFolder(const std::string& name) override {
        auto sub = real_->openFolder(name);
        return sub ? std::make_unique<SimFolder>(std::move(sub), journal_) : nullptr;
    }
    std::optional<DirEntry> look(const std::string& name) override { return real_->look(name); }
    void deleteEntry(const std::string& name, const FileId& expected) override {
        check(name, expected);
        journal_.append(JsonObject{{"call", "DeleteFile"}, {"path", path() + name}});
    }
    void trashEntry(const std::string& name, const FileId& expected, const std::string&) override {
        check(name, expected);
        journal_.append(JsonObject{{"call", "MoveToRecycleBin"}, {"path", path() + name}});
    }

private:
    // Fails as the real call would.
    void check(const std::string& name, const FileId& expected) {
        auto e = real_->look(name);
        if (!e) throw Error(err::FileNotFound, "File not found");
        if (e->kind == EntryKind::Folder) throw Error(err::PathFileAccess, "Path/File access error");
        if (expected.known() && e->id.known() && !(e->id == expected))
            throw Error(err::PathFileAccess, "Path/File access error: not the file that was found");
    }

    std::unique_ptr<IFolder> real_;
    Journal& journal_;
};

}  // namespace

std::unique_ptr<IFolder> SimFileSystem::openFolder(const std::string& path) {
    return std::make_unique<SimFolder>(real_.openFolder(path), journal_);
}

void SimFileSystem::emptyRecycleBin() {
    journal_.append(JsonObject{{"call", "SHEmptyRecycleBin"}, {"root", ""}, {"flags", 1}});
}

void SimFileSystem::clearRecentDocuments() {
    journal_.append(JsonObject{{"call", "SHAddToRecentDocs"}, {"item", Json()}});
}

}  // namespace nocturo::platform
