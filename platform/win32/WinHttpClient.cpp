#include "platform/win32/WinHttpClient.h"

#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "base/Version.h"
#include "platform/Error.h"
#include "platform/win32/WinText.h"

namespace nocturo::platform::win32 {

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& url, const std::string& why) {
    throw Error(err::SystemCallFailed, "HTTP GET " + url + ": " + why);
}

// WinHTTP's own error codes are not in the system's message table.
std::string WinHttpMessage(DWORD code) {
    // wine passes some socket errors on as they are.
    constexpr DWORD kSocketTimedOut = 10060, kSocketRefused = 10061, kSocketReset = 10054;
    switch (code) {
    case ERROR_WINHTTP_TIMEOUT:
    case kSocketTimedOut: return "the server did not answer in time (timed out)";
    case kSocketRefused: return "the connection was refused";
    case kSocketReset: return "the connection was reset";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED: return "the server name could not be resolved";
    case ERROR_WINHTTP_CANNOT_CONNECT: return "the connection was refused or could not be made";
    case ERROR_WINHTTP_CONNECTION_ERROR: return "the connection was reset";
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE: return "the server's answer is not HTTP";
    case ERROR_WINHTTP_INVALID_URL: return "the address is not valid";
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME: return "the address is not a web address";
    case ERROR_WINHTTP_SECURE_FAILURE: return "the secure connection failed (certificate)";
    case ERROR_WINHTTP_OPERATION_CANCELLED: return "the transfer was cancelled";
    default: break;
    }
    if (code >= WINHTTP_ERROR_BASE && code <= WINHTTP_ERROR_LAST) {
        wchar_t* buffer = nullptr;
        const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                                           FORMAT_MESSAGE_IGNORE_INSERTS,
                                       GetModuleHandleW(L"winhttp.dll"), code, 0,
                                       reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
        std::string text;
        if (n > 0 && buffer) text = Narrow(std::wstring_view(buffer, n));
        if (buffer) LocalFree(buffer);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) text.pop_back();
        return text.empty() ? "WinHTTP error " + std::to_string(code) : text;
    }
    return SystemMessage(code);
}

[[noreturn]] void FailCall(const std::string& url, const char* call) {
    const DWORD code = GetLastError();
    Fail(url, WinHttpMessage(code) + " (" + call + ", error " + std::to_string(code) + ")");
}

class Handle {
public:
    explicit Handle(HINTERNET h) : h_(h) {}
    ~Handle() {
        if (h_) WinHttpCloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HINTERNET get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    HINTERNET h_;
};

std::string LowerScheme(const std::string& url) {
    const auto colon = url.find("://");
    if (colon == std::string::npos) return {};
    std::string scheme = url.substr(0, colon);
    for (char& c : scheme)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return scheme;
}

bool IsRedirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::optional<std::wstring> QueryText(HINTERNET request, DWORD what) {
    DWORD bytes = 0;
    WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &bytes,
                        WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) return std::nullopt;
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1);
    if (!WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, buffer.data(), &bytes,
                             WINHTTP_NO_HEADER_INDEX))
        return std::nullopt;
    return std::wstring(buffer.data(), bytes / sizeof(wchar_t));
}

