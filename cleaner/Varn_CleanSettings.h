#pragma once
// Where the cleaner keeps its settings: the main section, one section per
// cleaned folder and the section of the default specification list; and the
// tolerant reader of the ";"-joined lists.
#include <string>
#include <vector>

namespace nocturo {

inline constexpr const char* kBuiltInExtList =
    ";*.~*;~*.*;*.??~;*.---;temp.*;tmp.*;*._mp;*.old;*.syd;*.bak;*.tmp;*.temp;*.chk;*.gid;mscreate.dir;";
inline constexpr const char* kDefaultExtList = "*.bak;";

// The program's app string (the user's tree).
std::string CleanerApp();
// The app string of one folder's section: the folder text as listed, its
// trailing backslash left out so that the key path has no empty component.
// The same folder text gives the same section on reading and writing.
std::string FolderApp(const std::string& folder);
std::string FilterDefaultApp();
// The system's temp folder with a trailing separator: the Windows folder's
// temp on Windows, /tmp/ elsewhere.
std::string DefaultTempFolder();
// "CleanDirs" when never stored.
std::string DefaultCleanDirs();
// The items of a stored list: a missing leading ";" is tolerated, blank
// items and the text after the last ";" are left out.
std::vector<std::string> ListItems(const std::string& list);
// ";" + every item + ";".
std::string JoinList(const std::vector<std::string>& items);
// A number setting of a cleaner section, with its default.
int CleanerOption(const std::string& app, const std::string& name, int defaultValue);

}  // namespace nocturo
