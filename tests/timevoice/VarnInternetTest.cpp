// The new-version check: reading the maker's list, comparing versions, and
// what the user is told for a newer version, a current one and a list that
// could not be read; from the options button and the cleaner's toolbar.
#include <gtest/gtest.h>

#include <string>

#include "base/Links.h"
#include "base/Varn_Language.h"
#include "base/Varn_Registry.h"
#include "base/Version.h"
#include "cleaner/frmCleanHDSetup.h"
#include "platform/IDialogs.h"
#include "shell/FrmMain.h"
#include "support/SimWorld.h"
#include "support/WebAddresses.h"
#include "timevoice/Varn_Internet.h"

using namespace nocturo;
using nocturo::test::SimWorld;
namespace mb = nocturo::platform::mb;

namespace {

// A simulated machine with the language entries the check uses.
// The check with the simulated network, which answers at once.
void RunCheck() {
    Task check = ChkNewVersion();
    check.start("ChkNewVersion of Modul Varn_Internet");
    EXPECT_TRUE(check.done());
}

// A network that answers after a number of looks.
class SlowHttp : public platform::IHttp {
public:
    explicit SlowHttp(platform::IHttp& answer, int looks) : answer_(answer), looks_(looks) {}
    platform::HttpResponse get(const std::string& url, const WhileWaiting&) override { return answer_.get(url); }
    std::unique_ptr<platform::IHttpTransfer> begin(const std::string& url) override {
        class Slow : public platform::IHttpTransfer {
        public:
            Slow(SlowHttp& h, std::string url) : h_(h), url_(std::move(url)) {}
            ~Slow() override { ++h_.dropped; }
            std::optional<platform::HttpResponse> poll() override {
                ++h_.polls;
                if (h_.polls < h_.looks_) return std::nullopt;
                return h_.answer_.get(url_);
            }

        private:
            SlowHttp& h_;
            std::string url_;
        };
        return std::make_unique<Slow>(*this, url);
    }
    int polls = 0, dropped = 0;

private:
    platform::IHttp& answer_;
    int looks_;
};

struct Checking {
    test::WebAddresses web;
    SimWorld w;
    Checking() {
        const char sep = w.fs.separator();
        w.fs.addFile(w.sys.programDir + sep + ".." + sep + "Common" + sep + "language" + sep + "english.lng",
                     "T0016\tNocturo - Error\nT0023\tNocturo Info\nT0042\tYou are using the latest version\n"
                     "T0043\tis available for download.\nT0044\tOpen the download page now?\n"
                     "T0045\t- a new revision\nT0046\t- a new minor version\nT0047\t- a new major version\n"
                     "T0048\tThe version information could not be read.\nT0049\tPlease try again later.\n");
        set_language("english.lng");
    }
    ~Checking() { ClearLanguageTable(); }
    std::string listFile() const {
        const char sep = w.fs.separator();
        return w.sys.programDir + sep + ".." + sep + "temp" + sep + "versions.txt";
    }
    const platform::JsonObject& box() {
        const auto* b = w.last("MessageBox");
        EXPECT_NE(b, nullptr);
        static const platform::JsonObject none;
        return b ? *b : none;
    }
    std::string running(int major, int minor, int revision) {
        return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(revision);
    }
};

const std::string kProduct = version::ProductName;

}  // namespace

TEST(VersionList, FieldsAreSplitAtCommasAndLineEndsAndQuotesKeepTheirCommas) {
    EXPECT_EQ(ReadInputFields("\"A\",\"1.2.3\"\r\n\"B, the second\",  4.5.6  \n"),
              (std::vector<std::string>{"A", "1.2.3", "B, the second", "4.5.6"}));
    EXPECT_EQ(ReadInputFields("A,1\nB,2"), (std::vector<std::string>{"A", "1", "B", "2"}));
    EXPECT_EQ(ReadInputFields(""), std::vector<std::string>{});
    // An unclosed quote runs to the end.
    EXPECT_EQ(ReadInputFields("\"A,1"), std::vector<std::string>{"A,1"});
}

