#include <gtest/gtest.h>

#include "base/InstallLayout.h"
#include "base/Varn_ErrorLog.h"
#include "platform/Error.h"
#include "support/TestWorld.h"

using namespace nocturo;
using nocturo::test::TestWorld;

TEST(ErrorLog, FirstFailureCreatesCommonFolderAndTheHeaderThenOnlyAppends) {
    TestWorld w;
    StartErrorLog();
    std::string log = w.errorLog();
    ASSERT_EQ(log.rfind("########  Varn error log file - created 08.12.2026 17:45:30\r\n", 0), 0u) << log;
    EXPECT_NE(log.find("37\tADMIN\t"), std::string::npos);
    EXPECT_NE(log.find("10\t0\t22631\t2\tWindows 11"), std::string::npos);
    EXPECT_NE(log.find("########  End of Header  ##########\r\n"), std::string::npos);
    EXPECT_TRUE(w.fs.folderExists("C:\\Program Files\\Nocturo\\Common"));

    Step("Timer2_Timer of Formular FrmMain", 6,
         [] { throw platform::Error(platform::err::PathNotFound, "Path not found"); }, kProgramSource);
    StartErrorLog();  // a second start leaves the log as it is
    std::string after = w.errorLog();
    EXPECT_EQ(after.rfind(log, 0), 0u);
    EXPECT_NE(after.find("08.12.2026 17:45:30  Nocturo : 37 v.1.0.0  Timer2_Timer of Formular FrmMain  6  76  Path not found\r\n"),
              std::string::npos)
        << after;
    EXPECT_EQ(w.errorIndicatorCount, 1);
}

TEST(ErrorLog, ArgumentEntryHoldsTenFields) {
    TestWorld w;
    WriteErrorArgs({std::string("C:\\x"), std::int32_t{5}});
    std::string log = w.errorLog();
    EXPECT_EQ(log, "C:\\x\t5\t\t\t\t\t\t\t\t\r\n");
    EXPECT_EQ(w.errorIndicatorCount, 0);
}

TEST(ErrorLog, AFailureWhileWritingTheLogIsSilent) {
    TestWorld w;
    w.fs.failWritesBelow("C:\\Program Files\\Nocturo\\Common");
    Step("x of Modul y", 1, [] { throw std::runtime_error("boom"); });
    EXPECT_EQ(w.errorLog(), "");
    EXPECT_EQ(w.errorIndicatorCount, 1);

    // The same where the error log's folder cannot be made.
    TestWorld v;
    v.fs.failCreateBelow("C:\\Program Files\\Nocturo\\Common\\nested");
    Runtime& r = v.runtime;
    auto layout = std::make_shared<InstallLayout>(Layout());
    layout->errorLogFolder = "C:\\Program Files\\Nocturo\\Common\\nested";
    r.installLayout = layout;
    Step("x of Modul y", 1, [] { throw std::runtime_error("boom"); });
    EXPECT_EQ(v.fs.readFile(layout->errorLogFolder + "\\error.log"), std::nullopt);
    EXPECT_EQ(v.errorIndicatorCount, 1);
}

TEST(ErrorLog, StandardFailuresMapToClassicNumbers) {
    TestWorld w;
    Step("p", 2, [] { throw std::out_of_range("x"); });
    Step("p", 3, [] { throw std::bad_variant_access(); });
    std::string log = w.errorLog();
    EXPECT_NE(log.find("  p  2  9  "), std::string::npos);
    EXPECT_NE(log.find("  p  3  13  Type mismatch"), std::string::npos);
}
