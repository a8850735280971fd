#pragma once
// The network time query over the system's sockets (BSD sockets, Winsock on
// Windows). Each exchange runs on a worker thread of its own: the host name
// is looked up there, the question sent and the answer awaited, so the
// caller's loop never blocks.
#include "platform/ISntp.h"

namespace nocturo::platform {

class SocketSntp : public ISntp {
public:
    std::unique_ptr<IUdpExchange> begin(const std::string& host, std::uint16_t port,
                                        std::vector<std::uint8_t> question, int timeoutMs) override;
};

}  // namespace nocturo::platform
