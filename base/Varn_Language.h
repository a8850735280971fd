#pragma once
// The language table: texts by number, read at start-up from
// Common/language/<language>.lng beside the program folder.
#include <string>
#include <vector>

namespace nocturo {

// Reads the file; true when it was read to its end. A missing file shows the
// missing-file message; a malformed index stops the reading (error log entry).
bool set_language(const std::string& fileName);

// Entry n of the table; empty text for an entry the file does not define.
const std::string& LangText(int index);
const std::vector<std::string>& LanguageTable();
void ClearLanguageTable();

// The folder that holds the language files.
std::string LanguageFolder();

// Parses a language file's text into the table. On a malformed index it
// throws platform::Error and lineNumber holds the 1-based line that failed.
std::vector<std::string> ParseLanguageText(const std::string& text, int& lineNumber);

}  // namespace nocturo