TEST(VersionList, TheOwnRecordIsFoundUnlessTheListEndsOrBreaksFirst) {
    EXPECT_EQ(FindListedVersion("\"Other\",\"9.9.9\"\r\n\"Nocturo\",\"1.2.3\"\r\n", "Nocturo"), "1.2.3");
    // The code is only looked for among the codes, not the versions.
    EXPECT_EQ(FindListedVersion("X,Nocturo\r\nNocturo,2.0.0\r\n", "Nocturo"), "2.0.0");
    EXPECT_EQ(FindListedVersion("Other,1.0.0\r\n", "Nocturo"), std::nullopt);
    // A record with an empty code ends the search, even with ours after it.
    EXPECT_EQ(FindListedVersion("Other,1.0.0\r\n,\r\nNocturo,1.2.3\r\n", "Nocturo"), std::nullopt);
    EXPECT_EQ(FindListedVersion("Other,1.0.0\r\n\"  \",x\r\nNocturo,1.2.3\r\n", "Nocturo"), std::nullopt);
    // Ours as the very last field, without a version.
    EXPECT_EQ(FindListedVersion("Other,1.0.0,Nocturo", "Nocturo"), std::nullopt);
}

TEST(VersionList, VersionsAreThreeWholeNumbers) {
    auto v = ParseProgramVersion("3.7.10");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->major, 3);
    EXPECT_EQ(v->minor, 7);
    EXPECT_EQ(v->revision, 10);
    EXPECT_TRUE(ParseProgramVersion(" 4 . 0 . 0 "));
    EXPECT_FALSE(ParseProgramVersion("3.7"));
    EXPECT_FALSE(ParseProgramVersion("3.7.x"));
    EXPECT_FALSE(ParseProgramVersion("3..7"));
    EXPECT_FALSE(ParseProgramVersion("3.7.7.7"));  // the revision would read "7.7"
    EXPECT_FALSE(ParseProgramVersion("-1.0.0"));
    EXPECT_FALSE(ParseProgramVersion("99999999999.0.0"));
}

TEST(VersionList, TheMostSignificantDifferingPartDecides) {
    const ProgramVersion running{3, 7, 7};
    EXPECT_EQ(NewerVersionEntry({3, 7, 10}, running), 45);
    EXPECT_EQ(NewerVersionEntry({3, 8, 0}, running), 46);
    EXPECT_EQ(NewerVersionEntry({4, 0, 0}, running), 47);
    EXPECT_EQ(NewerVersionEntry({3, 6, 9}, running), 0);
    EXPECT_EQ(NewerVersionEntry({3, 7, 7}, running), 0);
    EXPECT_EQ(NewerVersionEntry({2, 9, 99}, running), 0);
    EXPECT_EQ(NewerVersionEntry({3, 6, 99}, running), 0);
}

TEST(NewVersionCheck, ANewerRevisionIsOfferedAndYesOpensTheDownloadPage) {
    Checking t;
    const std::string newer = t.running(version::Major, version::Minor, version::Revision + 1);
    const std::string body = "\"Other\",\"99.0.0\"\r\n\"" + std::string(links::VersionListCode) + "\",\"" + newer + "\"";
    t.w.http.serve(links::Current().versionList, body);
    t.w.dialogs.pushAnswer(mb::IdYes);
    RunCheck();
    EXPECT_EQ(t.w.last("HttpGet")->at("url").asString(), links::Current().versionList);
    EXPECT_EQ(t.box().at("prompt").asString(), kProduct + " - a new revision (v. " + newer +
                                                    ") is available for download.\nOpen the download page now?");
    EXPECT_EQ(t.box().at("buttons").asNumber(), 4164);
    EXPECT_EQ(t.box().at("title").asString(), "Nocturo Info");
    ASSERT_NE(t.w.last("OpenDocument"), nullptr);
    EXPECT_EQ(t.w.last("OpenDocument")->at("path").asString(), links::Current().downloadPage);
    // The list stays in the temp folder as one printed line.
    EXPECT_EQ(t.w.fs.readFile(t.listFile()), body + "\r\n");
    EXPECT_EQ(t.w.errorLog(), "");
}

TEST(NewVersionCheck, WithoutAnUpdateAddressItSaysSoAndAsksNobody) {
    Checking t;
    links::Current().versionList.clear();
    RunCheck();
    EXPECT_EQ(t.w.count("HttpGet"), 0);
    EXPECT_EQ(t.box().at("prompt").asString(), links::NoUpdateAddressText);
    EXPECT_EQ(t.box().at("title").asString(), "Nocturo Info");
    EXPECT_EQ(t.w.errorLog(), "");
}

