// Fetching pages with WinHTTP from a small HTTP server on 127.0.0.1 that
// runs inside the test: the body and status as sent, redirects (and their
// limit), refusals, a server that never answers, pages too large,
// addresses that are not web pages, the caller's loop kept alive while the
// server thinks, and a transfer dropped half-way.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Error.h"
#include "platform/win32/WinHttpClient.h"

namespace {

using namespace nocturo::platform;
using namespace nocturo::platform::win32;
using namespace std::chrono_literals;

struct Winsock {
    Winsock() {
        WSADATA data;
        ok = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~Winsock() {
        if (ok) WSACleanup();
    }
    bool ok = false;
};

// Answers one request per connection, by path, on 127.0.0.1.
class LoopbackServer {
public:
    LoopbackServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd_, 8) != 0) return;
        int len = sizeof addr;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~LoopbackServer() {
        stop_ = true;
        ::closesocket(fd_);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (SOCKET c : open_) ::shutdown(c, SD_BOTH);
        }
        if (thread_.joinable()) thread_.join();
    }
    int port() const { return port_; }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    int requests() const { return requests_; }
    std::string lastRequest() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lastRequest_;
    }

private:
    void serve() {
        while (!stop_) {
            SOCKET client = ::accept(fd_, nullptr, nullptr);
            if (client == INVALID_SOCKET) return;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                open_.push_back(client);
            }
            std::string request;
            char buf[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const int n = ::recv(client, buf, sizeof buf, 0);
                if (n <= 0) break;
                request.append(buf, static_cast<std::size_t>(n));
            }
            ++requests_;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                lastRequest_ = request;
            }
            if (request.size() > 4) answer(client, request.substr(4, request.find(' ', 4) - 4));
            {
                std::lock_guard<std::mutex> lock(mutex_);
                open_.erase(std::find(open_.begin(), open_.end(), client));
            }
            ::closesocket(client);
        }
    }
    static void sendAll(SOCKET client, const std::string& data) {
        std::size_t sent = 0;
        while (sent < data.size()) {
            const int n = ::send(client, data.data() + sent, static_cast<int>(data.size() - sent), 0);
            if (n <= 0) return;
            sent += static_cast<std::size_t>(n);
        }
    }
    static std::string response(int status, const std::string& reason, const std::string& body,
                                const std::string& extra = "") {
        return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\nConnection: close\r\n" + extra + "\r\n" + body;
    }
    // Waits up to ms, ending early when the server stops.
    void pause(std::chrono::milliseconds ms) {
        const auto until = std::chrono::steady_clock::now() + ms;
        while (!stop_ && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(10ms);
    }
    void answer(SOCKET client, const std::string& path) {
        if (path == "/versions.txt") {
            sendAll(client, response(200, "OK", "\"Nocturo\",\"1.2.3\"\r\n"));
        } else if (path == "/moved") {
            sendAll(client, response(302, "Found", "", "Location: /versions.txt\r\n"));
        } else if (path == "/dir/relative") {
            sendAll(client, response(301, "Moved Permanently", "", "Location: ../versions.txt\r\n"));
        } else if (path == "/absolute") {
            sendAll(client, response(307, "Temporary Redirect", "", "Location: " + url("/versions.txt") + "\r\n"));
        } else if (path == "/loop") {
            sendAll(client, response(302, "Found", "", "Location: /loop\r\n"));
        } else if (path == "/to-file") {
            sendAll(client, response(302, "Found", "", "Location: file:///C:/windows/win.ini\r\n"));
        } else if (path == "/empty") {
            sendAll(client, response(204, "No Content", ""));
        } else if (path == "/slow") {
            pause(600ms);
            sendAll(client, response(200, "OK", "late"));
        } else if (path == "/silent") {
            pause(20s);  // never answers within any test's patience
        } else if (path == "/big" || path == "/big-unannounced") {
            const std::size_t size = WinHttpClient::MaxBody + 1;
            if (path == "/big")
                sendAll(client, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) +
                                    "\r\nConnection: close\r\n\r\n");
            else
                sendAll(client, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
            const std::string chunk(64 * 1024, 'x');
            for (std::size_t sent = 0; sent < size && !stop_; sent += chunk.size())
                sendAll(client, chunk.substr(0, std::min(chunk.size(), size - sent)));
        } else if (path == "/just-enough") {
            sendAll(client, response(200, "OK", std::string(WinHttpClient::MaxBody, 'y')));
        } else {
            sendAll(client, response(404, "Not Found", "no such page"));
        }
    }

    Winsock winsock_;
    SOCKET fd_ = INVALID_SOCKET;
    int port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    mutable std::mutex mutex_;
    std::string lastRequest_;
    std::vector<SOCKET> open_;
};

