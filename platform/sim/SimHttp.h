#pragma once
// The simulated network. Every fetch is journalled; what comes back is set
// per address by a test (a page with its status, or no answer at all).
// Addresses never set have no answer, as on a machine without network.
#include <map>
#include <optional>
#include <string>

#include "platform/IHttp.h"
#include "platform/sim/Journal.h"

namespace nocturo::platform {

class SimHttp : public IHttp {
public:
    explicit SimHttp(Journal& journal) : journal_(journal) {}

    HttpResponse get(const std::string& url, const WhileWaiting& whileWaiting = {}) override;

    // The page the address answers with.
    void serve(const std::string& url, std::string body, int status = 200) {
        pages_[url] = HttpResponse{status, std::move(body)};
    }
    // The address gives no answer (the fetch fails).
    void unreachable(const std::string& url) { pages_[url] = std::nullopt; }

private:
    Journal& journal_;
    std::map<std::string, std::optional<HttpResponse>> pages_;
};

// A page laid out like the time service's: a long head, then the UTC time of
// day (HH:MM:SS) in bold white.
std::string TimePageFixture(const std::string& utcTimeOfDay = "12:00:00");

}  // namespace nocturo::platform
