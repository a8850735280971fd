#include "base/Varn_File_Dir.h"

#include "base/Runtime.h"
#include "base/Strings.h"
#include "base/Varn_ErrorLog.h"

namespace nocturo {

using platform::PathStyle;

namespace {
char sepOf(PathStyle s) { return s == PathStyle::Windows ? '\\' : '/'; }
}  // namespace

char PathSeparator() { return files().separator(); }

std::string sFixDirString(const std::string& path, PathStyle style) {
    char sep = sepOf(style);
    if (!path.empty() && path.back() == sep) return path;
    return path + sep;
}

std::string sFixDirString(const std::string& path) {
    std::string result = path;
    Step("sFixDirString of Modul Varn_File_Dir", 1, [&] { result = sFixDirString(path, files().pathStyle()); });
    return result;
}

std::string JoinPath(const std::string& folder, const std::string& name) { return sFixDirString(folder) + name; }

std::string sParseFile(const std::string& path) {
    std::string s = path;
    if (auto p = s.rfind('\\'); p != std::string::npos) s = s.substr(p + 1);
    if (auto p = s.rfind('/'); p != std::string::npos) s = s.substr(p + 1);
    return s;
}

bool DirExists(const std::string& path) {
    bool exists = false;
    Step("DirExists of Modul Varn_File_Dir", 1, [&] { exists = files().folderExists(path); });
    return exists;
}

bool FileExists(std::string& path) {
    path = Trim(path);
    if (path.empty() || path.back() == PathSeparator()) return false;
    try {
        auto e = files().enumerate(path);
        while (auto entry = e->next()) {
            if (!(entry->attributes & platform::attr::Directory)) return true;
        }
        return false;
    } catch (...) {
        ReportCurrentException("FileExists of Modul Varn_File_Dir", 3);
        WriteErrorArgs({path});
        return false;
    }
}

bool FileExists(const std::string& path) {
    std::string copy = path;
    return FileExists(copy);
}

void CreateDirectoryStruct(const std::string& path, bool privateToUser) {
    std::string full;
    try {
        const PathStyle style = files().pathStyle();
        const char sep = sepOf(style);
        full = sFixDirString(path, style);
        if (DirExists(full)) return;

        // Where the first component that may need creating starts.
        size_t start = 0;
        if (style == PathStyle::Windows) {
            if (full.size() >= 2 && full[0] == '\\' && full[1] == '\\') {
                size_t serverEnd = full.find('\\', 2);
                size_t shareEnd = serverEnd == std::string::npos ? std::string::npos : full.find('\\', serverEnd + 1);
                start = shareEnd == std::string::npos ? full.size() : shareEnd + 1;
            } else {
                start = full.size() < 3 ? full.size() : 3;  // after "C:\"
            }
        } else {
            start = (full[0] == '/') ? 1 : 0;
        }

        std::string base = full.substr(0, start);
        while (base != full) {
            size_t next = full.find(sep, start);
            if (next == std::string::npos) next = full.size();
            std::string component = full.substr(start, next - start);
            start = next < full.size() ? next + 1 : full.size();
            std::string prefix = base + component;
            bool rootLike = style == PathStyle::Windows ? prefix.size() <= 3 : (prefix.empty() || prefix == "/");
            if (!component.empty() && !rootLike && !DirExists(prefix)) {
                if (privateToUser)
                    files().createPrivateFolder(prefix);
                else
                    files().createFolder(prefix);
            }
            base = full.substr(0, start);
        }
    } catch (...) {
        ReportCurrentException("CreateDirectoryStruct of Modul Varn_File_Dir", 3);
        WriteErrorArgs({path});
    }
}

}  // namespace nocturo
