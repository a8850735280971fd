#pragma once
// The simulated machine's network time. Every query is journalled. The
// default time server (and any server a test sets up) is answered here,
// from the simulated clock give or take an offset; any other server is
// asked over the real network, so a server on 127.0.0.1 can stand in.
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "base/Sntp.h"
#include "platform/ISntp.h"
#include "platform/ITimeSettings.h"
#include "platform/sim/Journal.h"

namespace nocturo::platform {

class SimSntp : public ISntp {
public:
    // real: the network for the servers not answered here (null: the
    // system's sockets).
    SimSntp(Journal& journal, ITimeSettings& time, ISntp* real = nullptr);
    ~SimSntp() override;

    std::unique_ptr<IUdpExchange> begin(const std::string& host, std::uint16_t port,
                                        std::vector<std::uint8_t> question, int timeoutMs) override;

    // host answers with the simulated clock's time plus offsetUsec (its
    // clock is that much ahead of this one), as how says.
    void serve(const std::string& host, std::int64_t offsetUsec = 0, const sntp::ServerAnswer& how = {});
    // host never answers.
    void silent(const std::string& host);
    // host is asked over the real network again.
    void forget(const std::string& host) { served_.erase(host); }

private:
    struct Served {
        bool answers = true;
        std::int64_t offsetUsec = 0;
        sntp::ServerAnswer how;
    };
    Journal& journal_;
    ITimeSettings& time_;
    std::unique_ptr<ISntp> ownReal_;
    ISntp* real_;
    std::map<std::string, Served> served_;
};

}  // namespace nocturo::platform
