#pragma once
// One question and answer over UDP, as a network time query needs it: the
// datagram goes to a host and port, and the first datagram that comes back
// from there within a time-out is the answer. The exchange goes on while the
// caller's loop runs.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace nocturo::platform {

struct UdpAnswer {
    bool answered = false;  // false: nothing came within the time-out
    std::vector<std::uint8_t> data;
    // Microseconds from begin() to the moment the question left, and to the
    // moment the answer came (on a steady clock).
    std::int64_t sentAfterUsec = 0;
    std::int64_t receivedAfterUsec = 0;
};

// One exchange under way. poll() never waits: nullopt while it runs, then
// the answer (or its absence). Throws platform::Error when the question
// could not be sent: no such host, no network. Dropping the object ends the
// exchange.
class IUdpExchange {
public:
    virtual ~IUdpExchange() = default;
    virtual std::optional<UdpAnswer> poll() = 0;
};

class ISntp {
public:
    virtual ~ISntp() = default;
    // Sends question to host:port and waits up to timeoutMs for the answer.
    virtual std::unique_ptr<IUdpExchange> begin(const std::string& host, std::uint16_t port,
                                                std::vector<std::uint8_t> question, int timeoutMs) = 0;
};

}  // namespace nocturo::platform
