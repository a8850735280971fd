#include "platform/posix/CurlHttp.h"

#include "base/Version.h"
#include "platform/Error.h"

#ifdef NOCTURO_HAVE_CURL
#include <curl/curl.h>

#include <memory>
#include <mutex>
#endif

namespace nocturo::platform {

#ifdef NOCTURO_HAVE_CURL

namespace {

struct Received {
    std::string body;
    bool tooLarge = false;
};

std::size_t receive(char* data, std::size_t size, std::size_t count, void* user) {
    auto* into = static_cast<Received*>(user);
    const std::size_t bytes = size * count;
    if (into->body.size() + bytes > CurlHttp::MaxBody) {
        into->tooLarge = true;
        return 0;  // ends the transfer
    }
    into->body.append(data, bytes);
    return bytes;
}

[[noreturn]] void fail(const std::string& url, const std::string& why) {
    throw Error(err::SystemCallFailed, "HTTP GET " + url + ": " + why);
}

struct EasyDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct MultiDeleter {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};

}  // namespace

CurlHttp::CurlHttp() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// One transfer on a multi handle of its own: perform() never waits.
class CurlTransfer : public IHttpTransfer {
public:
    explicit CurlTransfer(std::string url) : url_(std::move(url)), easy_(curl_easy_init()), multi_(curl_multi_init()) {
        if (!easy_ || !multi_) fail(url_, "libcurl could not start a transfer");
        CURL* e = easy_.get();
        curl_easy_setopt(e, CURLOPT_URL, url_.c_str());
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(e, CURLOPT_MAXREDIRS, 5L);
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, 10L);
        curl_easy_setopt(e, CURLOPT_TIMEOUT, 30L);
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_USERAGENT, agent_.c_str());
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, receive);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, &received_);
        curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorText_);
        if (curl_multi_add_handle(multi_.get(), e) != CURLM_OK) fail(url_, "libcurl could not start a transfer");
        added_ = true;
    }
    ~CurlTransfer() override {
        if (added_) curl_multi_remove_handle(multi_.get(), easy_.get());
    }

    std::optional<HttpResponse> poll() override {
        if (done_) fail(url_, "the transfer has ended already");
        int running = 0;
        CURLcode result = CURLE_OK;
        if (curl_multi_perform(multi_.get(), &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
        } else if (running != 0) {
            return std::nullopt;
        } else {
            int left = 0;
            while (CURLMsg* msg = curl_multi_info_read(multi_.get(), &left))
                if (msg->msg == CURLMSG_DONE) result = msg->data.result;
        }
        done_ = true;
        if (received_.tooLarge) fail(url_, "the page is larger than " + std::to_string(CurlHttp::MaxBody) + " bytes");
        if (result != CURLE_OK) fail(url_, errorText_[0] ? errorText_ : curl_easy_strerror(result));
        long status = 0;
        curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &status);
        return HttpResponse{static_cast<int>(status), std::move(received_.body)};
    }
    // Waits up to ms for the network (blocking callers only).
    void wait(int ms) { curl_multi_poll(multi_.get(), nullptr, 0, ms, nullptr); }

private:
    std::string url_;
    std::string agent_ = std::string("Nocturo/") + version::Text;
    std::unique_ptr<CURL, EasyDeleter> easy_;
    std::unique_ptr<CURLM, MultiDeleter> multi_;
    Received received_;
    char errorText_[CURL_ERROR_SIZE] = {};
    bool added_ = false;
    bool done_ = false;
};

std::unique_ptr<IHttpTransfer> CurlHttp::begin(const std::string& url) { return std::make_unique<CurlTransfer>(url); }

HttpResponse CurlHttp::get(const std::string& url, const WhileWaiting& whileWaiting) {
    CurlTransfer transfer(url);
    for (;;) {
        if (auto page = transfer.poll()) return std::move(*page);
        transfer.wait(50);
        if (whileWaiting) whileWaiting();
    }
}

#else

CurlHttp::CurlHttp() = default;

HttpResponse CurlHttp::get(const std::string& url, const WhileWaiting&) {
    throw Error(err::SystemCallFailed, "HTTP GET " + url + ": this build has no libcurl");
}

std::unique_ptr<IHttpTransfer> CurlHttp::begin(const std::string& url) { return IHttp::begin(url); }

#endif

}  // namespace nocturo::platform
