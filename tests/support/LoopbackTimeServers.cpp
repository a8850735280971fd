#include "support/LoopbackTimeServers.h"

#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace nocturo::test {

namespace {

#ifdef _WIN32
using Sock = SOCKET;
void closeSock(std::intptr_t s) { closesocket(static_cast<SOCKET>(s)); }
void shutSock(std::intptr_t s) { shutdown(static_cast<SOCKET>(s), SD_BOTH); }
bool readable(std::intptr_t s, int ms) {
    WSAPOLLFD p{};
    p.fd = static_cast<SOCKET>(s);
    p.events = POLLRDNORM;
    return WSAPoll(&p, 1, ms) > 0;
}
struct Wsa {
    Wsa() {
        WSADATA d;
        WSAStartup(MAKEWORD(2, 2), &d);
    }
};
#else
using Sock = int;
void closeSock(std::intptr_t s) { ::close(static_cast<int>(s)); }
void shutSock(std::intptr_t s) { ::shutdown(static_cast<int>(s), SHUT_RDWR); }
bool readable(std::intptr_t s, int ms) {
    pollfd p{};
    p.fd = static_cast<int>(s);
    p.events = POLLIN;
    return ::poll(&p, 1, ms) > 0;
}
struct Wsa {};
#endif

// A socket of this kind bound to 127.0.0.1 on a free port.
std::intptr_t bindLoopback(int type, std::uint16_t& port) {
    static Wsa wsa;
    Sock s = ::socket(AF_INET, type, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return -1;
    socklen_t len = sizeof addr;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    return static_cast<std::intptr_t>(s);
}

}  // namespace

SntpTestServer::SntpTestServer() {
    fd_ = bindLoopback(SOCK_DGRAM, port_);
    thread_ = std::thread([this] { serve(); });
}

SntpTestServer::~SntpTestServer() {
    stop_ = true;
    thread_.join();
    closeSock(fd_);
}

void SntpTestServer::setTime(std::int64_t unixUsec) {
    std::lock_guard<std::mutex> lock(m_);
    time_ = unixUsec;
}

void SntpTestServer::setAnswer(const sntp::ServerAnswer& how) {
    std::lock_guard<std::mutex> lock(m_);
    how_ = how;
}

void SntpTestServer::serve() {
    while (!stop_) {
        if (!readable(fd_, 50)) continue;
        char buf[512];
        sockaddr_storage from{};
        socklen_t fromLen = sizeof from;
        const auto n = ::recvfrom(static_cast<Sock>(fd_), buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from),
                                  &fromLen);
        if (n <= 0) continue;
        ++questions_;
        if (silent_) continue;
        sntp::Packet answer;
        {
            std::lock_guard<std::mutex> lock(m_);
            answer = sntp::BuildAnswer(std::vector<std::uint8_t>(buf, buf + n), time_, how_);
        }
        ::sendto(static_cast<Sock>(fd_), reinterpret_cast<const char*>(answer.data()), static_cast<int>(answer.size()),
                 0, reinterpret_cast<sockaddr*>(&from), fromLen);
    }
}

WebTestServer::WebTestServer() {
    fd_ = bindLoopback(SOCK_STREAM, port_);
    ::listen(static_cast<Sock>(fd_), 8);
    thread_ = std::thread([this] { run(); });
}

WebTestServer::~WebTestServer() {
    stop_ = true;
    shutSock(fd_);
    thread_.join();
    closeSock(fd_);
}

void WebTestServer::serve(const std::string& path, int status, const std::string& body,
                          const std::string& extraHeaders) {
    std::lock_guard<std::mutex> lock(m_);
    pages_[path] = Page{status, body, extraHeaders};
}

void WebTestServer::run() {
    while (!stop_) {
        if (!readable(fd_, 50)) continue;
        const Sock client = ::accept(static_cast<Sock>(fd_), nullptr, nullptr);
        if (stop_) {
            closeSock(static_cast<std::intptr_t>(client));
            return;
        }
        std::string request;
        char buf[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const auto n = ::recv(client, buf, sizeof buf, 0);
            if (n <= 0) break;
            request.append(buf, static_cast<std::size_t>(n));
        }
        ++requests_;
        const std::size_t space = request.find(' ');
        const std::string path =
            space == std::string::npos ? "" : request.substr(space + 1, request.find(' ', space + 1) - space - 1);
        Page page{404, "no such page", ""};
        {
            std::lock_guard<std::mutex> lock(m_);
            if (auto it = pages_.find(path); it != pages_.end()) page = it->second;
        }
        const std::string text = "HTTP/1.1 " + std::to_string(page.status) + " X\r\nContent-Length: " +
                                 std::to_string(page.body.size()) + "\r\nConnection: close\r\n" + page.extra +
                                 "\r\n" + page.body;
        std::size_t sent = 0;
        while (sent < text.size()) {
            const auto n = ::send(client, text.data() + sent, static_cast<int>(text.size() - sent), 0);
            if (n <= 0) break;
            sent += static_cast<std::size_t>(n);
        }
        closeSock(static_cast<std::intptr_t>(client));
    }
}

}  // namespace nocturo::test
