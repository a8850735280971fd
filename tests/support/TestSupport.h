#pragma once
// Helpers shared by the tests.
#include <string>
#include <vector>

#include "platform/IClock.h"

namespace nocturo::test {

// A fresh empty folder below the system's temp folder, removed by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A local time by its fields (the weekday left to whoever needs it).
platform::LocalTime At(int y, int mo, int d, int h, int mi, int s, int ms = 0);

std::string ReadWholeFile(const std::string& path);
// The event texts of an action log (each line's columns from 21 up to
// "  UserID :  ", trimmed).
std::vector<std::string> ActionLogEvents(const std::string& logText);
void WriteWholeFile(const std::string& path, const std::string& content);

}  // namespace nocturo::test
