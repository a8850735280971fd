#include "platform/sim/SimHttp.h"

#include "platform/Error.h"
#include "platform/common/Json.h"

namespace nocturo::platform {

HttpResponse SimHttp::get(const std::string& url, const WhileWaiting& whileWaiting) {
    auto page = pages_.find(url);
    const bool answered = page != pages_.end() && page->second.has_value();
    journal_.append(JsonObject{{"call", "HttpGet"},
                               {"url", url},
                               {"status", answered ? page->second->status : 0}});
    if (whileWaiting) whileWaiting();  // the network takes a moment
    if (!answered) throw Error(err::SystemCallFailed, "no answer from " + url);
    return *page->second;
}

}  // namespace nocturo::platform
