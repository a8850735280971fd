#pragma once
// Web pages over HTTP and HTTPS with libcurl. Redirects are followed (up to
// five), a connection gets 10 s and the whole transfer 30 s; a page larger
// than 4 MiB is refused. While the transfer waits, the caller's callback
// runs about every 50 ms.
#include <string>

#include "platform/IHttp.h"

namespace nocturo::platform {

class CurlHttp : public IHttp {
public:
    CurlHttp();
    HttpResponse get(const std::string& url, const WhileWaiting& whileWaiting = {}) override;
    std::unique_ptr<IHttpTransfer> begin(const std::string& url) override;

    static constexpr std::size_t MaxBody = 4u << 20;
};

}  // namespace nocturo::platform
