#include "base/Sntp.h"

#include <charconv>
#include <cstdio>

namespace nocturo::sntp {

namespace {
constexpr std::int64_t kUnixFrom1900 = 2208988800LL;  // seconds from 1900-01-01 to 1970-01-01
constexpr std::int64_t kEra = 1LL << 32;
constexpr std::int64_t kMillion = 1000000;

std::uint64_t readStamp(const std::vector<std::uint8_t>& d, std::size_t at) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < 8; ++i) v = (v << 8) | d[at + i];
    return v;
}
void writeStamp(Packet& p, std::size_t at, std::uint64_t v) {
    for (std::size_t i = 0; i < 8; ++i) p[at + i] = static_cast<std::uint8_t>(v >> (56 - 8 * i));
}
std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}
}  // namespace

std::uint64_t ToNtp(std::int64_t unixUsec) {
    const std::int64_t seconds = floorDiv(unixUsec, kMillion);
    const std::int64_t micros = unixUsec - seconds * kMillion;
    const std::uint64_t ntpSeconds = static_cast<std::uint64_t>(seconds + kUnixFrom1900) & 0xFFFFFFFFu;
    const std::uint64_t fraction = (static_cast<std::uint64_t>(micros) << 32) / kMillion;
    return (ntpSeconds << 32) | fraction;
}

std::int64_t FromNtp(std::uint64_t ntp) {
    const std::int64_t seconds = static_cast<std::int64_t>(ntp >> 32);
    const std::uint64_t fraction = ntp & 0xFFFFFFFFu;
    const std::int64_t era = (seconds & 0x80000000LL) ? 0 : kEra;
    const std::int64_t micros = static_cast<std::int64_t>((fraction * kMillion + (1ULL << 31)) >> 32);
    return (seconds + era - kUnixFrom1900) * kMillion + micros;
}

Packet BuildRequest(std::uint64_t transmit) {
    Packet p{};
    p[0] = (0 << 6) | (4 << 3) | 3;  // no leap warning, version 4, client
    writeStamp(p, 40, transmit);
    return p;
}

std::optional<Answer> ReadAnswer(const std::vector<std::uint8_t>& d) {
    if (d.size() < PacketSize) return std::nullopt;
    Answer a;
    a.leap = d[0] >> 6;
    a.version = (d[0] >> 3) & 7;
    a.mode = d[0] & 7;
    a.stratum = d[1];
    if (a.stratum == 0)
        for (std::size_t i = 12; i < 16; ++i)
            if (d[i] > ' ' && d[i] < 127) a.kissCode += static_cast<char>(d[i]);
    a.originate = readStamp(d, 24);
    a.receive = readStamp(d, 32);
    a.transmit = readStamp(d, 40);
    return a;
}

std::optional<Measurement> CheckAnswer(const std::vector<std::uint8_t>& data, std::uint64_t sentTransmit,
                                       std::int64_t t1Usec, std::int64_t t4Usec, const std::string& server,
                                       std::string& problem) {
    const std::optional<Answer> a = ReadAnswer(data);
    if (!a) {
        problem = "the answer of " + server + " is too short (" + std::to_string(data.size()) + " bytes)";
        return std::nullopt;
    }
    if (a->mode != 4 && a->mode != 5) {
        problem = "the answer of " + server + " is no server's answer (mode " + std::to_string(a->mode) + ")";
        return std::nullopt;
    }
    if (a->originate != sentTransmit) {
        problem = "the answer of " + server + " does not echo the time of the question (originate time)";
        return std::nullopt;
    }
    if (a->stratum == 0) {
        problem = server + " refused to answer (kiss-of-death \"" + a->kissCode + "\")";
        return std::nullopt;
    }
    if (a->leap == 3 || a->stratum > 15) {
        problem = server + " is not synchronised itself";
        return std::nullopt;
    }
    if (a->transmit == 0) {
        problem = "the answer of " + server + " carries no time";
        return std::nullopt;
    }
    const std::int64_t t2 = FromNtp(a->receive), t3 = FromNtp(a->transmit);
    Measurement m;
    m.offsetUsec = ((t2 - t1Usec) + (t3 - t4Usec)) / 2;
    m.delayUsec = (t4Usec - t1Usec) - (t3 - t2);
    return m;
}

Packet BuildAnswer(const std::vector<std::uint8_t>& request, std::int64_t serverUsec, const ServerAnswer& how) {
    Packet p{};
    p[0] = static_cast<std::uint8_t>(((how.leap & 3) << 6) | (4 << 3) | (how.mode & 7));
    p[1] = static_cast<std::uint8_t>(how.stratum);
    p[2] = 6;                                 // poll: 64 s
    p[3] = static_cast<std::uint8_t>(-20);    // precision: about a microsecond
    if (how.stratum == 0) {
        for (std::size_t i = 0; i < 4 && i < how.kissCode.size(); ++i) p[12 + i] = static_cast<std::uint8_t>(how.kissCode[i]);
    } else {
        p[12] = 127, p[13] = 0, p[14] = 0, p[15] = 1;  // reference id
    }
    const std::uint64_t now = ToNtp(serverUsec);
    writeStamp(p, 16, now);  // reference time
    const std::uint64_t originate = request.size() >= PacketSize ? readStamp(request, 40) : 0;
    writeStamp(p, 24, how.echoOriginate ? originate : originate ^ 0x00000001'00000000ULL);
    writeStamp(p, 32, now);
    writeStamp(p, 40, now);
    return p;
}

std::optional<ServerAddress> ParseServer(const std::string& text) {
    ServerAddress a;
    std::string rest;
    if (!text.empty() && text[0] == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos || close == 1) return std::nullopt;
        a.host = text.substr(1, close - 1);
        rest = text.substr(close + 1);
        if (!rest.empty() && rest[0] != ':') return std::nullopt;
    } else {
        const std::size_t colon = text.find(':');
        // More than one colon: a bare IPv6 address, without a port.
        if (colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
            a.host = text.substr(0, colon);
            rest = text.substr(colon);
        } else {
            a.host = text;
        }
    }
    if (a.host.empty() || a.host.find_first_of(" \t/") != std::string::npos) return std::nullopt;
    if (!rest.empty()) {
        const std::string port = rest.substr(1);
        unsigned value = 0;
        auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (port.empty() || ec != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535)
            return std::nullopt;
        a.port = static_cast<std::uint16_t>(value);
    }
    return a;
}

std::string SecondsText(std::int64_t usec) {
    const std::uint64_t size = usec < 0 ? static_cast<std::uint64_t>(-(usec + 1)) + 1 : static_cast<std::uint64_t>(usec);
    const std::uint64_t ms = (size + 500) / 1000;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%llu.%03llu s", static_cast<unsigned long long>(ms / 1000),
                  static_cast<unsigned long long>(ms % 1000));
    return buf;
}

}  // namespace nocturo::sntp
