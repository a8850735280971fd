#include "base/Varn_Language.h"

#include "base/InstallLayout.h"
#include "base/Runtime.h"
#include "base/Strings.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_File_Dir.h"
#include "platform/Error.h"

namespace nocturo {

namespace {
std::vector<std::string> g_table;
const std::string kEmpty;
}  // namespace

const std::string& LangText(int index) {
    if (index < 0 || static_cast<size_t>(index) >= g_table.size()) return kEmpty;
    return g_table[static_cast<size_t>(index)];
}

const std::vector<std::string>& LanguageTable() { return g_table; }
void ClearLanguageTable() { g_table.clear(); }

std::string LanguageFolder() { return JoinPath(Layout().dataFolder, "language"); }

std::vector<std::string> ParseLanguageText(const std::string& text, int& lineNumber) {
    std::vector<std::string> table;
    int highest = 0;
    lineNumber = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = Trim(line);
        if (line.empty() || line[0] != 'T') continue;
        size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == line.size() - 1) continue;
        // The index is the four characters after the "T", a 16-bit number.
        const int index = CInt(line.substr(1, 4));
        if (index < 0) throw platform::Error(platform::err::SubscriptOutOfRange, "Subscript out of range");
        if (index > highest || table.empty()) {
            highest = std::max(highest, index);
            table.resize(static_cast<size_t>(highest) + 1);  // keeps what was read; grows geometrically
        }
        table[static_cast<size_t>(index)] = Trim(line.substr(tab + 1));
    }
    return table;
}

bool set_language(const std::string& fileName) {
    bool result = false;
    std::string path;
    int line = 0;
    try {
        path = JoinPath(LanguageFolder(), fileName);
        if (!FileExists(path)) {
            dialogs().messageBox("The language file " + fileName + " is missing!\nPlease install the Varn language package.\nThe program will be terminated now.",
                                 platform::mb::SystemModal, rt().appName);
            return false;
        }
        auto text = files().readFile(path);
        if (!text) throw platform::Error(platform::err::FileNotFound, "File not found: " + path);
        g_table = ParseLanguageText(*text, line);
        result = true;
    } catch (...) {
        ReportCurrentException("set_language of Modul Varn_Language", line);
        result = false;
    }
    return result;
}

}  // namespace nocturo
