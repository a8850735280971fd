// UTF-8 <-> UTF-16 at the Win32 API, and the errors built from its codes.
#include <gtest/gtest.h>

#include <windows.h>

#include "platform/Error.h"
#include "platform/win32/WinText.h"

namespace {

using namespace nocturo::platform;
using namespace nocturo::platform::win32;

TEST(WinText, WidenAndNarrowRoundTrip) {
    for (const std::string text : {"", "a", "Einstellungen", "ä€", "😀 and 中文", "C:\\Program Files\\Nocturo"})
        EXPECT_EQ(Narrow(Widen(text)), text) << text;
    EXPECT_EQ(Widen("ä€"), std::wstring(L"\u00E4\u20AC"));
    EXPECT_EQ(Widen("😀"), std::wstring(L"\xD83D\xDE00"));
}

TEST(WinText, AgreesWithTheSystemsConversion) {
    const std::string text = "Größe 😀 Ελληνικά";
    wchar_t wide[64] = {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide, 64);
    ASSERT_GT(n, 0);
    EXPECT_EQ(Widen(text), std::wstring(wide, static_cast<std::size_t>(n)));
}

TEST(WinText, MalformedInputBecomesReplacementCharacters) {
    EXPECT_EQ(Widen("a\xFF" "b"), std::wstring(L"a\xFFFD" L"b"));
    EXPECT_EQ(Widen("\xC0\xAF"), std::wstring(L"\xFFFD"));    // over-long "/"
    EXPECT_EQ(Widen("\xED\xA0\x80"), std::wstring(L"\xFFFD"));  // an encoded surrogate
    EXPECT_EQ(Widen("a\xC3"), std::wstring(L"a\xFFFD"));        // cut off at the end
    EXPECT_EQ(Narrow(std::wstring(L"\xD83D" L"a")), "\xEF\xBF\xBD" "a");  // high surrogate alone
    EXPECT_EQ(Narrow(std::wstring(L"\xDE00")), "\xEF\xBF\xBD");            // low surrogate alone
}

TEST(WinText, ErrorsCarryTheSystemsTextAndTheLogsNumber) {
    const Error notFound = ErrorFromCode(ERROR_FILE_NOT_FOUND, "cannot open x");
    EXPECT_EQ(notFound.number(), err::FileNotFound);
    const std::string what = notFound.what();
    EXPECT_EQ(what.rfind("cannot open x (", 0), 0u) << what;
    EXPECT_GT(what.size(), std::string("cannot open x ()").size()) << what;
    EXPECT_EQ(what.back(), ')');
    EXPECT_EQ(ErrorFromCode(ERROR_ACCESS_DENIED, "w").number(), err::PermissionDenied);
    EXPECT_EQ(ErrorFromCode(ERROR_PATH_NOT_FOUND, "w").number(), err::PathNotFound);
    EXPECT_EQ(ErrorFromCode(ERROR_INVALID_FUNCTION, "w").number(), err::SystemCallFailed);

    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(LastError("cannot write").number(), err::PermissionDenied);
    EXPECT_EQ(SystemMessage(ERROR_ACCESS_DENIED).find('\n'), std::string::npos);
    EXPECT_FALSE(SystemMessage(0xDEADBEEF).empty());
}

}  // namespace