TEST(NewVersionCheck, WithoutADownloadPageANewerVersionIsToldWithoutAnOffer) {
    Checking t;
    links::Current().downloadPage.clear();
    const std::string newer = t.running(version::Major + 1, 0, 0);
    t.w.http.serve(links::Current().versionList, std::string(links::VersionListCode) + "," + newer + "\r\n");
    RunCheck();
    EXPECT_EQ(t.box().at("prompt").asString(),
              kProduct + " - a new major version (v. " + newer + ") is available for download.");
    EXPECT_EQ(t.box().at("buttons").asInt64() & 0xF, mb::OkOnly);
    EXPECT_EQ(t.w.count("OpenDocument"), 0);
    EXPECT_EQ(t.w.errorLog(), "");
}

TEST(NewVersionCheck, NewerMinorAndMajorVersionsNameTheirKindAndNoOpensNothing) {
    {
        Checking t;
        const std::string newer = t.running(version::Major, version::Minor + 1, 0);
        t.w.http.serve(links::Current().versionList, std::string(links::VersionListCode) + "," + newer + "\r\n");
        t.w.dialogs.pushAnswer(mb::IdNo);
        RunCheck();
        EXPECT_NE(t.box().at("prompt").asString().find("- a new minor version (v. " + newer + ")"), std::string::npos);
        EXPECT_EQ(t.w.last("OpenDocument"), nullptr);
    }
    {
        Checking t;
        const std::string newer = t.running(version::Major + 1, 0, 0);
        t.w.http.serve(links::Current().versionList, std::string(links::VersionListCode) + "," + newer + "\r\n");
        t.w.dialogs.pushAnswer(mb::IdNo);
        RunCheck();
        EXPECT_NE(t.box().at("prompt").asString().find("- a new major version (v. " + newer + ")"), std::string::npos);
    }
}

TEST(NewVersionCheck, TheSameOrAnOlderVersionIsCurrentAndShowsTheStoredProgramVersion) {
    Checking t;
    WriteSetting(MachineApp(), "Settings", "ProgramVersion", std::string(version::Text));
    t.w.http.serve(links::Current().versionList, std::string(links::VersionListCode) + "," + version::Text + "\r\n");
    RunCheck();
    EXPECT_EQ(t.box().at("prompt").asString(),
              "You are using the latest version (" + std::string(version::Text) + ") of " + kProduct + ".");
    EXPECT_EQ(t.box().at("buttons").asNumber(), 4160);
    EXPECT_EQ(t.box().at("title").asString(), "Nocturo Info");

    // Never stored: "0.0.0".
    Checking older;
    older.w.http.serve(links::Current().versionList, std::string(links::VersionListCode) + ",0.0.1\r\n");
    RunCheck();
    EXPECT_EQ(older.box().at("prompt").asString(), "You are using the latest version (0.0.0) of " + kProduct + ".");
    EXPECT_EQ(older.w.errorLog(), "");
}

TEST(NewVersionCheck, AListThatCannotBeReadEndsInTheErrorMessage) {
    const std::string code = links::VersionListCode;
    struct Case {
        const char* what;
        std::string body;
        int status;
        bool logged;
    };
    const Case cases[] = {
        {"empty answer", "", 200, false},
        {"four bytes", "abcd", 200, false},
        {"own record missing", "Other,1.0.0\r\n", 200, false},
        {"own record after an empty code", "Other,1.0.0\r\n,\r\n" + code + ",9.0.0\r\n", 200, false},
        {"version not a version", code + ",new\r\n", 200, false},
        {"page not found", code + ",9.0.0\r\n", 404, true},
    };
    for (const Case& c : cases) {
        Checking t;
        t.w.http.serve(links::Current().versionList, c.body, c.status);
        RunCheck();
        EXPECT_EQ(t.box().at("prompt").asString(),
                  "The version information could not be read.\nPlease try again later.")
            << c.what;
        EXPECT_EQ(t.box().at("buttons").asNumber(), 4112) << c.what;
        EXPECT_EQ(t.box().at("title").asString(), "Nocturo - Error") << c.what;
        EXPECT_EQ(t.w.errorLog().find("ChkNewVersion of Modul Varn_Internet") != std::string::npos, c.logged)
            << c.what;
        EXPECT_EQ(t.w.last("OpenDocument"), nullptr) << c.what;
    }

    Checking offline;
    offline.w.http.unreachable(links::Current().versionList);
    RunCheck();
    EXPECT_EQ(offline.box().at("buttons").asNumber(), 4112);
    EXPECT_NE(offline.w.errorLog().find("ChkNewVersion of Modul Varn_Internet"), std::string::npos);
    EXPECT_NE(offline.w.errorLog().find("no answer from"), std::string::npos);
}

