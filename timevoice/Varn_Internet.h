#pragma once
// The new-version check: the maker's list of current versions is fetched,
// this program's line found and compared with the running version, and the
// user told the result.
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Task.h"
#include "platform/IEventLoop.h"
#include "platform/IHttp.h"

namespace nocturo {

struct ProgramVersion {
    int major = 0, minor = 0, revision = 0;
};

// A page, for a task: co_await FetchPage(url) gives the server's answer; no
// answer at all is thrown (platform::Error) at the co_await. The transfer
// goes on while the loop runs, looked at every pollMs.
class PageFetch : public PolledWait {
public:
    explicit PageFetch(std::string url, int pollMs = 50) : PolledWait(pollMs), url_(std::move(url)) {}
    platform::HttpResponse await_resume();

private:
    bool look() override;
    std::string url_;
    std::unique_ptr<platform::IHttpTransfer> transfer_;
    std::optional<platform::HttpResponse> page_;
    std::exception_ptr failure_;
};
inline PageFetch FetchPage(std::string url) { return PageFetch(std::move(url)); }

// Fetches the list to ..\temp\versions.txt and tells the user whether a newer
// version exists (offering the download page), that this one is current,
// or that the list could not be read. A task: the loop goes on while the
// list is fetched.
Task ChkNewVersion();

// The fields of a sequential-input text: comma- or line-separated, a field
// may be quoted (its commas then belong to it); blanks around a field go.
std::vector<std::string> ReadInputFields(const std::string& text);
// The version text of the record with this code, or nothing: when the list
// ends first, or a record with an empty code comes before it.
std::optional<std::string> FindListedVersion(const std::string& listText, const std::string& code);
// "major.minor.revision" as whole numbers; nothing when it is not one.
std::optional<ProgramVersion> ParseProgramVersion(const std::string& text);
// The language entry that names how much newer listed is (47 major, 46
// minor, 45 revision), or 0 when running is as new or newer.
int NewerVersionEntry(const ProgramVersion& listed, const ProgramVersion& running);

}  // namespace nocturo
