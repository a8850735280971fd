#include "cleaner/frmCleanHDSetup.h"

#include "base/InstallLayout.h"
#include "base/Links.h"
#include "base/Runtime.h"
#include "base/Strings.h"
#include "base/Variant.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_Registry.h"
#include "base/Varn_WriteLogfile.h"
#include "cleaner/CFindFile.h"
#include "cleaner/Varn_CleanSettings.h"
#include "base/Varn_File_Dir.h"
#include "cleaner/Varn_FilePathInput.h"
#include "cleaner/frmCleanNow.h"
#include "platform/IDialogs.h"
#include "platform/IFileSystem.h"
#include "platform/IProcesses.h"
#include "timevoice/Varn_Internet.h"
#include "timevoice/Varn_PlaySound.h"

namespace nocturo {

namespace {

std::string proc(const std::string& handler) { return handler + " of Formular frmCleanHDSetup"; }

// Handlers that ignore their failures.
template <class F>
void quietly(F&& f) {
    try {
        f();
    } catch (...) {
    }
}

}  // namespace

frmCleanHDSetup::frmCleanHDSetup(const CheckBox* soundBox) : Form("frmCleanHDSetup"), soundBox_(soundBox) {
    setCaption("Nocturo DiskCleaner Setup");
    setWidth(9000);
    setHeight(6600);
    cmdAddDir.setCaption("&Add Dir");
    cmdRemoveDir.setCaption("&Remove selected Dir");
    lblFileList.setCaption("File List:");
    txtAdd.setText("*.");
    cmdAdd.setCaption("&Add");
    cmdRemoveExt.setCaption("&Remove");
    cmdDefault.setCaption("&Default");
    lblWildcards.setCaption("use wildcards ( * ? )");
    lblFileOptions.setCaption("File Options:");
    cmdSetAsDefault.setCaption("Set as Default");
    cmdResetDefault.setCaption("Reset Default");
    fraFolderOptions.setCaption("File && Dir search and delete options");
    chkDelEmptyDir.setCaption("Delete empty folders");
    chkInclSubDirs.setCaption("&Include Sub-Directories");
    chkZeroFiles.setCaption("Delete all zero byte Files");
    chkDelType.setCaption("Delete to RecycleBin");
    chkDelType.setValue(1);
    fraWindowsOptions.setCaption("Windows clean options");
    chkEmptyWindowsTemp.setCaption("Empty Windows temp dir");
    chkDelRecentDocuList.setCaption("Clear recent document list");
    chkEmptyRecycleBin.setCaption("Empty recycle bin");
    chkDelRunHistory.setCaption("Clear run history");
    fraInternetOptions.setCaption("Internet clean options");
    chkClearIEhistory.setCaption("Clear Internet history");
    chkEmptyIEcache.setCaption("Empty Internet cache");
    chkEmptyIEcacheCooky.setCaption("Clear Cooky cache");
    chkEmptyIEcacheXXX.setCaption("Clear xxx cache");
    chkEmptyIEcacheURL.setCaption("Clear URL cache");
    chkLog.setCaption("Log DC operation");
    cmdShowDCLog.setCaption("Show DC Log");
    cmdResetDCLog.setCaption("Reset DC Log");
    lblBugReport.setCaption("bug report");
    lblError.setCaption("check Error log !");
    lblError.setVisible(false);
    layoutControls();
    registerEvents();
}

// In twips: the toolbar across the top; the folders, their file
// specifications and the specification buttons on the left; the option
// frames and the log on the right.
void frmCleanHDSetup::layoutControls() {
    static constexpr std::array<const char*, ToolKeys.size()> captions{"&Clean now", "Update", "Home", "Help",
                                                                      "About",      "Forum",  "E&xit"};
    const int toolWidth = (9000 - 240 - 5 * 60) / static_cast<int>(ToolKeys.size());
    for (size_t i = 0; i < ToolKeys.size(); ++i) {
        tbTools[i] = std::make_unique<CommandButton>(this, "tbTools", static_cast<int>(i));
        tbTools[i]->setCaption(captions[i]);
        tbTools[i]->setGeometry(120 + static_cast<int>(i) * (toolWidth + 60), 90, toolWidth, 345);
    }
    for (size_t i = 0; i < ToolKeys.size(); ++i) {
        const std::string key = ToolKeys[i];
        if (key == "Home") links::ShowLink(*tbTools[i], links::Current().homePage);
        else if (key == "Forum") links::ShowLink(*tbTools[i], links::Current().supportForum);
        else if (key == "Help") tbTools[i]->setToolTip(links::ManualFile());
    }
    constexpr int field = 330, line = 255;
    lstDirectories.setGeometry(120, 570, 4260, 1980);
    cmdAddDir.setGeometry(120, 2610, 2070, field);
    cmdRemoveDir.setGeometry(2250, 2610, 2130, field);
    lblFileList.setGeometry(120, 3060, 2100, line);
    lstFileTypes.setGeometry(120, 3330, 2100, 2310);
    txtAdd.setGeometry(2310, 3330, 2070, field);
    cmdAdd.setGeometry(2310, 3720, 1005, field);
    cmdRemoveExt.setGeometry(3375, 3720, 1005, field);
    cmdDefault.setGeometry(2310, 4110, 2070, field);
    lblWildcards.setGeometry(2310, 4500, 2070, line);
    lblFileOptions.setGeometry(2310, 4830, 2070, line);
    cmdSetAsDefault.setGeometry(2310, 5100, 2070, field);
    cmdResetDefault.setGeometry(2310, 5490, 2070, field);

    constexpr int left = 4560, width = 4320, inner = left + 150, innerWidth = width - 300;
    auto frame = [&](Frame& f, int top, std::initializer_list<CheckBox*> boxes) {
        const int height = 330 + static_cast<int>(boxes.size()) * 270;
        f.setGeometry(left, top, width, height);
        int y = top + 300;
        for (CheckBox* box : boxes) {
            // The cache parts hang below "Empty Internet cache".
            const int indent = (box == &chkEmptyIEcacheURL || box == &chkEmptyIEcacheCooky ||
                                box == &chkEmptyIEcacheXXX) ? 300 : 0;
            box->setGeometry(inner + indent, y, innerWidth - indent, line);
            y += 270;
        }
        return top + height;
    };
    int y = frame(fraFolderOptions, 540, {&chkInclSubDirs, &chkZeroFiles, &chkDelEmptyDir, &chkDelType});
    y = frame(fraWindowsOptions, y + 90, {&chkEmptyWindowsTemp, &chkDelRecentDocuList, &chkEmptyRecycleBin,
                                          &chkDelRunHistory});
    y = frame(fraInternetOptions, y + 90, {&chkClearIEhistory, &chkEmptyIEcache, &chkEmptyIEcacheURL,
                                           &chkEmptyIEcacheCooky, &chkEmptyIEcacheXXX});
    chkLog.setGeometry(left, y + 90, width, line);
    cmdShowDCLog.setGeometry(left, y + 405, 2130, field);
    cmdResetDCLog.setGeometry(left + 2190, y + 405, width - 2190, field);

    lblBugReport.setGeometry(120, 6090, 1500, line);
    links::ShowLink(lblBugReport, links::Current().errorReportPage);
    lblError.setGeometry(left, 6090, 2400, line);
    ErrorIndicator.setGeometry(8670, 6105, 210, 210);
}

void frmCleanHDSetup::registerEvents() {
    static const std::pair<const char*, void (frmCleanHDSetup::*)()> clicks[] = {
        {"lstDirectories", &frmCleanHDSetup::lstDirectories_Click},
        {"cmdAdd", &frmCleanHDSetup::cmdAdd_Click},
        {"cmdRemoveExt", &frmCleanHDSetup::cmdRemoveExt_Click},
        {"cmdDefault", &frmCleanHDSetup::cmdDefault_Click},
        {"cmdSetAsDefault", &frmCleanHDSetup::cmdSetAsDefault_Click},
        {"cmdResetDefault", &frmCleanHDSetup::cmdResetDefault_Click},
        {"cmdAddDir", &frmCleanHDSetup::cmdAddDir_Click},
        {"cmdRemoveDir", &frmCleanHDSetup::cmdRemoveDir_Click},
        {"cmdShowDCLog", &frmCleanHDSetup::cmdShowDCLog_Click},
        {"cmdResetDCLog", &frmCleanHDSetup::cmdResetDCLog_Click},
        {"lblBugReport", &frmCleanHDSetup::lblBugReport_Click},
        {"lblError", &frmCleanHDSetup::lblError_Click},
        {"ErrorIndicator", &frmCleanHDSetup::lblError_Click},
    };
    for (const auto& [name, handler] : clicks) on(std::string(name) + ".Click", [this, h = handler] { (this->*h)(); });
    for (Control* c : controls())
        if (auto* box = dynamic_cast<CheckBox*>(c)) on(box->name() + ".Click", [this, box] { checkBox_Click(*box); });
    for (size_t i = 0; i < ToolKeys.size(); ++i)
        on("tbTools(" + std::to_string(i) + ").Click", [this, key = std::string(ToolKeys[i])] { tbTools_ButtonClick(key); });
    on("Form.Close", [this] { Form_Unload(); });
}

void frmCleanHDSetup::lblError_Click() {
    quietly([] { ShowErrorLog(); });
}

frmCleanHDSetup::~frmCleanHDSetup() = default;

bool frmCleanHDSetup::soundOn() const { return soundBox_ && soundBox_->checked(); }

std::string frmCleanHDSetup::selectedFolder() const {
    int i = lstDirectories.listIndex();
    return i < 0 ? std::string() : lstDirectories.item(i);
}

void frmCleanHDSetup::applyIECacheRule() {
    const bool on = chkEmptyIEcache.checked() && chkEmptyIEcache.enabled();
    chkEmptyIEcacheURL.setEnabled(on);
    chkEmptyIEcacheCooky.setEnabled(on);
    chkEmptyIEcacheXXX.setEnabled(on);
}

void frmCleanHDSetup::Form_Load() {
    const std::string p = "Form_Load of Formular frmCleanHDSetup";
    setLoaded(true);
    Step(p.c_str(), 1, [&] {
        lstDirectories.clear();
        std::string list = CStr(ReadSetting(CleanerApp(), kSettings, "CleanDirs", DefaultCleanDirs()));
        for (const auto& folder : ListItems(list)) lstDirectories.addItem(folder);
    });
    Step(p.c_str(), 3, [&] {
        if (lstDirectories.listCount() > 0) selectDirectory(0);
    });
    Step(p.c_str(), 4, [&] {
        const std::string app = CleanerApp();
        struct Box { CheckBox* box; int def; };
        // "Log DC operation" is on when never stored, as the run treats it.
        for (const Box& b : {Box{&chkClearIEhistory, 0}, Box{&chkEmptyIEcache, 0}, Box{&chkEmptyIEcacheURL, 0},
                             Box{&chkEmptyIEcacheCooky, 0}, Box{&chkEmptyIEcacheXXX, 0}, Box{&chkEmptyRecycleBin, 0},
                             Box{&chkDelRunHistory, 0}, Box{&chkDelRecentDocuList, 0}, Box{&chkEmptyWindowsTemp, 0},
                             Box{&chkLog, 1}}) {
            Step(p.c_str(), 4, [&] { b.box->setValue(CleanerOption(app, b.box->name(), b.def) == 0 ? 0 : 1); });
            if (b.box == &chkEmptyIEcache) applyIECacheRule();
        }
        // Histories that only Windows keeps: off here, and the tip says why.
        if (files().pathStyle() == platform::PathStyle::Posix) {
            chkDelRunHistory.setEnabled(false);
            chkDelRunHistory.setToolTip("Windows only: Linux desktops keep no history of the Run box");
            chkClearIEhistory.setEnabled(false);
            chkClearIEhistory.setToolTip("Windows only: the typed addresses of Internet Explorer");
            // Not done on Linux yet: off, so that nobody counts on them.
            const char* later = "Not available on Linux yet: this step does nothing here, so it is off";
            for (CheckBox* box : {&chkDelEmptyDir, &chkEmptyIEcache, &chkEmptyIEcacheURL, &chkEmptyIEcacheCooky,
                                  &chkEmptyIEcacheXXX, &chkEmptyWindowsTemp}) {
                box->setEnabled(false);
                box->setToolTip(later);
            }
        }
    });
    Step(p.c_str(), 5, [&] {
        UpdateExtList();
        setVisible(true);
    });
}

void frmCleanHDSetup::Form_Unload() {
    setVisible(false);
    setLoaded(false);
    if (onUnloaded) onUnloaded();
}

void frmCleanHDSetup::selectDirectory(int index) {
    lstDirectories.setListIndex(index);
    lstDirectories_Click();
}

void frmCleanHDSetup::lstDirectories_Click() {
    Step(proc("lstDirectories_Click").c_str(), 1, [&] { UpdateExtList(); });
}

void frmCleanHDSetup::UpdateExtList() {
    const std::string p = proc("UpdateExtList");
    Step(p.c_str(), 1, [&] { lstFileTypes.clear(); });
    const std::string folder = selectedFolder();
    if (folder.empty()) {
        chkDelEmptyDir.setValue(0);
        chkInclSubDirs.setValue(0);
        chkDelType.setValue(1);
        chkZeroFiles.setValue(0);
        return;
    }
    const std::string app = FolderApp(folder);
    Step(p.c_str(), 3, [&] { chkDelEmptyDir.setValue(CleanerOption(app, "chkDelEmptyDir", 0) == 0 ? 0 : 1); });
    Step(p.c_str(), 3, [&] { chkInclSubDirs.setValue(CleanerOption(app, "chkInclSubDirs", 0) == 0 ? 0 : 1); });
    Step(p.c_str(), 3, [&] { chkDelType.setValue(CleanerOption(app, "chkDelType", 1) == 0 ? 0 : 1); });
    Step(p.c_str(), 3, [&] { chkZeroFiles.setValue(CleanerOption(app, "chkZeroFiles", 0) == 0 ? 0 : 1); });
    Step(p.c_str(), 3, [&] {
        std::string list = CStr(ReadSetting(app, kSettings, "ExtList", std::string(kDefaultExtList)));
        for (const auto& spec : ListItems(list)) lstFileTypes.addItem(spec);
    });
}

bool frmCleanHDSetup::isMainSectionBox(const CheckBox& box) const {
    return &box != &chkDelEmptyDir && &box != &chkInclSubDirs && &box != &chkZeroFiles && &box != &chkDelType;
}

void frmCleanHDSetup::checkBox_Click(CheckBox& box) {
    Step(proc(box.name() + "_Click").c_str(), 1, [&] {
        if (isMainSectionBox(box)) {
            WriteSetting(CleanerApp(), kSettings, box.name(), box.value());
        } else {
            const std::string folder = selectedFolder();
            if (!folder.empty()) WriteSetting(FolderApp(folder), kSettings, box.name(), box.value());
        }
        if (&box == &chkEmptyIEcache) applyIECacheRule();
    });
}

void frmCleanHDSetup::cmdAdd_Click() {
    Step(proc("cmdAdd_Click").c_str(), 1, [&] {
        const std::string t = Trim(txtAdd.text());
        if (t == "*.") {
            dialogs().messageBox("The file extension is missing. You can use\r\nwildcards ( * ? ) for the filename and/or extension.",
                                 platform::mb::Information | platform::mb::SystemModal, "Input error");
            return;
        }
        if (!t.empty() && !IsPlainFileSpec(t)) {
            dialogs().messageBox("A file specification names files in the folder itself (*.bak, temp.*).\r\n\"" + t +
                                     "\" has a folder part and would search another folder.",
                                 platform::mb::Information | platform::mb::SystemModal, "Input error");
            return;
        }
        const std::string folder = selectedFolder();
        if (folder.empty() || t.empty()) return;
        const std::string app = FolderApp(folder);
        std::string list = CStr(ReadSetting(app, kSettings, "ExtList", std::string(kDefaultExtList)));
        if ((";" + list).find(";" + t + ";") != std::string::npos) return;
        if (!list.empty() && list.back() != ';') list += ';';
        WriteSetting(app, kSettings, "ExtList", list + t + ";");
        UpdateExtList();
        txtAdd.setText("*.");
    });
}

void frmCleanHDSetup::cmdRemoveExt_Click() {
    Step(proc("cmdRemoveExt_Click").c_str(), 1, [&] {
        const int i = lstFileTypes.listIndex();
        const std::string folder = selectedFolder();
        if (i < 0 || folder.empty()) return;
        lstFileTypes.removeItem(i);
        WriteSetting(FolderApp(folder), kSettings, "ExtList", JoinList(lstFileTypes.items()));
    });
}

void frmCleanHDSetup::cmdDefault_Click() { quietly([&] { setExtDefault(true); }); }

void frmCleanHDSetup::setExtDefault(bool ask) {
    Step(proc("setExtDefault").c_str(), 1, [&] {
        if (ask && dialogs().messageBox("Are you sure you want to Return to the defaul settings?",
                                        platform::mb::YesNo | platform::mb::SystemModal,
                                        "Warnning:") != platform::mb::IdYes)
            return;
        const std::string folder = selectedFolder();
        if (folder.empty()) return;
        std::string list = CStr(ReadSetting(FilterDefaultApp(), kSettings, "ExtList", std::string(kBuiltInExtList)));
        WriteSetting(FolderApp(folder), kSettings, "ExtList", list);
        UpdateExtList();
    });
}

void frmCleanHDSetup::cmdSetAsDefault_Click() {
    quietly([&] {
        if (selectedFolder().empty()) return;
        WriteSetting(FilterDefaultApp(), kSettings, "ExtList", JoinList(lstFileTypes.items()));
    });
}

void frmCleanHDSetup::cmdResetDefault_Click() {
    quietly([&] { WriteSetting(FilterDefaultApp(), kSettings, "ExtList", std::string(kBuiltInExtList)); });
}

void frmCleanHDSetup::cmdAddDir_Click() {
    Step(proc("cmdAddDir_Click").c_str(), 1, [&] {
        std::string list =
            CStr(ReadSetting(CleanerApp(), kSettings, "CleanDirs", ";" + DefaultCleanDirs()));
        const std::string start = files().pathStyle() == platform::PathStyle::Windows ? "C:\\" : "/";
        std::string folder = BrowseForFolder("Select a directory to clean", start);
        if (folder.empty()) return;
        folder = sFixDirString(folder);
        if (!list.empty() && list[0] != ';') list = ";" + list;
        if (list.find(";" + folder + ";") != std::string::npos) return;
        lstDirectories.addItem(folder);
        if (!list.empty() && list.back() != ';') list += ';';
        WriteSetting(CleanerApp(), kSettings, "CleanDirs", list + folder + ";");
        if (lstDirectories.listCount() > 0) selectDirectory(0);
    });
}

void frmCleanHDSetup::cmdRemoveDir_Click() {
    Step(proc("cmdRemoveDir_Click").c_str(), 1, [&] {
        lstFileTypes.clear();
        const int i = lstDirectories.listIndex();
        if (i < 0) return;
        lstDirectories.removeItem(i);
        if (lstDirectories.listCount() == 0) {
            chkDelEmptyDir.setValue(0);
            chkInclSubDirs.setValue(0);
            chkDelType.setValue(1);
            chkZeroFiles.setValue(0);
        }
        for (int k = 0; k < lstDirectories.listCount(); ++k) selectDirectory(k);
        // The removed folder's own section stays in the registry.
        WriteSetting(CleanerApp(), kSettings, "CleanDirs", JoinList(lstDirectories.items()));
    });
}

void frmCleanHDSetup::cmdShowDCLog_Click() {
    quietly([&] {
        if (soundOn()) PlaySoundOnce("open", true);
        OpenInTextEditor(LogFilePath(Layout().cleanerLogFolder, "DiskCleaner"));
    });
}

void frmCleanHDSetup::cmdResetDCLog_Click() {
    quietly([&] {
        if (soundOn()) PlaySoundOnce("recycle.wav", true);
        ResetLog(Layout().cleanerLogFolder, "DiskCleaner");
    });
}

void frmCleanHDSetup::cmdCleanNow_Click() {
    // One run at a time.
    if (cleaningRun_ && cleaningRun_->running()) return;
    Step(proc("cmdCleanNow_Click").c_str(), 1, [&] {
        rt().cleanUnattended = false;
        setVisible(false);
        cleaningRun_ = std::make_unique<frmCleanNow>();
        frmCleanNow& run = *cleaningRun_;
        // Without a window to show it in, the run closes when it ends.
        if (!showRunWindow) run.onFinished = [this] { cleaningRunClosed(); };
        run.Form_Load();
        if (showRunWindow) {
            showRunWindow(run);
            cleaningRunClosed();
        }
    });
}

void frmCleanHDSetup::cleaningRunClosed() {
    Step(proc("cmdCleanNow_Click").c_str(), 2, [&] {
        if (cleaningRun_ && cleaningRun_->loaded()) cleaningRun_->Form_Unload();
        setVisible(true);
    });
}

void frmCleanHDSetup::lblBugReport_Click() {
    quietly([] { links::OpenLinkIfAny(links::Current().errorReportPage); });
}

// The new-version check, with the busy pointer and the button off while it
// waits for the network.
void frmCleanHDSetup::tbTools_Update() {
    CommandButton& update = *tbTools[1];
    if (!update.enabled() || versionCheck_.active()) return;  // already checking
    versionCheck_ = versionCheck();
    versionCheck_.start("tbTools_ButtonClick of Formular frmCleanHDSetup");
}

Task frmCleanHDSetup::versionCheck() {
    CommandButton& update = *tbTools[1];
    quietly([&] {
        windows().setBusyPointer(true);
        update.setEnabled(false);
    });
    struct Restore {
        CommandButton& button;
        ~Restore() {
            try {
                button.setEnabled(true);
                windows().setBusyPointer(false);
            } catch (...) {
            }
        }
    } restore{update};
    Task check = ChkNewVersion();
    co_await check;
}

void frmCleanHDSetup::tbTools_ButtonClick(const std::string& key) {
    quietly([&] {
        if (key == "Exit") Form_Unload();
        else if (key == "Clean") cmdCleanNow_Click();
        else if (key == "Update") tbTools_Update();
        else if (key == "About" && showAbout) showAbout();
        else if (key == "Home") links::OpenLinkIfAny(links::Current().homePage);
        else if (key == "Help") links::OpenManual();
        else if (key == "Forum") links::OpenLinkIfAny(links::Current().supportForum);
        // "Product" and "Tips" do nothing.
    });
}

}  // namespace nocturo
