#include "timevoice/Varn_Internet.h"

#include <charconv>

#include "base/InstallLayout.h"
#include "base/Links.h"
#include "base/Runtime.h"
#include "base/Strings.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_Language.h"
#include "base/Varn_Registry.h"
#include "base/Version.h"
#include "base/Varn_File_Dir.h"
#include "platform/Error.h"
#include "platform/IDialogs.h"

namespace nocturo {

namespace {

constexpr const char* kProc = "ChkNewVersion of Modul Varn_Internet";

std::optional<int> wholeNumber(const std::string& text) {
    const std::string t = Trim(text);
    if (t.empty()) return std::nullopt;
    int value = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec != std::errc() || end != t.data() + t.size() || value < 0) return std::nullopt;
    return value;
}

}  // namespace

std::vector<std::string> ReadInputFields(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t i = 0;
    const std::size_t n = text.size();
    auto atLineEnd = [&](std::size_t k) { return k < n && (text[k] == '\r' || text[k] == '\n'); };
    // Past a field's separator: a comma, or a line end (CR LF counts once).
    auto skipSeparator = [&] {
        if (i < n && text[i] == ',') {
            ++i;
        } else if (atLineEnd(i)) {
            if (text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
            ++i;
        }
    };
    while (i < n) {
        while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
        std::string field;
        if (i < n && text[i] == '"') {
            const std::size_t close = text.find('"', i + 1);
            field = text.substr(i + 1, (close == std::string::npos ? n : close) - i - 1);
            i = close == std::string::npos ? n : close + 1;
            while (i < n && text[i] != ',' && !atLineEnd(i)) ++i;  // anything after the quote is dropped
        } else {
            const std::size_t start = i;
            while (i < n && text[i] != ',' && !atLineEnd(i)) ++i;
            field = Trim(text.substr(start, i - start));
        }
        fields.push_back(field);
        skipSeparator();
    }
    return fields;
}

std::optional<std::string> FindListedVersion(const std::string& listText, const std::string& code) {
    const std::vector<std::string> fields = ReadInputFields(listText);
    for (std::size_t k = 0; k < fields.size(); k += 2) {
        if (Trim(fields[k]).empty()) return std::nullopt;
        if (fields[k] == code) {
            if (k + 1 >= fields.size()) return std::nullopt;
            return fields[k + 1];
        }
    }
    return std::nullopt;
}

std::optional<ProgramVersion> ParseProgramVersion(const std::string& text) {
    const std::size_t first = text.find('.');
    if (first == std::string::npos) return std::nullopt;
    const std::size_t second = text.find('.', first + 1);
    if (second == std::string::npos) return std::nullopt;
    auto major = wholeNumber(text.substr(0, first));
    auto minor = wholeNumber(text.substr(first + 1, second - first - 1));
    auto revision = wholeNumber(text.substr(second + 1));
    if (!major || !minor || !revision) return std::nullopt;
    return ProgramVersion{*major, *minor, *revision};
}

int NewerVersionEntry(const ProgramVersion& listed, const ProgramVersion& running) {
    if (listed.major > running.major) return 47;
    if (listed.major == running.major && listed.minor > running.minor) return 46;
    if (listed.major == running.major && listed.minor == running.minor && listed.revision > running.revision)
        return 45;
    return 0;
}

bool PageFetch::look() {
    try {
        if (!transfer_) transfer_ = http().begin(url_);
        page_ = transfer_->poll();
        if (!page_) return false;
    } catch (...) {
        failure_ = std::current_exception();
    }
    transfer_.reset();
    return true;
}

platform::HttpResponse PageFetch::await_resume() {
    if (failure_) std::rethrow_exception(failure_);
    return std::move(*page_);
}

Task ChkNewVersion() {
    namespace mb = platform::mb;
    const links::Addresses& web = links::Current();
    if (web.versionList.empty()) {
        Step(kProc, 1, [] {
            dialogs().messageBox(links::NoUpdateAddressText, mb::Information | mb::SystemModal, LangText(23));
        });
        co_return;
    }
    const std::string tempFolder = Layout().tempFolder;
    const std::string listFile = JoinPath(tempFolder, "versions.txt");

    // Any failure on the way ends in the same message.
    std::optional<std::string> listed;
    bool fetched = false;
    std::optional<platform::HttpResponse> page;
    try {
        PrepareFolder(tempFolder);
        page = co_await FetchPage(web.versionList);
    } catch (...) {
        ReportCurrentException(kProc, 2);
    }
    try {
        if (page && page->status != 200)
            throw platform::Error(platform::err::SystemCallFailed,
                                  "HTTP status " + std::to_string(page->status) + " for " + web.versionList);
        if (page) {
            fetched = true;
            files().writeFile(listFile, page->body + LineEnd());
            const std::string text = files().readFile(listFile).value_or(std::string());
            if (text.size() >= 5) listed = FindListedVersion(text, links::VersionListCode);
        }
    } catch (...) {
        if (!fetched) ReportCurrentException(kProc, 2);
    }

    const std::optional<ProgramVersion> newest = listed ? ParseProgramVersion(*listed) : std::nullopt;
    if (!newest) {
        Step(kProc, 8, [] {
            dialogs().messageBox(LangText(48) + "\n" + LangText(49), mb::Critical | mb::SystemModal, LangText(16));
        });
        co_return;
    }
    const int entry = NewerVersionEntry(*newest, {version::Major, version::Minor, version::Revision});
    Step(kProc, 7, [&] {
        if (entry != 0) {
            const std::string newer = std::string(version::ProductName) + " " + LangText(entry) + " (v. " + *listed +
                                      ") " + LangText(43);
            if (web.downloadPage.empty())
                dialogs().messageBox(newer, mb::Information | mb::SystemModal, LangText(23));
            else if (dialogs().messageBox(newer + "\n" + LangText(44), mb::YesNo | mb::Information | mb::SystemModal,
                                          LangText(23)) == mb::IdYes)
                processes().openDocument(web.downloadPage);
        } else {
            const std::string shown =
                CStr(ReadSetting(MachineApp(), "Settings", "ProgramVersion", std::string("0.0.0")));
            dialogs().messageBox(LangText(42) + " (" + shown + ") of " + std::string(version::ProductName) + ".",
                                 mb::Information | mb::SystemModal, LangText(23));
        }
    });
}

}  // namespace nocturo