// A loopback port nobody listens on.
std::string closedPortUrl() {
    Winsock winsock;
    SOCKET fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    int len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::closesocket(fd);
    return "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/versions.txt";
}

std::string failureOf(WinHttpClient& http, const std::string& url) {
    try {
        http.get(url);
    } catch (const Error& e) {
        return e.what();
    }
    return "(no failure)";
}

HttpLimits quick() {
    HttpLimits limits;
    limits.connectMs = 2000;
    limits.totalMs = 1500;
    return limits;
}

TEST(WinHttpClient, APageComesBackWithItsStatusAndBody) {
    LoopbackServer server;
    ASSERT_NE(server.port(), 0);
    WinHttpClient http;
    HttpResponse page = http.get(server.url("/versions.txt"));
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.body, "\"Nocturo\",\"1.2.3\"\r\n");
    EXPECT_NE(server.lastRequest().find("User-Agent: Nocturo/"), std::string::npos) << server.lastRequest();
    EXPECT_EQ(server.lastRequest().rfind("GET /versions.txt HTTP/1.1\r\n", 0), 0u) << server.lastRequest();

    // A missing page is an answer too: the caller judges the status.
    HttpResponse missing = http.get(server.url("/nothing"));
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.body, "no such page");

    HttpResponse empty = http.get(server.url("/empty"));
    EXPECT_EQ(empty.status, 204);
    EXPECT_EQ(empty.body, "");
}

TEST(WinHttpClient, RedirectsAreFollowedButNotForever) {
    LoopbackServer server;
    WinHttpClient http;
    for (const char* path : {"/moved", "/dir/relative", "/absolute"}) {
        HttpResponse page = http.get(server.url(path));
        EXPECT_EQ(page.status, 200) << path;
        EXPECT_EQ(page.body, "\"Nocturo\",\"1.2.3\"\r\n") << path;
    }
    const int before = server.requests();
    const std::string why = failureOf(http, server.url("/loop"));
    EXPECT_NE(why.find("redirects"), std::string::npos) << why;
    EXPECT_EQ(server.requests() - before, 6);  // the first request and five redirects
}

TEST(WinHttpClient, ARedirectAwayFromTheWebIsRefused) {
    LoopbackServer server;
    WinHttpClient http;
    const std::string why = failureOf(http, server.url("/to-file"));
    EXPECT_NE(why.find("only http and https"), std::string::npos) << why;
}

TEST(WinHttpClient, ARefusedConnectionIsAnErrorThatSaysWhere) {
    WinHttpClient http(quick());
    const std::string url = closedPortUrl();
    const std::string why = failureOf(http, url);
    EXPECT_NE(why.find(url), std::string::npos) << why;
    EXPECT_EQ(why.find("(no failure)"), std::string::npos);
}

TEST(WinHttpClient, AServerThatNeverAnswersTimesOut) {
    LoopbackServer server;
    WinHttpClient http(quick());
    const auto start = std::chrono::steady_clock::now();
    const std::string why = failureOf(http, server.url("/silent"));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_NE(why.find("timed out"), std::string::npos) << why;
    EXPECT_NE(why.find(server.url("/silent")), std::string::npos) << why;
    EXPECT_LT(took, 10s);
}

TEST(WinHttpClient, OnlyWebAddressesAreFetched) {
    WinHttpClient http(quick());
    for (const char* url : {"file:///C:/windows/win.ini", "ftp://127.0.0.1/versions.txt", "not an address",
                            "", "http://", "http:///versions.txt"}) {
        EXPECT_THROW(http.get(url), Error) << url;
    }
}

