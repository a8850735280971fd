#include "platform/posix/PosixSystemInfo.h"

#include <pwd.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace nocturo::platform {

namespace {

constexpr std::array<LocaleEntry, 12> kLocales{{
    {"en_US", 0x0409, "English (United States)", "English", "United States", "English", "United States"},
    {"en_GB", 0x0809, "English (United Kingdom)", "English", "United Kingdom", "English", "United Kingdom"},
    {"de_DE", 0x0407, "German (Germany)", "German", "Germany", "Deutsch", "Deutschland"},
    {"de_AT", 0x0C07, "German (Austria)", "German", "Austria", "Deutsch", "\xC3\x96sterreich"},
    {"de_CH", 0x0807, "German (Switzerland)", "German", "Switzerland", "Deutsch", "Schweiz"},
    {"fr_FR", 0x040C, "French (France)", "French", "France", "fran\xC3\xA7" "ais", "France"},
    {"es_ES", 0x0C0A, "Spanish (Spain)", "Spanish", "Spain", "espa\xC3\xB1ol", "Espa\xC3\xB1" "a"},
    {"it_IT", 0x0410, "Italian (Italy)", "Italian", "Italy", "italiano", "Italia"},
    {"nl_NL", 0x0413, "Dutch (Netherlands)", "Dutch", "Netherlands", "Nederlands", "Nederland"},
    {"pt_BR", 0x0416, "Portuguese (Brazil)", "Portuguese", "Brazil", "portugu\xC3\xAAs", "Brasil"},
    {"pl_PL", 0x0415, "Polish (Poland)", "Polish", "Poland", "polski", "Polska"},
    {"ru_RU", 0x0419, "Russian (Russia)", "Russian", "Russia",
     "\xD1\x80\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9",   // русский
     "\xD0\xA0\xD0\xBE\xD1\x81\xD1\x81\xD0\xB8\xD1\x8F"},          // Россия
}};

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string currentLocaleName() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (std::string v = env(var); !v.empty()) return v;
    return "C";
}

std::string stripTrailingSlashes(std::string s) {
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

std::string exeFolder() {
    std::vector<char> buf(4096);
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n > 0) {
        std::string exe(buf.data(), static_cast<std::size_t>(n));
        const auto slash = exe.rfind('/');
        if (slash != std::string::npos) return slash == 0 ? "/" : exe.substr(0, slash);
    }
    char cwd[4096];
    return getcwd(cwd, sizeof cwd) ? cwd : ".";
}

// A value of an os-release line, its quotes and escapes removed.
std::string osReleaseValue(std::string v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        const char q = v.front();
        v = v.substr(1, v.size() - 2);
        if (q == '"') {
            std::string out;
            for (std::size_t i = 0; i < v.size(); ++i) {
                if (v[i] == '\\' && i + 1 < v.size()) ++i;
                out += v[i];
            }
            v = out;
        }
    }
    return v;
}

std::string prettyOsName() {
    for (const char* file : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::ifstream in(file);
        if (!in) continue;
        std::string line, pretty, name;
        while (std::getline(in, line)) {
            if (line.rfind("PRETTY_NAME=", 0) == 0) pretty = osReleaseValue(line.substr(12));
            if (line.rfind("NAME=", 0) == 0) name = osReleaseValue(line.substr(5));
        }
        if (!pretty.empty()) return pretty;
        if (!name.empty()) return name;
    }
    return "";
}

std::optional<std::uint32_t> machineIdPrefix(const char* file) {
    std::ifstream in(file);
    std::string id;
    if (!(in >> id) || id.size() < 8) return std::nullopt;
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        const char c = id[i];
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        if (d < 0) return std::nullopt;
        v = (v << 4) | static_cast<std::uint32_t>(d);
    }
    return v;
}

}  // namespace

const LocaleEntry& LookupLocale(const std::string& localeName) {
    std::string name = localeName.substr(0, localeName.find_first_of(".@"));
    const auto underscore = name.find('_');
    std::string language = name.substr(0, underscore);
    std::string territory = underscore == std::string::npos ? "" : name.substr(underscore + 1);
    for (auto& c : language) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    for (auto& c : territory) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    const std::string tag = language + "_" + territory;
    for (const auto& e : kLocales)
        if (tag == e.tag) return e;
    // A known language in another country answers with its first country.
    for (const auto& e : kLocales)
        if (std::string(e.tag).substr(0, 2) == language) return e;
    return kLocales[0];
}

PosixSystemInfo::PosixSystemInfo(std::string programFolder)
    : programFolder_(programFolder.empty() ? exeFolder() : stripTrailingSlashes(std::move(programFolder))) {}

std::optional<std::string> PosixSystemInfo::userName() {
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* result = nullptr;
    if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &result) == 0 && result && result->pw_name &&
        result->pw_name[0] != '\0')
        return std::string(result->pw_name);
    for (const char* var : {"USER", "LOGNAME"})
        if (std::string v = env(var); !v.empty()) return v;
    return std::nullopt;
}

std::optional<std::uint32_t> PosixSystemInfo::volumeSerial() {
    for (const char* file : {"/etc/machine-id", "/var/lib/dbus/machine-id"})
        if (auto v = machineIdPrefix(file)) return v;
    struct statvfs vfs {};
    if (statvfs("/", &vfs) == 0) return static_cast<std::uint32_t>(vfs.f_fsid & 0xFFFFFFFFu);
    return std::nullopt;
}

OsVersion PosixSystemInfo::osVersion() {
    OsVersion v;
    v.platformId = 2;
    v.major = 10;
    v.minor = 0;
    v.build = 22631;
    utsname u{};
    const bool haveUname = uname(&u) == 0;
    const std::string kernel = haveUname ? std::string(u.sysname) + " " + u.release : "";
    const std::string pretty = prettyOsName();
    if (!pretty.empty())
        v.osName = kernel.empty() ? pretty : pretty + " (" + kernel + ")";
    else
        v.osName = kernel.empty() ? "Linux" : kernel;
    return v;
}

std::uint32_t PosixSystemInfo::systemLanguageId() { return LookupLocale(currentLocaleName()).languageId; }

std::string PosixSystemInfo::languageName(std::uint32_t languageId) {
    for (const auto& e : kLocales)
        if (e.languageId == languageId) return e.languageName;
    return "";
}

std::string PosixSystemInfo::localeInfo(std::uint32_t kind) {
    const LocaleEntry& e = LookupLocale(currentLocaleName());
    switch (kind) {
    case 0x2: return e.languageName;
    case 0x4: return e.nativeLanguage;
    case 0x8: return e.nativeCountry;
    case 0x1001: return e.englishLanguage;
    case 0x1002: return e.englishCountry;
    default: return "";
    }
}

}  // namespace nocturo::platform
