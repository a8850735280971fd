#pragma once
// Time servers on 127.0.0.1 for the tests, each on a thread of its own: an
// SNTP server whose answers a test shapes, and a small web server that
// serves pages by path (time pages, redirects, missing pages).
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "base/Sntp.h"

namespace nocturo::test {

class SntpTestServer {
public:
    SntpTestServer();
    ~SntpTestServer();
    SntpTestServer(const SntpTestServer&) = delete;
    SntpTestServer& operator=(const SntpTestServer&) = delete;

    std::uint16_t port() const { return port_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }  // for "TimeServer"
    // The server's clock stands at this instant (microseconds since 1970,
    // UTC) whenever it answers.
    void setTime(std::int64_t unixUsec);
    void setAnswer(const sntp::ServerAnswer& how);
    // Questions are read but never answered.
    void setSilent(bool silent) { silent_ = silent; }
    int questions() const { return questions_; }

private:
    void serve();
    std::intptr_t fd_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> silent_{false};
    std::atomic<int> questions_{0};
    std::mutex m_;
    std::int64_t time_ = 0;
    sntp::ServerAnswer how_;
};

class WebTestServer {
public:
    WebTestServer();
    ~WebTestServer();
    WebTestServer(const WebTestServer&) = delete;
    WebTestServer& operator=(const WebTestServer&) = delete;

    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    // path (with its query) answers with status and body; extraHeaders are
    // whole lines, "Location: /x\r\n".
    void serve(const std::string& path, int status, const std::string& body, const std::string& extraHeaders = "");
    int requests() const { return requests_; }

private:
    struct Page {
        int status;
        std::string body, extra;
    };
    void run();
    std::intptr_t fd_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    std::mutex m_;
    std::map<std::string, Page> pages_;
};

}  // namespace nocturo::test
