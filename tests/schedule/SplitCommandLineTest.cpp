// The start program's parameters split into arguments as a POSIX shell
// splits words, with nothing expanded.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "schedule/Varn_ShellAndWait.h"

namespace {

using nocturo::SplitCommandLine;
using Args = std::vector<std::string>;

TEST(SplitCommandLine, BlanksSeparateAndBackslashesOutsideQuotesEscapeOneCharacter) {
    EXPECT_EQ(SplitCommandLine("  -a\t b\n c  "), (Args{"-a", "b", "c"}));
    EXPECT_EQ(SplitCommandLine(""), Args{});
    EXPECT_EQ(SplitCommandLine("   "), Args{});
    // A Windows path typed without quotes loses its backslashes, as in sh.
    EXPECT_EQ(SplitCommandLine("C:\\temp\\x.log"), Args{"C:tempx.log"});
    EXPECT_EQ(SplitCommandLine("C:\\\\temp\\\\x.log"), Args{"C:\\temp\\x.log"});
    EXPECT_EQ(SplitCommandLine("two\\ words it\\'s \\\"q\\\""), (Args{"two words", "it's", "\"q\""}));
    EXPECT_EQ(SplitCommandLine("a\\\nb"), Args{"ab"});  // a continued line
}

TEST(SplitCommandLine, SingleQuotesKeepEverythingLiterally) {
    EXPECT_EQ(SplitCommandLine("'C:\\temp\\x.log'"), Args{"C:\\temp\\x.log"});
    EXPECT_EQ(SplitCommandLine("'a \"b\" $HOME `x` \\'"), Args{"a \"b\" $HOME `x` \\"});
    EXPECT_EQ(SplitCommandLine("'it'\\''s'"), Args{"it's"});  // the shell's way to an apostrophe
    EXPECT_EQ(SplitCommandLine("pre'  'post"), Args{"pre  post"});
}

TEST(SplitCommandLine, DoubleQuotesEscapeOnlyBackslashQuoteDollarAndBacktick) {
    EXPECT_EQ(SplitCommandLine("\"C:\\temp\\x.log\""), Args{"C:\\temp\\x.log"});
    // \" is a quote, not the end: the quote stays open to the end of the text.
    EXPECT_EQ(SplitCommandLine("\"D:\\My Files\\\""), Args{"D:\\My Files\""});
    EXPECT_EQ(SplitCommandLine("\"a\\\\b \\\" \\$HOME \\` \\n\""), Args{"a\\b \" $HOME ` \\n"});
    EXPECT_EQ(SplitCommandLine("\"it's\" \"$HOME\""), (Args{"it's", "$HOME"}));
    EXPECT_EQ(SplitCommandLine("\"a\\\nb\""), Args{"ab"});
}

TEST(SplitCommandLine, EmptyQuotesUnclosedQuotesAndATrailingBackslash) {
    EXPECT_EQ(SplitCommandLine("'' \"\" x"), (Args{"", "", "x"}));
    EXPECT_EQ(SplitCommandLine("a 'b c"), (Args{"a", "b c"}));
    EXPECT_EQ(SplitCommandLine("a \"b \\\" c"), (Args{"a", "b \" c"}));
    // A backslash at the very end is kept as a backslash.
    EXPECT_EQ(SplitCommandLine("C:\\\\dir\\"), Args{"C:\\dir\\"});
    EXPECT_EQ(SplitCommandLine("x \\"), (Args{"x", "\\"}));
    EXPECT_EQ(SplitCommandLine("\"open\\"), Args{"open\\"});
}

}  // namespace
