#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/Error.h"
#include "platform/sim/SimDialogs.h"

using namespace nocturo::platform;

namespace {

std::string Line(const Journal& journal, std::size_t i) { return Json(journal.entries().at(i)).dump(); }

}  // namespace

TEST(SimDialogs, QueuedAnswersAreTakenInOrderByTheKindOfBox) {
    Journal journal;
    SimDialogs dialogs(journal);
    dialogs.loadAnswers(R"([7, "secret", null, 2, "/home/tester/logs", "/usr/bin/true"])");
    EXPECT_EQ(dialogs.remaining(), 6u);

    EXPECT_EQ(dialogs.messageBox("Continue?", mb::YesNo | mb::SystemModal, "Exit Windows"), mb::IdNo);
    EXPECT_EQ(dialogs.inputBox("Options Menu Password :", "Nocturo", ""), std::optional<std::string>("secret"));
    EXPECT_EQ(dialogs.inputBox("Name?", "Nocturo", "x"), std::nullopt);
    EXPECT_EQ(dialogs.messageBox("Retry?", mb::RetryCancel, "T"), mb::IdCancel);
    EXPECT_EQ(dialogs.browseForFolder("Log folder", "/home", false), "/home/tester/logs");
    EXPECT_EQ(dialogs.openFile("Program", "Program Files (*.exe)|*.exe|All Files (*.*)|*.*"), "/usr/bin/true");
    EXPECT_EQ(dialogs.remaining(), 0u);

    ASSERT_EQ(journal.entries().size(), 6u);
    EXPECT_EQ(Line(journal, 0),
              R"({"call":"MessageBox","title":"Exit Windows","prompt":"Continue?","buttons":4100,"answer":7})");
    EXPECT_EQ(Line(journal, 1),
              R"({"call":"InputBox","title":"Nocturo","prompt":"Options Menu Password :","default":"","answer":"secret"})");
    EXPECT_EQ(Line(journal, 2), R"({"call":"InputBox","title":"Nocturo","prompt":"Name?","default":"x","answer":null})");
    EXPECT_EQ(Line(journal, 4),
              R"({"call":"BrowseForFolder","title":"Log folder","start":"/home","answer":"/home/tester/logs"})");
    EXPECT_EQ(Line(journal, 5),
              R"({"call":"OpenFile","title":"Program","filter":"Program Files (*.exe)|*.exe|All Files (*.*)|*.*",)"
              R"("answer":"/usr/bin/true"})");
}

TEST(SimDialogs, EmptyQueueGivesTheFirstButtonOrCancel) {
    Journal journal;
    SimDialogs dialogs(journal);
    EXPECT_EQ(dialogs.messageBox("p", mb::OkOnly | mb::Information, "t"), mb::IdOk);
    EXPECT_EQ(dialogs.messageBox("p", mb::OkCancel, "t"), mb::IdOk);
    EXPECT_EQ(dialogs.messageBox("p", mb::AbortRetryIgnore, "t"), mb::IdAbort);
    EXPECT_EQ(dialogs.messageBox("p", mb::YesNoCancel | mb::DefaultButton3, "t"), mb::IdYes);
    EXPECT_EQ(dialogs.messageBox("p", mb::YesNo | mb::Question | mb::SystemModal, "t"), mb::IdYes);
    EXPECT_EQ(dialogs.messageBox("p", mb::RetryCancel | mb::Critical, "t"), mb::IdRetry);
    EXPECT_EQ(dialogs.inputBox("p", "t", "default text"), std::nullopt);  // cancel, not the default text
    EXPECT_EQ(dialogs.browseForFolder("t", "/", true), "");
    EXPECT_EQ(dialogs.openFile("t", "*.*"), "");
    EXPECT_EQ(Line(journal, 3), R"({"call":"MessageBox","title":"t","prompt":"p","buttons":515,"answer":6})");
    EXPECT_EQ(Line(journal, 6), R"({"call":"InputBox","title":"t","prompt":"p","default":"default text","answer":null})");
    EXPECT_EQ(Line(journal, 7), R"({"call":"BrowseForFolder","title":"t","start":"/","answer":""})");
}

TEST(SimDialogs, AnswerThatDoesNotFitTheBoxStaysQueued) {
    Journal journal;
    SimDialogs dialogs(journal);
    dialogs.pushAnswer("typed");
    dialogs.pushAnswer(mb::IdNo);
    // A text does not answer a message box: the box gets its default and the
    // text waits for the input box.
    EXPECT_EQ(dialogs.messageBox("p", mb::YesNo, "t"), mb::IdYes);
    EXPECT_EQ(dialogs.remaining(), 2u);
    EXPECT_EQ(dialogs.inputBox("p", "t", ""), std::optional<std::string>("typed"));
    // A number does not answer an input, folder or file box.
    EXPECT_EQ(dialogs.inputBox("p", "t", ""), std::nullopt);
    EXPECT_EQ(dialogs.browseForFolder("t", "/", false), "");
    EXPECT_EQ(dialogs.openFile("t", "*.*"), "");
    EXPECT_EQ(dialogs.remaining(), 1u);
    EXPECT_EQ(dialogs.messageBox("p", mb::YesNo, "t"), mb::IdNo);
    EXPECT_EQ(dialogs.remaining(), 0u);
}

TEST(SimDialogs, NullCancelsFolderAndFileBoxesAndEmptyTextIsAnAnswer) {
    Journal journal;
    SimDialogs dialogs(journal);
    dialogs.pushCancel();
    dialogs.pushCancel();
    dialogs.pushAnswer("");
    EXPECT_EQ(dialogs.browseForFolder("t", "/", false), "");
    EXPECT_EQ(dialogs.openFile("t", "*.*"), "");
    EXPECT_EQ(dialogs.inputBox("p", "t", "d"), std::optional<std::string>(""));
    EXPECT_EQ(dialogs.remaining(), 0u);
}

TEST(SimDialogs, MalformedAnswersAreRejectedWhole) {
    Journal journal;
    SimDialogs dialogs(journal);
    for (const char* bad : {"7", "{\"a\":1}", "[true]", "[[1]]", "[1.5]", "[1e20]", "[1,", "", "[\"x\",{}]"}) {
        EXPECT_THROW(dialogs.loadAnswers(bad), Error) << bad;
        EXPECT_EQ(dialogs.remaining(), 0u) << bad;
    }
    dialogs.loadAnswers(" [ ] ");
    EXPECT_EQ(dialogs.remaining(), 0u);
    dialogs.loadAnswers("[-1, \"Grüße\"]");
    EXPECT_EQ(dialogs.messageBox("p", 0, "t"), -1);
    EXPECT_EQ(dialogs.inputBox("p", "t", ""), std::optional<std::string>("Grüße"));
}

TEST(SimDialogs, AnswersComeFromTheEnvironment) {
    const char* saved = std::getenv("NOCTURO_SIM_ANSWERS");
    std::string keep = saved ? saved : "";
    setenv("NOCTURO_SIM_ANSWERS", "[6, \"pw\"]", 1);
    Journal journal;
    SimDialogs dialogs(journal);
    dialogs.loadAnswersFromEnvironment();
    EXPECT_EQ(dialogs.remaining(), 2u);
    unsetenv("NOCTURO_SIM_ANSWERS");
    dialogs.loadAnswersFromEnvironment();
    EXPECT_EQ(dialogs.remaining(), 2u);
    if (saved) setenv("NOCTURO_SIM_ANSWERS", keep.c_str(), 1);
}
