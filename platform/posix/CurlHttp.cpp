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

HttpResponse CurlHttp::get(const std::string& url, const WhileWaiting& whileWaiting) {
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!easy || !multi) fail(url, "libcurl could not start a transfer");

    Received received;
    char errorText[CURL_ERROR_SIZE] = {};
    const std::string agent = std::string("Nocturo/") + version::Text;
    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, 10L);
    curl_easy_setopt(e, CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, receive);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &received);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorText);

    if (curl_multi_add_handle(multi.get(), e) != CURLM_OK) fail(url, "libcurl could not start a transfer");
    CURLcode result = CURLE_OK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (running == 0) {
            int left = 0;
            while (CURLMsg* msg = curl_multi_info_read(multi.get(), &left))
                if (msg->msg == CURLMSG_DONE) result = msg->data.result;
            break;
        }
        curl_multi_poll(multi.get(), nullptr, 0, 50, nullptr);
        if (whileWaiting) whileWaiting();
    }
    curl_multi_remove_handle(multi.get(), e);

    if (received.tooLarge) fail(url, "the page is larger than " + std::to_string(MaxBody) + " bytes");
    if (result != CURLE_OK) fail(url, errorText[0] ? errorText : curl_easy_strerror(result));
    long status = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
    return HttpResponse{static_cast<int>(status), std::move(received.body)};
}

#else

CurlHttp::CurlHttp() = default;

HttpResponse CurlHttp::get(const std::string& url, const WhileWaiting&) {
    throw Error(err::SystemCallFailed, "HTTP GET " + url + ": this build has no libcurl");
}

#endif

}  // namespace nocturo::platform
