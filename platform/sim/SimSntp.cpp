#include "platform/sim/SimSntp.h"

#include "platform/common/SocketSntp.h"

namespace nocturo::platform {

namespace {
class Ready : public IUdpExchange {
public:
    explicit Ready(UdpAnswer answer) : answer_(std::move(answer)) {}
    std::optional<UdpAnswer> poll() override { return answer_; }

private:
    UdpAnswer answer_;
};
}  // namespace

SimSntp::SimSntp(Journal& journal, ITimeSettings& time, ISntp* real)
    : journal_(journal), time_(time), ownReal_(real ? nullptr : std::make_unique<SocketSntp>()),
      real_(real ? real : ownReal_.get()) {
    serve(sntp::DefaultServer);
}

SimSntp::~SimSntp() = default;

void SimSntp::serve(const std::string& host, std::int64_t offsetUsec, const sntp::ServerAnswer& how) {
    served_[host] = Served{true, offsetUsec, how};
}

void SimSntp::silent(const std::string& host) { served_[host] = Served{false, 0, {}}; }

std::unique_ptr<IUdpExchange> SimSntp::begin(const std::string& host, std::uint16_t port,
                                             std::vector<std::uint8_t> question, int timeoutMs) {
    const auto it = served_.find(host);
    journal_.append(JsonObject{{"call", "SntpQuery"},
                               {"server", host},
                               {"port", static_cast<std::int64_t>(port)},
                               {"network", it == served_.end()}});
    if (it == served_.end()) return real_->begin(host, port, std::move(question), timeoutMs);
    UdpAnswer answer;
    if (it->second.answers) {
        const sntp::Packet p = sntp::BuildAnswer(question, time_.utcNowUsec() + it->second.offsetUsec, it->second.how);
        answer.answered = true;
        answer.data.assign(p.begin(), p.end());
    }
    return std::make_unique<Ready>(std::move(answer));
}

}  // namespace nocturo::platform
