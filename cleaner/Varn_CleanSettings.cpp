#include "cleaner/Varn_CleanSettings.h"

#include "base/Runtime.h"
#include "base/Strings.h"
#include "base/Variant.h"
#include "base/Varn_GetSystemInfos.h"
#include "base/Varn_Registry.h"

namespace nocturo {

std::string CleanerApp() { return UserApp(); }

std::string FolderApp(const std::string& folder) {
    std::string key = folder;
    while (!key.empty() && key.back() == '\\') key.pop_back();
    return CleanerApp() + "\\" + key;
}

std::string FilterDefaultApp() { return CleanerApp() + "\\CleanFilter"; }

std::string DefaultTempFolder() {
    if (files().pathStyle() == platform::PathStyle::Windows) return GetWinDir() + "\\temp\\";
    return "/tmp/";
}

std::string DefaultCleanDirs() { return DefaultTempFolder() + ";"; }

std::vector<std::string> ListItems(const std::string& list) {
    std::string text = list;
    if (text.empty() || text[0] != ';') text = ";" + text;
    std::vector<std::string> items;
    size_t start = 1;
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] != ';') continue;
        std::string item = text.substr(start, i - start);
        if (!Trim(item).empty()) items.push_back(item);
        start = i + 1;
    }
    return items;
}

std::string JoinList(const std::vector<std::string>& items) {
    std::string out = ";";
    for (const auto& i : items) out += i + ";";
    return out;
}

int CleanerOption(const std::string& app, const std::string& name, int defaultValue) {
    return CLng(ReadSetting(app, kSettings, name, defaultValue));
}

}  // namespace nocturo
