#include "platform/sim/SimSystemInfo.h"

namespace nocturo::platform {

SimSystemInfo::SimSystemInfo(std::string programFolder) {
    version_.platformId = 2;
    version_.major = 10;
    version_.minor = 0;
    version_.build = 22631;
    languageNames_[0x0409] = "English (United States)";
    localeInfo_[0x1002] = "United States";
    localeInfo_[4] = "English";
    localeInfo_[8] = "United States";
    setProgramFolder(std::move(programFolder));
}

void SimSystemInfo::setProgramFolder(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    programFolder_ = std::move(path);
}

std::string SimSystemInfo::languageName(std::uint32_t languageId) {
    auto it = languageNames_.find(languageId);
    return it == languageNames_.end() ? std::string() : it->second;
}

std::string SimSystemInfo::localeInfo(std::uint32_t kind) {
    auto it = localeInfo_.find(kind);
    return it == localeInfo_.end() ? std::string() : it->second;
}

}  // namespace nocturo::platform
