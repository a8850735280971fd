#pragma once
// The web addresses the program opens in the desktop's browser, in one place.
namespace nocturo::links {
inline constexpr const char* HomePage = "https://nocturo.example.org/";
inline constexpr const char* HelpPage = "https://nocturo.example.org/help/";
inline constexpr const char* ErrorReportPage = "https://nocturo.example.org/bugs/";
inline constexpr const char* SupportForum = "https://nocturo.example.org/forum/";
inline constexpr const char* DownloadPage = "https://nocturo.example.org/download/";
}  // namespace nocturo::links