// One whole fetch, redirects included, on the calling thread. Stops at its
// next step once `cancelled` is set.
HttpResponse Fetch(const std::string& url, const HttpLimits& limits, const std::atomic<bool>& cancelled) {
    const auto start = Clock::now();
    auto left = [&]() -> DWORD {
        const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        if (spent >= static_cast<long long>(limits.totalMs))
            Fail(url, "timed out after " + std::to_string(limits.totalMs) + " ms");
        return static_cast<DWORD>(limits.totalMs - spent);
    };
    auto stopIfCancelled = [&] {
        if (cancelled) Fail(url, "the transfer was cancelled");
    };

    Handle session(WinHttpOpen(WinHttpClient::userAgent().c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                               WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) FailCall(url, "WinHttpOpen");
    std::string current = url;
    for (int redirects = 0;; ++redirects) {
        stopIfCancelled();
        const std::string scheme = LowerScheme(current);
        if (scheme != "http" && scheme != "https")
            Fail(url, "only http and https addresses are fetched, not \"" + current + "\"");
        const std::wstring wide = Widen(current);
        URL_COMPONENTS parts{};
        parts.dwStructSize = sizeof parts;
        parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength =
            static_cast<DWORD>(-1);
        if (!WinHttpCrackUrl(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts))
            FailCall(url, "WinHttpCrackUrl");
        const std::wstring host(parts.lpszHostName ? parts.lpszHostName : L"", parts.dwHostNameLength);
        if (host.empty()) Fail(url, "the address names no server");
        std::wstring path(parts.lpszUrlPath ? parts.lpszUrlPath : L"", parts.dwUrlPathLength);
        path.append(parts.lpszExtraInfo ? parts.lpszExtraInfo : L"", parts.dwExtraInfoLength);
        if (path.empty() || path[0] != L'/') path.insert(0, L"/");

        Handle connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
        if (!connection) FailCall(url, "WinHttpConnect");
        Handle request(WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                          WINHTTP_DEFAULT_ACCEPT_TYPES,
                                          parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
        if (!request) FailCall(url, "WinHttpOpenRequest");
        // Redirects are followed here, so that their number and their
        // targets' schemes are ours to limit.
        DWORD feature = WINHTTP_DISABLE_REDIRECTS;
        WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &feature, sizeof feature);
        const DWORD remaining = left();
        const int connectMs = static_cast<int>(std::min(limits.connectMs, remaining));
        if (!WinHttpSetTimeouts(request.get(), connectMs, connectMs, static_cast<int>(remaining),
                                static_cast<int>(remaining)))
            FailCall(url, "WinHttpSetTimeouts");
        // Waiting for the answer's head has a timeout of its own (90 s by
        // default), which WinHttpSetTimeouts leaves alone.
        DWORD headWait = remaining;
        if (!WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headWait, sizeof headWait))
            FailCall(url, "WinHttpSetOption (receive response timeout)");
        if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
            FailCall(url, "WinHttpSendRequest");
        if (!WinHttpReceiveResponse(request.get(), nullptr)) FailCall(url, "WinHttpReceiveResponse");
        stopIfCancelled();

        DWORD status = 0, size = sizeof status;
        if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                 WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
            FailCall(url, "WinHttpQueryHeaders (status)");
        if (IsRedirect(status)) {
            if (auto location = QueryText(request.get(), WINHTTP_QUERY_LOCATION)) {
                if (redirects >= limits.maxRedirects)
                    Fail(url, "more than " + std::to_string(limits.maxRedirects) + " redirects");
                current = ResolveRedirect(current, Narrow(*location));
                continue;
            }
        }
        DWORD announced = 0;
        size = sizeof announced;
        if (WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                                WINHTTP_HEADER_NAME_BY_INDEX, &announced, &size, WINHTTP_NO_HEADER_INDEX) &&
            announced > limits.maxBody)
            Fail(url, "the page is larger than " + std::to_string(limits.maxBody) + " bytes");

        std::string body;
        std::vector<char> buffer;
        for (;;) {
            stopIfCancelled();
            left();
            DWORD available = 0;
            if (!WinHttpQueryDataAvailable(request.get(), &available)) FailCall(url, "WinHttpQueryDataAvailable");
            if (available == 0) break;
            if (body.size() + available > limits.maxBody)
                Fail(url, "the page is larger than " + std::to_string(limits.maxBody) + " bytes");
            buffer.resize(available);
            DWORD read = 0;
            if (!WinHttpReadData(request.get(), buffer.data(), available, &read)) FailCall(url, "WinHttpReadData");
            if (read == 0) break;
            body.append(buffer.data(), read);
        }
        return HttpResponse{static_cast<int>(status), std::move(body)};
    }
}

// What the fetching thread and the transfer share; the thread holds it as
// long as it runs, so the transfer may be dropped at any time.
struct Shared {
    std::mutex mutex;
    bool done = false;
    std::optional<HttpResponse> response;
    std::exception_ptr failure;
    std::atomic<bool> cancelled{false};
};

