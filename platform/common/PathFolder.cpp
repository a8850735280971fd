// The folder of a backend that works with paths only: every call joins the
// folder's path and the entry's name again. No identities are known, so a
// folder swapped meanwhile is not noticed; backends that can hold a folder
// open (Linux) have their own.
#include <memory>

#include "platform/Error.h"
#include "platform/IFileSystem.h"
#include "platform/common/Wildcard.h"

namespace nocturo::platform {

namespace {

EntryKind kindOf(std::uint32_t attributes) {
    if (attributes & attr::ReparsePoint) return EntryKind::Link;
    if (attributes & attr::Directory) return EntryKind::Folder;
    return EntryKind::File;
}

// Sets the kind of every entry from its attributes.
class KindedEnumerator : public IDirEnumerator {
public:
    explicit KindedEnumerator(std::unique_ptr<IDirEnumerator> inner) : inner_(std::move(inner)) {}
    std::optional<DirEntry> next() override {
        auto e = inner_->next();
        if (e) e->kind = kindOf(e->attributes);
        return e;
    }

private:
    std::unique_ptr<IDirEnumerator> inner_;
};

class PathFolder : public IFolder {
public:
    PathFolder(IFileSystem& files, std::string path) : files_(files), path_(std::move(path)) {
        if (path_.empty() || path_.back() != files_.separator()) path_ += files_.separator();
    }
    const std::string& path() const override { return path_; }

    std::unique_ptr<IDirEnumerator> list(const std::string& wildcard, bool namesOnly) override {
        auto e = namesOnly ? files_.enumerateNames(path_ + wildcard) : files_.enumerate(path_ + wildcard);
        return std::make_unique<KindedEnumerator>(std::move(e));
    }

    std::unique_ptr<IFolder> openFolder(const std::string& name) override {
        const auto a = files_.attributes(path_ + name);
        if (!a || !(*a & attr::Directory) || (*a & attr::ReparsePoint)) return nullptr;
        return std::make_unique<PathFolder>(files_, path_ + name);
    }

    std::optional<DirEntry> look(const std::string& name) override {
        const auto a = files_.attributes(path_ + name);
        if (!a) return std::nullopt;
        DirEntry e;
        e.name = name;
        e.attributes = *a;
        e.kind = kindOf(*a);
        e.size = files_.length(path_ + name).value_or(0);
        return e;
    }

    void deleteEntry(const std::string& name, const FileId&) override { files_.deleteFile(path_ + name); }
    void trashEntry(const std::string& name, const FileId&, const std::string&) override {
        files_.moveToRecycleBin(path_ + name);
    }

private:
    IFileSystem& files_;
    std::string path_;
};

}  // namespace

std::unique_ptr<IFolder> IFileSystem::openFolder(const std::string& path) {
    if (!folderExists(path)) throw Error(err::PathNotFound, "Path not found: " + path);
    return std::make_unique<PathFolder>(*this, path);
}

bool IFileSystem::wildcardMatch(const std::string& wildcard, const std::string& name) const {
    return WildcardMatch(wildcard, name);
}

}  // namespace nocturo::platform
