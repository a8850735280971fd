#pragma once
// Fetching a web page: a GET that goes on while the caller's loop runs, or
// one that blocks.
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace nocturo::platform {

struct HttpResponse {
    int status = 0;    // the server's status code (200 for a page found)
    std::string body;  // the page as sent
};

// One GET under way. poll() goes on with it without waiting and gives the
// response once it has ended (nullopt while it runs); it throws
// platform::Error as get does. Dropping the object ends the transfer.
class IHttpTransfer {
public:
    virtual ~IHttpTransfer() = default;
    virtual std::optional<HttpResponse> poll() = 0;
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
    // Starts a GET that the caller polls from its loop. By default the page
    // is fetched, blocking, at the first poll.
    virtual std::unique_ptr<IHttpTransfer> begin(const std::string& url) {
        class Blocking : public IHttpTransfer {
        public:
            Blocking(IHttp& http, std::string url) : http_(http), url_(std::move(url)) {}
            std::optional<HttpResponse> poll() override { return http_.get(url_); }

        private:
            IHttp& http_;
            std::string url_;
        };
        return std::make_unique<Blocking>(*this, url);
    }
};

}  // namespace nocturo::platform
