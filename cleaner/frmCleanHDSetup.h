#pragma once
#include <array>
#include <memory>
// The cleaner's setup window: the folders to clean, the file specifications
// and options of each folder, the system histories and caches to clear, and
// the cleaner log. Every click is stored at once.
#include <functional>
#include <string>

#include "base/Task.h"
#include "controls/Controls.h"

namespace nocturo {

class frmCleanNow;

class frmCleanHDSetup : public Form {
public:
    // soundBox: the main window's "Enable sound / voice" box, which the log
    // buttons follow (may be null).
    explicit frmCleanHDSetup(const CheckBox* soundBox = nullptr);
    ~frmCleanHDSetup() override;

    ListBox lstDirectories{this, "lstDirectories"};
    CommandButton cmdAddDir{this, "cmdAddDir"};
    CommandButton cmdRemoveDir{this, "cmdRemoveDir"};
    Label lblFileList{this, "lblFileList"};
    ListBox lstFileTypes{this, "lstFileTypes"};
    TextBox txtAdd{this, "txtAdd"};
    CommandButton cmdAdd{this, "cmdAdd"};
    CommandButton cmdRemoveExt{this, "cmdRemoveExt"};
    CommandButton cmdDefault{this, "cmdDefault"};
    Label lblWildcards{this, "lblWildcards"};
    Label lblFileOptions{this, "lblFileOptions"};
    CommandButton cmdSetAsDefault{this, "cmdSetAsDefault"};
    CommandButton cmdResetDefault{this, "cmdResetDefault"};
    Frame fraFolderOptions{this, "fraFolderOptions"};
    CheckBox chkDelEmptyDir{this, "chkDelEmptyDir"};
    CheckBox chkInclSubDirs{this, "chkInclSubDirs"};
    CheckBox chkZeroFiles{this, "chkZeroFiles"};
    CheckBox chkDelType{this, "chkDelType"};
    Frame fraWindowsOptions{this, "fraWindowsOptions"};
    CheckBox chkEmptyWindowsTemp{this, "chkEmptyWindowsTemp"};
    CheckBox chkDelRecentDocuList{this, "chkDelRecentDocuList"};
    CheckBox chkEmptyRecycleBin{this, "chkEmptyRecycleBin"};
    CheckBox chkDelRunHistory{this, "chkDelRunHistory"};
    Frame fraInternetOptions{this, "fraInternetOptions"};
    CheckBox chkClearIEhistory{this, "chkClearIEhistory"};
    CheckBox chkEmptyIEcache{this, "chkEmptyIEcache"};
    CheckBox chkEmptyIEcacheCooky{this, "chkEmptyIEcacheCooky"};
    CheckBox chkEmptyIEcacheXXX{this, "chkEmptyIEcacheXXX"};
    CheckBox chkEmptyIEcacheURL{this, "chkEmptyIEcacheURL"};
    CheckBox chkLog{this, "chkLog"};
    CommandButton cmdShowDCLog{this, "cmdShowDCLog"};
    CommandButton cmdResetDCLog{this, "cmdResetDCLog"};
    Label lblBugReport{this, "lblBugReport"};
    Label lblError{this, "lblError"};
    Label ErrorIndicator{this, "ErrorIndicator"};
    // The toolbar: one button per key of ToolKeys.
    static constexpr std::array<const char*, 7> ToolKeys{"Clean", "Update", "Home", "Help", "About", "Forum", "Exit"};
    std::array<std::unique_ptr<CommandButton>, ToolKeys.size()> tbTools;

    void Form_Load();
    void Form_Unload();
    void UpdateExtList();
    void setExtDefault(bool ask);
    void lstDirectories_Click();  // the selection changed
    void cmdAdd_Click();
    void cmdRemoveExt_Click();
    void cmdDefault_Click();
    void cmdSetAsDefault_Click();
    void cmdResetDefault_Click();
    void cmdAddDir_Click();
    void cmdRemoveDir_Click();
    void cmdShowDCLog_Click();
    void cmdResetDCLog_Click();
    void cmdCleanNow_Click();
    void tbTools_ButtonClick(const std::string& key);
    void tbTools_Update();
    void lblBugReport_Click();
    void lblError_Click();
    // A check box was clicked (its value already changed): stores it.
    void checkBox_Click(CheckBox& box);
    // Selects folder i of the list (as a click would).
    void selectDirectory(int index);

    // The interactive run window, shown modally while its run goes on and
    // until the user closes it; unset: the run goes on without being shown
    // and its window closes when it ends.
    std::function<void(frmCleanNow&)> showRunWindow;
    // The run "Clean now" started, while it is there (done or not).
    frmCleanNow* cleaningRun() const { return cleaningRun_.get(); }
    std::function<void()> showAbout;
    std::function<void()> onUnloaded;

    // The folder whose section the per-folder controls show ("" when none).
    std::string selectedFolder() const;

private:
    void layoutControls();
    void registerEvents();
    bool soundOn() const;
    bool isMainSectionBox(const CheckBox& box) const;
    void applyIECacheRule();

    // The run window is gone: this window comes back.
    void cleaningRunClosed();

    Task versionCheck();

    const CheckBox* soundBox_;
    std::unique_ptr<frmCleanNow> cleaningRun_;
    Task versionCheck_;  // last: it ends before the controls it uses
};

}  // namespace nocturo
