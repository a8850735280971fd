#pragma once
// The maker's web addresses: the pages the program opens in the desktop's
// browser and the files it fetches, in one place.
namespace nocturo::links {
inline constexpr const char* HomePage = "https://nocturo.example.org/";
inline constexpr const char* HelpPage = "https://nocturo.example.org/help/";
inline constexpr const char* ErrorReportPage = "https://nocturo.example.org/bugs/";
inline constexpr const char* SupportForum = "https://nocturo.example.org/forum/";
// The speech engine and its English voice, for Windows computers without them.
inline constexpr const char* SpeechInstaller = "https://download.speech.example.com/activex/controls/sapi/spchapi.exe";
inline constexpr const char* SpeechVoice = "https://download.speech.example.com/activex/controls/agent2/tv_enua.exe";
inline constexpr const char* DownloadPage = "https://nocturo.example.org/products/downloads_e.htm";
// The list of the maker's products and their current versions, and this
// program's code in it.
inline constexpr const char* VersionList = "https://nocturo.example.org/versions.txt";
inline constexpr const char* VersionListCode = "Nocturo";
}  // namespace nocturo::links
