// Fetching pages with libcurl from a small HTTP server on the loopback
// interface: the body and status as sent, redirects, refusals, pages too
// large, addresses that are not web pages, and the caller's windows kept
// alive while a slow server thinks.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/Error.h"
#include "platform/posix/CurlHttp.h"

using namespace nocturo::platform;

#ifdef NOCTURO_HAVE_CURL

namespace {

// Answers one request per connection, by path, on 127.0.0.1.
class LoopbackServer {
public:
    LoopbackServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        int yes = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd_, 8) != 0) return;
        socklen_t len = sizeof addr;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~LoopbackServer() {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        if (thread_.joinable()) thread_.join();
    }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    int requests() const { return requests_; }
    std::string lastRequest() const { return lastRequest_; }

private:
    void serve() {
        while (!stop_) {
            int client = ::accept(fd_, nullptr, nullptr);
            if (client < 0) return;
            std::string request;
            char buf[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                ssize_t n = ::recv(client, buf, sizeof buf, 0);
                if (n <= 0) break;
                request.append(buf, static_cast<std::size_t>(n));
            }
            ++requests_;
            lastRequest_ = request;
            answer(client, request.substr(4, request.find(' ', 4) - 4));
            ::close(client);
        }
    }
    static void sendAll(int client, const std::string& data) {
        std::size_t sent = 0;
        while (sent < data.size()) {
            ssize_t n = ::send(client, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += static_cast<std::size_t>(n);
        }
    }
    static std::string response(int status, const std::string& reason, const std::string& body,
                                const std::string& extra = "") {
        return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\nConnection: close\r\n" + extra + "\r\n" + body;
    }
    void answer(int client, const std::string& path) {
        if (path == "/versions.txt") {
            sendAll(client, response(200, "OK", "\"Nocturo\",\"1.2.3\"\r\n"));
        } else if (path == "/moved") {
            sendAll(client, response(302, "Found", "", "Location: /versions.txt\r\n"));
        } else if (path == "/loop") {
            sendAll(client, response(302, "Found", "", "Location: /loop\r\n"));
        } else if (path == "/slow") {
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
            sendAll(client, response(200, "OK", "late"));
        } else if (path == "/big") {
            const std::size_t size = CurlHttp::MaxBody + 1;
            sendAll(client, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) +
                                "\r\nConnection: close\r\n\r\n");
            const std::string chunk(64 * 1024, 'x');
            for (std::size_t sent = 0; sent < size && !stop_; sent += chunk.size())
                sendAll(client, chunk.substr(0, std::min(chunk.size(), size - sent)));
        } else {
            sendAll(client, response(404, "Not Found", "no such page"));
        }
    }

    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    std::string lastRequest_;
};

// A loopback port nobody listens on.
std::string closedPortUrl() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/versions.txt";
}

}  // namespace

TEST(CurlHttp, APageComesBackWithItsStatusAndBody) {
    LoopbackServer server;
    CurlHttp http;
    HttpResponse page = http.get(server.url("/versions.txt"));
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.body, "\"Nocturo\",\"1.2.3\"\r\n");
    EXPECT_NE(server.lastRequest().find("User-Agent: Nocturo/"), std::string::npos);

    // A missing page is an answer too: the caller judges the status.
    HttpResponse missing = http.get(server.url("/nothing"));
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.body, "no such page");
}

TEST(CurlHttp, RedirectsAreFollowedButNotForever) {
    LoopbackServer server;
    CurlHttp http;
    HttpResponse page = http.get(server.url("/moved"));
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.body, "\"Nocturo\",\"1.2.3\"\r\n");
    EXPECT_THROW(http.get(server.url("/loop")), Error);
    EXPECT_LE(server.requests(), 2 + 6);  // one for /moved's two, at most six for the loop
}

TEST(CurlHttp, NoAnswerIsAnErrorThatSaysWhere) {
    CurlHttp http;
    const std::string url = closedPortUrl();
    try {
        http.get(url);
        FAIL() << "a refused connection returned a page";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(url), std::string::npos);
    }
}

TEST(CurlHttp, OnlyWebAddressesAreFetched) {
    CurlHttp http;
    EXPECT_THROW(http.get("file:///etc/hostname"), Error);
    EXPECT_THROW(http.get("ftp://127.0.0.1/versions.txt"), Error);
    EXPECT_THROW(http.get("not an address"), Error);
}

TEST(CurlHttp, APageLargerThanTheLimitIsRefused) {
    LoopbackServer server;
    CurlHttp http;
    try {
        http.get(server.url("/big"));
        FAIL() << "an oversized page was accepted";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("larger than"), std::string::npos);
    }
}

TEST(CurlHttp, TheCallerKeepsRunningWhileTheServerThinks) {
    LoopbackServer server;
    CurlHttp http;
    int calls = 0;
    HttpResponse page = http.get(server.url("/slow"), [&] { ++calls; });
    EXPECT_EQ(page.body, "late");
    EXPECT_GE(calls, 2);  // about every 50 ms of the 600 ms wait; a busy machine may manage fewer
}

#else

TEST(CurlHttp, WithoutLibcurlEveryFetchFails) {
    CurlHttp http;
    EXPECT_THROW(http.get("http://127.0.0.1/"), Error);
}

#endif
