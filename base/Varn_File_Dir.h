#pragma once
// Folder and file tests, path normalisation, file-name extraction and the
// creation of a folder chain. The path style (separator, drive roots, UNC
// prefixes) is the file system's; the explicit-style overloads exist so the
// Windows rules are checked on every build.
#include <string>

#include "platform/IFileSystem.h"

namespace nocturo {

bool DirExists(const std::string& path);
// Trims the caller's path in place; true when at least one file (not a
// folder) matches it. Wildcards are allowed in the last component.
bool FileExists(std::string& path);
bool FileExists(const std::string& path);
std::string sFixDirString(const std::string& path);
std::string sFixDirString(const std::string& path, platform::PathStyle style);
std::string sParseFile(const std::string& path);
// Creates the folder and the missing ones leading to it; privateToUser: each
// created one readable by the current user only.
void CreateDirectoryStruct(const std::string& path, bool privateToUser = false);

// Joins folder and name with one separator of the file system's style.
std::string JoinPath(const std::string& folder, const std::string& name);
char PathSeparator();

}  // namespace nocturo