TEST(NewVersionCheck, TheOptionsButtonStepsOutOfTheTopBandAndShowsTheBusyPointerMeanwhile) {
    Checking t;
    FrmMain f;
    f.Form_Load();
    f.chkWinOnTop.setValue(1);
    f.chkWinOnTop_Click();
    ASSERT_TRUE(f.topMost());
    EXPECT_EQ(f.cmdNewVersion.caption(), "Check for new version");

    bool onTopDuring = true, busyDuring = false, enabledDuring = true;
    t.w.http.serve(links::Current().versionList, std::string(links::VersionListCode) + "," + version::Text);
    t.w.dialogs.onBox = [&] {
        onTopDuring = f.topMost();
        busyDuring = t.w.screen.busyPointer();
        enabledDuring = f.cmdNewVersion.enabled();
    };
    f.fireEvent("cmdNewVersion.Click");
    EXPECT_FALSE(onTopDuring);
    EXPECT_TRUE(busyDuring);
    EXPECT_FALSE(enabledDuring);  // a second click cannot start another check
    EXPECT_TRUE(f.topMost());
    EXPECT_FALSE(t.w.screen.busyPointer());
    EXPECT_TRUE(f.cmdNewVersion.enabled());
    EXPECT_EQ(t.w.count("HttpGet"), 1);
    EXPECT_EQ(t.w.errorLog(), "");
}

TEST(NewVersionCheck, TheCleanersUpdateButtonChecksWithTheBusyPointerAndItselfOff) {
    Checking t;
    FrmMain f;
    f.Form_Load();
    frmCleanHDSetup setup(&f.chkSound);
    setup.Form_Load();
    auto& update = *setup.tbTools[1];
    EXPECT_EQ(update.caption(), "Update");
    bool enabledDuring = true, busyDuring = false;
    t.w.http.unreachable(links::Current().versionList);
    t.w.dialogs.onBox = [&] {
        enabledDuring = update.enabled();
        busyDuring = t.w.screen.busyPointer();
    };
    setup.fireEvent("tbTools(1).Click");
    EXPECT_FALSE(enabledDuring);
    EXPECT_TRUE(busyDuring);
    EXPECT_TRUE(update.enabled());
    EXPECT_FALSE(t.w.screen.busyPointer());
    EXPECT_EQ(t.box().at("buttons").asNumber(), 4112);
    setup.Form_Unload();
}

TEST(NewVersionCheck, TheLoopGoesOnWhileTheListIsFetchedAndTheEndOfTheProgramDropsTheCheck) {
    Checking t;
    SlowHttp slow(t.w.http, 40);  // 40 looks, 50 ms apart: two seconds
    t.w.runtime.pf.http = &slow;
    t.w.http.serve(links::Current().versionList, std::string(links::VersionListCode) + "," + version::Text);
    FrmMain f;
    f.Form_Load();
    f.fireEvent("cmdNewVersion.Click");
    EXPECT_FALSE(f.cmdNewVersion.enabled());
    EXPECT_TRUE(t.w.screen.busyPointer());
    // Meanwhile the clock ticks on and the window answers.
    t.w.loop.runFor(1000);
    EXPECT_EQ(f.lblTime.caption(), "20:59:51");
    f.fireEvent("cmdNewVersion.Click");  // a second click starts nothing
    t.w.loop.runFor(1500);
    EXPECT_EQ(t.w.count("MessageBox"), 1);
    EXPECT_TRUE(f.cmdNewVersion.enabled());
    EXPECT_FALSE(t.w.screen.busyPointer());
    EXPECT_EQ(slow.polls, 40);

    // The program ends while a check waits: no box, the pointer is back.
    Checking u;
    SlowHttp never(u.w.http, 1 << 30);
    u.w.runtime.pf.http = &never;
    FrmMain g;
    g.Form_Load();
    g.chkSound.setValue(0);
    g.fireEvent("cmdNewVersion.Click");
    u.w.loop.runFor(500);
    g.UnloadProgram();
    EXPECT_TRUE(g.unloaded());
    EXPECT_EQ(never.dropped, 1);
    EXPECT_FALSE(u.w.screen.busyPointer());
    EXPECT_EQ(u.w.count("MessageBox"), 0);
}
