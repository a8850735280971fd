#pragma once
// Fetching a web page: one blocking GET.
#include <functional>
#include <string>

namespace nocturo::platform {

struct HttpResponse {
    int status = 0;    // the server's status code (200 for a page found)
    std::string body;  // the page as sent
};

class IHttp {
public:
    // Called again and again while a transfer waits for the network, so the
    // caller can keep its windows alive.
    using WhileWaiting = std::function<void()>;

    virtual ~IHttp() = default;
    // The page at url, whatever status the server answered with. Throws
    // platform::Error when no answer came: no network, no such host, refused,
    // timed out (the description says which).
    virtual HttpResponse get(const std::string& url, const WhileWaiting& whileWaiting = {}) = 0;
};

}  // namespace nocturo::platform
