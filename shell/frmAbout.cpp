#include "shell/frmAbout.h"

#include "base/Links.h"
#include "base/Runtime.h"
#include "base/Version.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_Registry.h"
#include "base/Varn_File_Dir.h"
#include "base/Varn_GetSystemInfos.h"
#include "base/Strings.h"
#include "platform/IFileSystem.h"
#include "platform/ISystemInfo.h"
#include "platform/IDialogs.h"
#include "platform/IProcesses.h"

namespace nocturo {

namespace {
constexpr const char* kProc = " of Formular frmAbout";
std::string proc(const char* handler) { return std::string(handler) + kProc; }
}  // namespace

frmAbout::frmAbout() : Form("frmAbout") {
    setWidth(5400);
    setHeight(3480);
    imgLogo.setGeometry(240, 240, 960, 960);
    imgLogo.setPicture("nocturo");
    lblTitle.setGeometry(1440, 240, 3720, 300);
    lblVersion.setGeometry(1440, 600, 3720, 255);
    lblDescription.setGeometry(1440, 960, 3720, 780);
    lblDescription.setCaption(
        "Shuts down, restarts, logs off, suspends or locks the computer, starts a program or sounds an alarm at "
        "the moment you choose.");
    lblHomePage.setGeometry(1440, 1860, 3720, 255);
    lblHomePage.setCaption(links::Current().homePage);
    lblHomePage.setVisible(!links::Current().homePage.empty());
    ImgSysInfo.setGeometry(240, 2700, 360, 360);
    ImgSysInfo.setPicture("sysinfo");
    ImgSysInfo.setToolTip("System Info...");
    lblSysInfo.setGeometry(720, 2760, 1920, 255);
    lblSysInfo.setCaption("System Info...");
    lblOk.setGeometry(3960, 2700, 1200, 360);
    lblOk.setCaption("&OK");

    on("lblOk.Click", [this] { lblOK_Click(); });
    on("lblSysInfo.Click", [this] { lblSysInfo_Click(); });
    on("ImgSysInfo.Click", [this] { lblSysInfo_Click(); });
    for (const char* c : {"imgLogo", "lblTitle", "lblDescription", "lblHomePage"})
        on(std::string(c) + ".Click", [this] { HomePage_Click(); });
    on("Form.Close", [this] { lblOK_Click(); });
}

void frmAbout::Form_Load() {
    const std::string p = proc("Form_Load");
    setLoaded(true);
    Step(p.c_str(), 1, [&] {
        setCaption(std::string("About ") + version::ProductName);
        lblTitle.setCaption(version::ProductName);
        lblVersion.setCaption("Version " + std::to_string(version::Major) + "." + std::to_string(version::Minor) + "." +
                              std::to_string(version::Revision));
    });
    Step(p.c_str(), 2, [&] {
        if (rt().pf.windows) {
            setLeft((windows().screenWidthTwips() - width()) / 2);
            setTop((windows().screenHeightTwips() - height()) / 2);
        }
        setVisible(true);
    });
}

void frmAbout::Form_Unload() {
    setVisible(false);
    setLoaded(false);
    if (onUnloaded) onUnloaded();
}

void frmAbout::lblOK_Click() {
    Step(proc("lblOK_Click").c_str(), 1, [&] { Form_Unload(); });
}

void frmAbout::lblSysInfo_Click() { StartSysInfo(); }

void frmAbout::HomePage_Click() {
    Step(proc("HomePage_Click").c_str(), 1, [&] { links::OpenLinkIfAny(links::Current().homePage); });
}

namespace {
// What the program knows of this computer: the facts of the error log's header.
std::string SystemInfoText() {
    const std::string nl = LineEnd();
    std::string text;
    // Each fact on its own: one the system will not tell leaves its line out.
    auto add = [&](const std::string& label, auto&& fact) {
        try {
            const std::string value = fact();
            if (!value.empty()) text += label + ": " + value + nl;
        } catch (...) {
        }
    };
    add("Program", [] { return std::string(version::ProductName) + " " + version::Text; });
    add("User", [] { return rt().userId; });
    add("Machine number", [] { return rt().machineNumber; });
    add("Organisation", [] { return rt().organisation; });
    add("System", [] {
        const auto& v = VersionRecord();
        return GetWinVersion() + " (" + std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
               std::to_string(v.build) + ")";
    });
    add("Language", [] { return SysLanguageName() + " (" + std::to_string(SysLanguageID()) + ")"; });
    add("Country", [] { return Country(); });
    add("System folder", [] { return GetSysDir(); });
    add("Windows folder", [] { return GetWinDir(); });
    add("Program folder", [] { return sysinfo().programFolder(); });
    add("Error log", [] { return ErrorLogPath(); });
    return text;
}
}  // namespace

void StartSysInfo() {
    // The facts the program knows itself, where the system has no
    // information program of its own to start.
    auto ownFacts = [] {
        try {
            dialogs().messageBox(SystemInfoText(), platform::mb::OkOnly | platform::mb::Information | platform::mb::SystemModal,
                                 "System Information");
        } catch (...) {
        }
    };
    if (files().pathStyle() != platform::PathStyle::Windows) return ownFacts();
    try {
        std::string path = ReadKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO\\PATH");
        if (path.empty()) {
            const std::string folder =
                ReadKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location\\MSINFO");
            path = folder + "\\MSINFO32.EXE";
            if (folder.empty() || !FileExists(path)) return ownFacts();
        }
        processes().start(path, {}, platform::ws::NormalFocus);
    } catch (...) {
        ownFacts();
    }
}

}  // namespace nocturo