TEST(WinHttpClient, APageLargerThanTheLimitIsRefused) {
    LoopbackServer server;
    WinHttpClient http;
    for (const char* path : {"/big", "/big-unannounced"}) {
        const std::string why = failureOf(http, server.url(path));
        EXPECT_NE(why.find("larger than"), std::string::npos) << path << ": " << why;
    }
    // Exactly the limit is still a page.
    HttpResponse page = http.get(server.url("/just-enough"));
    EXPECT_EQ(page.body.size(), WinHttpClient::MaxBody);
}

TEST(WinHttpClient, TheCallerKeepsRunningWhileTheServerThinks) {
    LoopbackServer server;
    WinHttpClient http;
    int calls = 0;
    HttpResponse page = http.get(server.url("/slow"), [&] { ++calls; });
    EXPECT_EQ(page.body, "late");
    EXPECT_GE(calls, 2);  // about every 50 ms of the 600 ms wait; a busy machine may manage fewer
}

TEST(WinHttpClient, ATransferIsPolledUntilItEndsAndThenOnlyOnce) {
    LoopbackServer server;
    WinHttpClient http;
    auto transfer = http.begin(server.url("/slow"));
    std::optional<HttpResponse> page = transfer->poll();
    EXPECT_FALSE(page.has_value()) << "the 600 ms page came back at once";
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (!page && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(20ms);
        page = transfer->poll();
    }
    ASSERT_TRUE(page.has_value());
    EXPECT_EQ(page->body, "late");
    EXPECT_THROW(transfer->poll(), Error);
}

TEST(WinHttpClient, AFailedTransferThrowsFromPoll) {
    WinHttpClient http(quick());
    auto transfer = http.begin(closedPortUrl());
    const auto until = std::chrono::steady_clock::now() + 10s;
    bool threw = false;
    while (!threw && std::chrono::steady_clock::now() < until) {
        try {
            if (transfer->poll()) break;
        } catch (const Error&) {
            threw = true;
        }
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(threw);
}

TEST(WinHttpClient, DroppingATransferDoesNotWaitForTheServer) {
    LoopbackServer server;
    WinHttpClient http;  // the full 30 s timeouts
    const auto start = std::chrono::steady_clock::now();
    {
        auto transfer = http.begin(server.url("/silent"));
        std::this_thread::sleep_for(100ms);
        EXPECT_FALSE(transfer->poll().has_value());
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST(WinHttpClient, RedirectTargetsAreResolvedAgainstThePage) {
    struct Case {
        const char* from;
        const char* location;
        const char* to;
    };
    const Case cases[] = {
        {"http://a.example/x/y.txt", "https://b.example/z", "https://b.example/z"},
        {"http://a.example/x/y.txt", "//b.example/z", "http://b.example/z"},
        {"https://a.example:8443/x/y.txt?q=1", "/z", "https://a.example:8443/z"},
        {"http://a.example/x/y.txt?q=1", "z.txt", "http://a.example/x/z.txt"},
        {"http://a.example/x/", "z.txt", "http://a.example/x/z.txt"},
        {"http://a.example", "z.txt", "http://a.example/z.txt"},
        {"http://a.example/x/y.txt", "?page=2", "http://a.example/x/y.txt?page=2"},
        {"http://a.example/x/y.txt", "../z", "http://a.example/z"},
        {"http://a.example/x/y/z.txt", "./../w/./v?a=../b", "http://a.example/x/w/v?a=../b"},
        {"http://a.example/x/y.txt", "../../../z", "http://a.example/z"},
        {"http://a.example/x/y.txt", "..", "http://a.example/"},
        {"http://a.example/x/y.txt", "w/", "http://a.example/x/w/"},
        {"http://a.example/x", "/p?next=http://c.example/", "http://a.example/p?next=http://c.example/"},
        {"http://a.example/x", "file:///C:/boot.ini", "file:///C:/boot.ini"},
    };
    for (const auto& c : cases) EXPECT_EQ(ResolveRedirect(c.from, c.location), c.to) << c.from << " + " << c.location;
}

}  // namespace
