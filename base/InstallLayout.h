#pragma once
// Where an installed copy finds its files and writes its own.
//
// Self-contained (a folder "Common" beside the program folder: the build
// tree, scripts/run, the Windows installer and zip): the data in Common, the
// helper programs beside the program, the manual in doc/ beside the program
// folder, and the writable files where they always were (error.log in
// Common, the action and cleaner logs in the program folder, downloads in
// temp/ beside it) - as long as Common can be written to.
//
// Otherwise (a system install, /usr/bin/nocturo; or a self-contained copy in
// a folder the user cannot write, like Program Files) the writable files go
// to the state folder: $LOGS_DIRECTORY or /var/log/nocturo for the service,
// else $XDG_STATE_HOME/nocturo or $HOME/.local/state/nocturo (a relative
// XDG_STATE_HOME is ignored); %LOCALAPPDATA%\Nocturo on Windows. Without any
// of those there is no state folder and the writable files are not written.
// A system install reads its data from <prefix>/share/nocturo, runs its
// helpers from <prefix>/libexec/nocturo and has its manual in
// <prefix>/share/doc/nocturo.
#include <functional>
#include <optional>
#include <string>

#include "platform/IFileSystem.h"

namespace nocturo {

struct InstallLayout {
    bool selfContained = true;
    // Common (or share/nocturo) could not be written to or is not there:
    // the writable files go to stateFolder.
    bool usesStateFolder = false;
    // The state folder is the user's own: created private (0700).
    bool stateIsPerUser = false;

    std::string dataFolder;     // language/, sound/
    std::string manualFile;     // README.html
    std::string helperFolder;   // lockpc, lockpcscr (LockPc.exe, LockPcScr.scr)
    std::string stateFolder;    // empty when there is none

    // The writable places: each in the state folder when usesStateFolder,
    // empty when that is used and there is none.
    std::string errorLogFolder;    // error.log
    std::string actionLogFolder;   // Nocturo.log, unless the settings name another folder
    std::string cleanerLogFolder;  // DiskCleaner.log
    std::string tempFolder;        // downloads (versions.txt)
};

// What the layout is chosen from.
struct LayoutFacts {
    std::string programFolder;  // without a trailing separator
    platform::PathStyle style = platform::PathStyle::Posix;
    bool service = false;       // the program runs as the system service
    // An environment variable; nullopt (or empty) when unset.
    std::function<std::optional<std::string>(const std::string&)> environment;
    std::function<bool(const std::string&)> folderExists;
    std::function<bool(const std::string&)> folderWritable;
};

// The rule above, nothing else consulted.
InstallLayout ChooseInstallLayout(const LayoutFacts& facts);

// The process environment (std::getenv) as LayoutFacts::environment wants it.
std::optional<std::string> ProcessEnvironment(const std::string& name);

// The facts of this process: its environment and the file system `fs`
// (which must outlive them).
LayoutFacts ProcessLayoutFacts(platform::IFileSystem& fs, const std::string& programFolder, bool service);

// This run's layout: chosen from the program folder, the file system and the
// environment at its first use, then kept for the runtime's life.
const InstallLayout& Layout();
// Whether this run is the system service (set by its start, before the first
// use of Layout()).
void SetRunsAsService(bool service);

// Creates the folder a writable file goes into (with the folders leading to
// it); the state folder itself, when it is the user's, private to the user.
// Failures are logged, as CreateDirectoryStruct's are.
void PrepareFolder(const std::string& folder);

}  // namespace nocturo
