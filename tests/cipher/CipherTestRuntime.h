#pragma once
// A runtime for the cipher tests: a file system on the real disk below a
// fresh temporary folder (the program folder is <temp>/prog, so the error
// log lands in <temp>/Common/error.log), a fixed clock, and an event loop
// that counts how often the code under test yields.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>

#include "base/Runtime.h"
#include "base/Varn_ErrorLog.h"
#include "platform/Error.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace nocturo::test {

// Whole-file access on the real disk, enough for the cipher's file helpers
// and the error log; enumeration is not needed here.
class DiskFileSystem : public platform::IFileSystem {
public:
    // The host's own paths: the temporary folder is "C:\..." on Windows.
#ifdef _WIN32
    platform::PathStyle pathStyle() const override { return platform::PathStyle::Windows; }
#else
    platform::PathStyle pathStyle() const override { return platform::PathStyle::Posix; }
#endif

    std::unique_ptr<platform::IDirEnumerator> enumerate(const std::string&) override {
        struct Nothing : platform::IDirEnumerator {
            std::optional<platform::DirEntry> next() override { return std::nullopt; }
        };
        return std::make_unique<Nothing>();
    }
    bool folderExists(const std::string& path) override {
        std::error_code ec;
        return std::filesystem::is_directory(path, ec);
    }
    std::optional<std::uint32_t> attributes(const std::string& path) override {
        std::error_code ec;
        const auto status = std::filesystem::symlink_status(path, ec);
        if (ec || !std::filesystem::exists(status)) return std::nullopt;
        return std::filesystem::is_directory(status) ? platform::attr::Directory : platform::attr::Normal;
    }
    std::optional<std::uint64_t> length(const std::string& path) override {
        std::error_code ec;
        const auto size = std::filesystem::file_size(path, ec);
        if (ec) return std::nullopt;
        return size;
    }
    void createFolder(const std::string& path) override {
        std::error_code ec;
        if (!std::filesystem::create_directory(path, ec) || ec)
            throw platform::Error(platform::err::PathFileAccess, "Path/File access error");
    }
    void deleteFile(const std::string& path) override { std::filesystem::remove(path); }
    void moveToRecycleBin(const std::string& path) override { std::filesystem::remove(path); }
    void emptyRecycleBin() override {}
    void clearRecentDocuments() override {}

    std::optional<std::string> readFile(const std::string& path) override {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
        std::ifstream in(path, std::ios::binary);
        if (!in) return std::nullopt;
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void appendFile(const std::string& path, const std::string& bytes) override {
        write(path, bytes, std::ios::binary | std::ios::app);
    }
    void writeFile(const std::string& path, const std::string& bytes) override {
        write(path, bytes, std::ios::binary | std::ios::trunc);
    }

private:
    static void write(const std::string& path, const std::string& bytes, std::ios::openmode mode) {
        std::ofstream out(path, mode);
        out << bytes;
        out.close();
        if (!out) throw platform::Error(platform::err::PathFileAccess, "Path/File access error");
    }
};

class FixedSystemInfo : public platform::ISystemInfo {
public:
    explicit FixedSystemInfo(std::string programFolder) : programFolder_(std::move(programFolder)) {}
    std::optional<std::string> userName() override { return "tester"; }
    std::optional<std::uint32_t> volumeSerial() override { return 1234u; }
    platform::OsVersion osVersion() override { return {}; }
    std::string systemFolder() override { return "/sys"; }
    std::string windowsFolder() override { return "/win"; }
    std::string programFolder() override { return programFolder_; }
    std::uint32_t systemLanguageId() override { return 0; }
    std::string languageName(std::uint32_t) override { return {}; }
    std::string localeInfo(std::uint32_t) override { return {}; }

private:
    std::string programFolder_;
};

class FixedClock : public platform::IClock {
public:
    platform::LocalTime now() override { return {2024, 5, 17, 12, 30, 0, 0, 4}; }
    std::int64_t monotonicMs() override { return 0; }
};

class CountingLoop : public platform::IEventLoop {
public:
    int yields = 0;
    std::function<void()> onYield;

    void yield() override {
        ++yields;
        if (onYield) onYield();
    }
    platform::TimerId addTimer(std::function<void()>) override { return 0; }
    void setTimer(platform::TimerId, int, bool) override {}
    void removeTimer(platform::TimerId) override {}
    void post(std::function<void()>) override {}
    int run() override { return 0; }
    void quit(int) override {}
};

// Installs the test services for the lifetime of the object.
class CipherTestRuntime {
public:
    TempDir temp;
    DiskFileSystem fs;
    FixedSystemInfo system{temp / "prog"};
    FixedClock clock;
    CountingLoop loop;
    int errorEntries = 0;

    CipherTestRuntime() : scope_(install()) {
        std::filesystem::create_directory(temp / "prog");
        std::filesystem::create_directory(temp / "Common");  // a self-contained copy
    }

    std::string path(const std::string& name) const { return temp / name; }
    std::string errorLog() { return ReadWholeFile(ErrorLogPath()); }

private:
    Runtime& install() {
        runtime_.pf.files = &fs;
        runtime_.pf.system = &system;
        runtime_.pf.clock = &clock;
        runtime_.pf.loop = &loop;
        runtime_.errorIndicator = [this] { ++errorEntries; };
        return runtime_;
    }

    Runtime runtime_;
    RuntimeScope scope_;
};

}  // namespace nocturo::test
