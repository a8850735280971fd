#pragma once
// The simulated backend's record of everything that would have changed the
// machine or that the user would have seen or heard: one JSON object per
// line, "call" first, then the call's arguments under their natural names.
#include <string>
#include <vector>

#include "platform/common/Json.h"

namespace nocturo::platform {

class Journal {
public:
    // path: the file the lines are appended to; empty keeps the journal in
    // memory only.
    explicit Journal(std::string path = {});

    // Records one call. The line is appended to the file and flushed before
    // this returns (the file is opened and closed per entry), so a process
    // that ends right after still leaves it behind. The entry is kept in
    // memory even when the file cannot be written; that failure is then
    // thrown as platform::Error.
    void append(JsonObject entry);

    const std::vector<JsonObject>& entries() const { return entries_; }
    // The "call" member of every entry, in order.
    std::vector<std::string> calls() const;
    // Forgets the entries held in memory; the file is left as it is.
    void clear() { entries_.clear(); }
    const std::string& path() const { return path_; }

    // NOCTURO_SIM_JOURNAL when set and not empty, otherwise
    // "sim-journal.jsonl" in tempFolder.
    static std::string pathFromEnvironment(const std::string& tempFolder);

private:
    std::string path_;
    std::vector<JsonObject> entries_;
};

}  // namespace nocturo::platform
