#include "platform/sim/SimHttp.h"

#include "platform/Error.h"
#include "platform/common/Json.h"

namespace nocturo::platform {

std::string TimePageFixture(const std::string& utcTimeOfDay) {
    std::string page = "<html><head><title>Time service - UTC</title></head>\n<body bgcolor=\"navy\">\n";
    while (page.size() < 1100) page += "<!-- the current time, as the service's clocks keep it -->\n";
    page += "<font size=\"7\" color=\"white\"><b>" + utcTimeOfDay + "<br></b></font>\n";
    page += "<font color=\"white\"><b>UTC</b></font>\n</body></html>\n";
    return page;
}

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
