#include "support/TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#ifdef _WIN32
#include <random>
#endif

namespace nocturo::test {

TempDir::TempDir() {
#ifdef _WIN32
    // No mkdtemp: a random name, taken by create_directory, which fails
    // when the folder is there already. Forward slashes, as the tests join
    // names with "/".
    std::random_device seed;
    std::mt19937_64 rng(seed());
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        static constexpr char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
        std::string name = "nocturo-test-";
        for (int i = 0; i < 8; ++i) name += digits[rng() % 36];
        std::error_code ec;
        if (std::filesystem::create_directory(base / name, ec)) {
            path_ = (base / name).generic_string();
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder in " + base.string());
#else
    std::string tmpl = (std::filesystem::temp_directory_path() / "nocturo-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
#endif
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

platform::LocalTime At(int y, int mo, int d, int h, int mi, int s, int ms) {
    platform::LocalTime t;
    t.year = y;
    t.month = mo;
    t.day = d;
    t.hour = h;
    t.minute = mi;
    t.second = s;
    t.millisecond = ms;
    return t;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteWholeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::vector<std::string> ActionLogEvents(const std::string& logText) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < logText.size()) {
        size_t end = logText.find('\n', pos);
        if (end == std::string::npos) end = logText.size();
        std::string line = logText.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        auto user = line.find("  UserID :  ");
        if (line.size() > 21 && user != std::string::npos) {
            std::string event = line.substr(21, user - 21);
            event.erase(event.find_last_not_of(' ') + 1);
            out.push_back(event);
        }
        pos = end + 1;
    }
    return out;
}

}  // namespace nocturo::test
