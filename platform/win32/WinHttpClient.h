#pragma once
// Web pages over HTTP and HTTPS with WinHTTP, with the same rules as the
// Linux backend: redirects are followed (up to five, to web addresses only),
// a connection gets 10 s and the whole transfer 30 s, a page larger than
// 4 MiB is refused. The transfer runs on a thread of its own, so the
// caller's loop goes on; a blocking get calls the caller back about every
// 50 ms while it waits.
#include <windows.h>

#include <cstddef>
#include <string>

#include "platform/IHttp.h"

namespace nocturo::platform::win32 {

struct HttpLimits {
    DWORD connectMs = 10000;  // name lookup and connecting
    DWORD totalMs = 30000;    // the whole transfer, redirects included
    std::size_t maxBody = 4u << 20;
    int maxRedirects = 5;
};

// Where a redirect's Location leads from the page at `from` (an absolute
// http(s) address): absolute, scheme-relative ("//host/x"), host-relative
// ("/x") or relative to the page's folder ("x", "../x" as written).
std::string ResolveRedirect(const std::string& from, const std::string& location);

class WinHttpClient : public IHttp {
public:
    explicit WinHttpClient(HttpLimits limits = {});

    HttpResponse get(const std::string& url, const WhileWaiting& whileWaiting = {}) override;
    // Starts the fetch on a thread of its own. Dropping the transfer ends
    // it: the thread stops at its next step and its result is discarded
    // (a server that says nothing holds it no longer than the timeouts).
    std::unique_ptr<IHttpTransfer> begin(const std::string& url) override;

    static constexpr std::size_t MaxBody = 4u << 20;
    // The User-Agent sent: "Nocturo/<version>", as on Linux.
    static std::wstring userAgent();

private:
    HttpLimits limits_;
};

}  // namespace nocturo::platform::win32
