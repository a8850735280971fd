#pragma once
// The simple network time protocol (SNTP, RFC 4330), client side: the
// request, reading and checking the server's answer, and the clock offset
// it gives. Also the server's side of one exchange, for the simulated
// machine and for tests.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nocturo::sntp {

// The server asked when the "TimeServer" setting is empty.
inline constexpr const char* DefaultServer = "pool.ntp.org";
inline constexpr std::uint16_t Port = 123;
inline constexpr std::size_t PacketSize = 48;
using Packet = std::array<std::uint8_t, PacketSize>;

// A 64-bit NTP timestamp (seconds since 1900 in the high 32 bits, the
// fraction in the low 32) of an instant in microseconds since 1970. Instants
// from 2036-02-07 06:28:16 UTC on wrap into the next era (seconds start at 0
// again).
std::uint64_t ToNtp(std::int64_t unixUsec);
// The instant of an NTP timestamp, with the era read as RFC 4330 says: a
// set top bit of the seconds is 1968 to 2036, a clear one 2036 to 2104.
std::int64_t FromNtp(std::uint64_t ntp);

// A client request (version 4, mode 3) carrying transmit as its transmit
// timestamp, which the server echoes as the originate timestamp.
Packet BuildRequest(std::uint64_t transmit);

// The fields of an answer that matter to a client.
struct Answer {
    int leap = 0;     // 3: the server's clock is not synchronised
    int version = 0;
    int mode = 0;     // 4 server, 5 broadcast
    int stratum = 0;  // 0: kiss-of-death, the reference id is its code
    std::string kissCode;
    std::uint64_t originate = 0, receive = 0, transmit = 0;
};
std::optional<Answer> ReadAnswer(const std::vector<std::uint8_t>& data);

// What one exchange measured: the offset to add to this clock to get the
// server's time, and the round trip, both in microseconds.
struct Measurement {
    std::int64_t offsetUsec = 0;
    std::int64_t delayUsec = 0;
};
// Checks an answer as RFC 4330 asks (length, mode 4 or 5, stratum 1 to 15,
// the kiss-of-death of stratum 0, leap indicator 3, the originate timestamp
// echoing sentTransmit, a transmit timestamp at all) and measures the offset
// ((T2-T1)+(T3-T4))/2 from t1Usec, when the request left, and t4Usec, when
// the answer came. Nothing when the answer is refused; problem then says why
// in words for the user, naming server.
std::optional<Measurement> CheckAnswer(const std::vector<std::uint8_t>& data, std::uint64_t sentTransmit,
                                       std::int64_t t1Usec, std::int64_t t4Usec, const std::string& server,
                                       std::string& problem);

// A server's answer to request at the instant serverUsec (received and sent
// at once): mode 4, version 4, stratum 2 unless a kiss code is given.
struct ServerAnswer {
    int leap = 0;
    int stratum = 2;
    int mode = 4;
    std::string kissCode;  // with stratum 0
    bool echoOriginate = true;
};
Packet BuildAnswer(const std::vector<std::uint8_t>& request, std::int64_t serverUsec,
                   const ServerAnswer& how = {});

// "host", "host:port", "[v6 address]" or "[v6 address]:port"; the port is
// 123 unless given. Nothing when the text is no server name.
struct ServerAddress {
    std::string host;
    std::uint16_t port = Port;
};
std::optional<ServerAddress> ParseServer(const std::string& text);

// "0.012 s" for an amount of microseconds (its size only).
std::string SecondsText(std::int64_t usec);

}  // namespace nocturo::sntp
