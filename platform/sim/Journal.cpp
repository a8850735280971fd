#include "platform/sim/Journal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/Error.h"

namespace nocturo::platform {

Journal::Journal(std::string path) : path_(std::move(path)) {}

void Journal::append(JsonObject entry) {
    std::string line = Json(entry).dump();
    line += '\n';
    entries_.push_back(std::move(entry));
    if (path_.empty()) return;

    // One write of the whole line in append mode: lines of two processes
    // sharing the journal do not interleave.
    std::FILE* f = std::fopen(path_.c_str(), "ab");
    if (!f) throw Error(err::PathFileAccess, "cannot open the journal " + path_ + ": " + std::strerror(errno));
    std::vector<char> buffer(line.size() + 1);
    std::setvbuf(f, buffer.data(), _IOFBF, buffer.size());
    std::size_t written = std::fwrite(line.data(), 1, line.size(), f);
    bool closed = std::fclose(f) == 0;
    if (written != line.size() || !closed) throw Error(err::DeviceIo, "cannot write the journal " + path_);
}

std::vector<std::string> Journal::calls() const {
    std::vector<std::string> out;
    out.reserve(entries_.size());
    for (const auto& e : entries_) {
        const Json* call = e.find("call");
        out.push_back(call && call->isString() ? call->asString() : std::string());
    }
    return out;
}

std::string Journal::pathFromEnvironment(const std::string& tempFolder) {
    if (const char* env = std::getenv("NOCTURO_SIM_JOURNAL"); env && *env) return env;
    if (tempFolder.empty()) return "sim-journal.jsonl";
    char last = tempFolder.back();
    return tempFolder + (last == '/' || last == '\\' ? "" : "/") + "sim-journal.jsonl";
}

}  // namespace nocturo::platform
