#pragma once
// The maker's web addresses and the manual: what the links of the windows
// open, and where the update check and the speech notice point.
#include <string>

namespace nocturo::links {

// The addresses the program uses. They start as the ones this copy was built
// with (the build's NOCTURO_HOME_PAGE and the rest); any of them may be empty,
// and then the link it belongs to is disabled. Tests replace them.
struct Addresses {
    std::string homePage;
    std::string errorReportPage;
    std::string supportForum;
    std::string downloadPage;     // offered when the version list names a newer version
    std::string versionList;      // the maker's products and their current versions
    std::string speechInstaller;  // Windows: the speech engine and its English voice,
    std::string speechVoice;      // for computers without them
};
Addresses& Current();

// This program's code in the version list.
inline constexpr const char* VersionListCode = "Nocturo";

// The tip of a link that has no address in this copy.
inline constexpr const char* NoAddressTip = "This copy of Nocturo was built without an address for this link";

// What the update check says when this copy has no version list.
inline constexpr const char* NoUpdateAddressText =
    "No update address is configured in this copy of Nocturo, so it cannot look for a newer version.";

// The manual the install carries: README.html in doc/ beside the program
// folder, or in share/doc/nocturo of a system install (InstallLayout.h).
std::string ManualFile();

// Opens the manual in the desktop's viewer, or says where it should be when
// the install lacks it.
void OpenManual();

// Opens a web address in the desktop's browser; an empty one does nothing.
void OpenLinkIfAny(const std::string& address);

// A link control shows its address as its tip, or, without one, is disabled
// and says why.
template <class Link>
void ShowLink(Link& link, const std::string& address) {
    link.setEnabled(!address.empty());
    link.setToolTip(address.empty() ? std::string(NoAddressTip) : address);
}

}  // namespace nocturo::links
