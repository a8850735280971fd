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

void SimFileSystem::emptyRecycleBin() {
    journal_.append(JsonObject{{"call", "SHEmptyRecycleBin"}, {"root", ""}, {"flags", 1}});
}

void SimFileSystem::clearRecentDocuments() {
    journal_.append(JsonObject{{"call", "SHAddToRecentDocs"}, {"item", Json()}});
}

}  // namespace nocturo::platform
