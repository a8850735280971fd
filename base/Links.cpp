#include "base/Links.h"

#include "base/InstallLayout.h"
#include "base/LinkAddresses.h"
#include "base/Runtime.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_File_Dir.h"
#include "platform/IDialogs.h"
#include "platform/IFileSystem.h"
#include "platform/IProcesses.h"

namespace nocturo::links {

Addresses& Current() {
    static Addresses addresses{NOCTURO_LINK_HOME_PAGE,     NOCTURO_LINK_ERROR_REPORT_PAGE, NOCTURO_LINK_SUPPORT_FORUM,
                               NOCTURO_LINK_DOWNLOAD_PAGE, NOCTURO_LINK_VERSION_LIST,      NOCTURO_LINK_SPEECH_INSTALLER,
                               NOCTURO_LINK_SPEECH_VOICE};
    return addresses;
}

std::string ManualFile() { return Layout().manualFile; }

void OpenManual() {
    const std::string manual = ManualFile();
    if (files().length(manual)) {
        processes().openDocument(manual);
        return;
    }
    dialogs().messageBox("The manual is not installed with this copy of Nocturo. It would be here:\n" + manual,
                         platform::mb::Information, "Help");
}

void OpenLinkIfAny(const std::string& address) {
    if (!address.empty()) processes().openDocument(address);
}

}  // namespace nocturo::links