class WinHttpTransfer : public IHttpTransfer {
public:
    WinHttpTransfer(std::string url, HttpLimits limits) : url_(std::move(url)), shared_(std::make_shared<Shared>()) {
        std::thread([shared = shared_, url = url_, limits] {
            std::optional<HttpResponse> response;
            std::exception_ptr failure;
            try {
                response = Fetch(url, limits, shared->cancelled);
            } catch (...) {
                failure = std::current_exception();
            }
            std::lock_guard<std::mutex> lock(shared->mutex);
            shared->response = std::move(response);
            shared->failure = failure;
            shared->done = true;
        }).detach();
    }
    ~WinHttpTransfer() override { shared_->cancelled = true; }

    std::optional<HttpResponse> poll() override {
        if (ended_) Fail(url_, "the transfer has ended already");
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (!shared_->done) return std::nullopt;
        ended_ = true;
        if (shared_->failure) std::rethrow_exception(shared_->failure);
        return std::move(shared_->response);
    }

private:
    std::string url_;
    std::shared_ptr<Shared> shared_;
    bool ended_ = false;
};

// "/a/b/../c/./d" as "/a/c/d": servers need not undo what a relative
// Location means, the client does. Never above the root.
std::string WithoutDotSegments(const std::string& path) {
    std::vector<std::string> kept;
    bool folder = false;  // the last segment was "." or "..": the result names a folder
    std::size_t at = path.empty() || path[0] != '/' ? 0 : 1;
    for (;;) {
        const auto slash = path.find('/', at);
        const std::string segment = path.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
        folder = segment == "." || segment == "..";
        if (segment == "..") {
            if (!kept.empty()) kept.pop_back();
        } else if (segment != ".") {
            kept.push_back(segment);
        }
        if (slash == std::string::npos) break;
        at = slash + 1;
    }
    std::string out;
    for (std::size_t i = 0; i < kept.size(); ++i) out += (i ? "/" : "") + kept[i];
    out.insert(0, "/");
    if (folder && out.back() != '/') out += "/";
    return out;
}

}  // namespace

std::string ResolveRedirect(const std::string& from, const std::string& location) {
    if (!LowerScheme(location).empty() &&
        location.find_first_of("/?#") > location.find("://"))  // "scheme://..." before any path
        return location;
    const auto schemeEnd = from.find("://");
    if (schemeEnd == std::string::npos) return location;
    if (location.rfind("//", 0) == 0) return from.substr(0, schemeEnd + 1) + location;
    const auto pathStart = from.find_first_of("/?#", schemeEnd + 3);
    const std::string origin = from.substr(0, pathStart);
    if (location.empty()) return from;
    if (location[0] == '/') return origin + location;
    std::string path = pathStart == std::string::npos ? "/" : from.substr(pathStart);
    path = path.substr(0, path.find_first_of("?#"));
    if (path.empty() || path[0] != '/') path.insert(0, "/");
    if (location[0] == '?') return origin + path + location;
    const auto tail = location.find_first_of("?#");
    const std::string rest = tail == std::string::npos ? "" : location.substr(tail);
    return origin + WithoutDotSegments(path.substr(0, path.rfind('/') + 1) + location.substr(0, tail)) + rest;
}

WinHttpClient::WinHttpClient(HttpLimits limits) : limits_(limits) {}

std::wstring WinHttpClient::userAgent() { return Widen(std::string("Nocturo/") + version::Text); }

std::unique_ptr<IHttpTransfer> WinHttpClient::begin(const std::string& url) {
    return std::make_unique<WinHttpTransfer>(url, limits_);
}

HttpResponse WinHttpClient::get(const std::string& url, const WhileWaiting& whileWaiting) {
    WinHttpTransfer transfer(url, limits_);
    for (;;) {
        if (auto page = transfer.poll()) return std::move(*page);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (whileWaiting) whileWaiting();
    }
}

}  // namespace nocturo::platform::win32
