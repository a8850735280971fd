#include "cleaner/Varn_FilePathInput.h"

#include "base/Runtime.h"
#include "base/Varn_ErrorLog.h"

namespace nocturo {

std::string BrowseForFolder(const std::string& title, const Variant& start, const Variant& root, bool includeFiles) {
    try {
        // A special folder number opens at the desktop's top; a text is a path.
        const Variant& from = IsEmpty(start) ? root : start;
        std::string startFolder = IsString(from) ? std::get<std::string>(from) : std::string();
        return dialogs().browseForFolder(title, startFolder, includeFiles);
    } catch (...) {
        ReportCurrentException("BrowseForFolder of Modul Varn_FilePathInput", 4);
        return "";
    }
}

}  // namespace nocturo
