#include <gtest/gtest.h>

#include "base/Varn_WriteLogfile.h"
#include "support/TestWorld.h"

using namespace nocturo;
using nocturo::test::TestWorld;

TEST(ActionLog, TheUserColumnStartsAtPosition52ForEveryKindOfLine) {
    TestWorld w;
    w.runtime.userId = "ALICE";
    for (const std::string& line :
         {ActionLogLine("Nocturo started"), ActionLogLine("Shutdown"), ActionLogLine("Power off (standby mode)"),
          StartProgramLogLine("backup.exe"), StartProgramLogLine("123456789012345678901234"),
          ActionLogLineAt("01.01.2026 00:00:00", "Computer Crash")}) {
        EXPECT_EQ(line.find("  UserID :  "), 51u) << line;
        EXPECT_EQ(line.substr(line.size() - 5), "ALICE");
    }
    EXPECT_EQ(ActionLogLine("Shutdown"), "08.12.2026 17:45:30  Shutdown                        UserID :  ALICE");
    EXPECT_EQ(StartProgramLogLine("b.exe"), "08.12.2026 17:45:30  Start b.exe                     UserID :  ALICE");
}

TEST(ActionLog, FirstEventCreatesTheWholeFolderChain) {
    TestWorld w;
    WriteToLog("C:\\logs\\nocturo\\2026", "line one", "");
    WriteToLog("C:\\logs\\nocturo\\2026", "line two", "");
    EXPECT_EQ(w.fs.readFile("C:\\logs\\nocturo\\2026\\Nocturo.log").value_or("?"), "line one\r\nline two\r\n");
    EXPECT_EQ(w.errorLog(), "");
}

TEST(ActionLog, TheNameArgumentChoosesTheFile) {
    TestWorld w;
    WriteToLog("C:\\logs", "cleaned", "DiskCleaner");
    EXPECT_TRUE(w.fs.exists("C:\\logs\\DiskCleaner.log"));
    EXPECT_FALSE(w.fs.exists("C:\\logs\\Nocturo.log"));
}

TEST(ActionLog, ResetCreatesAnEmptyLogOrEmptiesAnExistingOne) {
    TestWorld w;
    ResetLog("C:\\logs", "");
    EXPECT_EQ(w.fs.readFile("C:\\logs\\Nocturo.log").value_or("?"), "");
    WriteToLog("C:\\logs", "x", "");
    ResetLog("C:\\logs", "");
    EXPECT_EQ(w.fs.readFile("C:\\logs\\Nocturo.log").value_or("?"), "");
}

TEST(ActionLog, AFailingWriteLosesTheLineAndLogsTheFailure) {
    TestWorld w;
    w.fs.addFile("C:\\logs\\Nocturo.log\\dummy");  // the log's name is taken by a folder
    int yields = w.evloop.yields;
    WriteToLog("C:\\logs", "lost", "");
    EXPECT_NE(w.errorLog().find("WriteToLog of Modul Varn_WriteLogfile"), std::string::npos);
    // A log line never lets other events run in the middle of its writer.
    EXPECT_EQ(w.evloop.yields, yields);
}
