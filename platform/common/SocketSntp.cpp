#include "platform/common/SocketSntp.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/Error.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#endif

namespace nocturo::platform {

namespace {

#ifdef _WIN32
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
void closeSocket(Socket s) { closesocket(s); }
int waitReadable(Socket s, int ms) {
    WSAPOLLFD p{};
    p.fd = s;
    p.events = POLLRDNORM;
    return WSAPoll(&p, 1, ms);
}
std::string lastSocketError() { return "Winsock error " + std::to_string(WSAGetLastError()); }
struct Startup {
    bool ok = false;
    Startup() {
        WSADATA data;
        ok = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~Startup() {
        if (ok) WSACleanup();
    }
};
#else
using Socket = int;
constexpr Socket kNoSocket = -1;
void closeSocket(Socket s) { ::close(s); }
int waitReadable(Socket s, int ms) {
    pollfd p{};
    p.fd = s;
    p.events = POLLIN;
    int r;
    do r = ::poll(&p, 1, ms);
    while (r < 0 && errno == EINTR);
    return r;
}
std::string lastSocketError() { return std::strerror(errno); }
struct Startup {
    bool ok = true;
};
#endif

// What the worker found, shared with the exchange (which may go first).
struct Shared {
    std::mutex m;
    bool done = false;
    UdpAnswer answer;
    std::string failure;
    std::atomic<bool> dropped{false};
};

void exchange(const std::shared_ptr<Shared>& shared, std::string host, std::uint16_t port,
              std::vector<std::uint8_t> question, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto since = [&] {
        return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    };
    UdpAnswer answer;
    std::string failure;
    Socket s = kNoSocket;
    const std::string where = host + " port " + std::to_string(port);
    [&] {
        Startup startup;
        if (!startup.ok) {
            failure = "the network could not be used (" + lastSocketError() + ")";
            return;
        }
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo* found = nullptr;
        const int r = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
        if (r != 0 || !found) {
#ifdef _WIN32
            failure = "no such host: " + host + " (" + std::to_string(r) + ")";
#else
            failure = "no such host: " + host + " (" + gai_strerror(r) + ")";
#endif
            return;
        }
        std::string lastError;
        for (addrinfo* a = found; a; a = a->ai_next) {
            s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
            if (s == kNoSocket) {
                lastError = lastSocketError();
                continue;
            }
            // Connected: only datagrams from the server itself come in.
            if (::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0) break;
            lastError = lastSocketError();
            closeSocket(s);
            s = kNoSocket;
        }
        ::freeaddrinfo(found);
        if (s == kNoSocket) {
            failure = "cannot reach " + where + " (" + lastError + ")";
            return;
        }
        answer.sentAfterUsec = since();
        if (::send(s, reinterpret_cast<const char*>(question.data()), static_cast<int>(question.size()), 0) < 0) {
            failure = "cannot send to " + where + " (" + lastSocketError() + ")";
            return;
        }
        const std::int64_t deadlineUsec = std::int64_t{timeoutMs} * 1000;
        char buf[512];
        for (;;) {
            if (shared->dropped) return;
            const std::int64_t left = deadlineUsec - since();
            if (left <= 0) return;  // no answer in time
            const int r = waitReadable(s, static_cast<int>(std::min<std::int64_t>(left / 1000 + 1, 100)));
            if (r < 0) {
                failure = "waiting for " + where + " failed (" + lastSocketError() + ")";
                return;
            }
            if (r == 0) continue;
            const auto n = ::recv(s, buf, sizeof buf, 0);
            if (n < 0) {
                // A refusal (ICMP port unreachable) comes back as an error here.
                failure = "no time service at " + where + " (" + lastSocketError() + ")";
                return;
            }
            answer.receivedAfterUsec = since();
            answer.answered = true;
            answer.data.assign(buf, buf + n);
            return;
        }
    }();
    if (s != kNoSocket) closeSocket(s);
    std::lock_guard<std::mutex> lock(shared->m);
    shared->answer = std::move(answer);
    shared->failure = std::move(failure);
    shared->done = true;
}

class SocketExchange : public IUdpExchange {
public:
    SocketExchange(const std::string& host, std::uint16_t port, std::vector<std::uint8_t> question, int timeoutMs)
        : shared_(std::make_shared<Shared>()) {
        std::thread(exchange, shared_, host, port, std::move(question), timeoutMs).detach();
    }
    ~SocketExchange() override { shared_->dropped = true; }
    std::optional<UdpAnswer> poll() override {
        std::lock_guard<std::mutex> lock(shared_->m);
        if (!shared_->done) return std::nullopt;
        if (!shared_->failure.empty()) throw Error(err::SystemCallFailed, shared_->failure);
        return shared_->answer;
    }

private:
    std::shared_ptr<Shared> shared_;
};

}  // namespace

std::unique_ptr<IUdpExchange> SocketSntp::begin(const std::string& host, std::uint16_t port,
                                                std::vector<std::uint8_t> question, int timeoutMs) {
    return std::make_unique<SocketExchange>(host, port, std::move(question), timeoutMs);
}

}  // namespace nocturo::platform
