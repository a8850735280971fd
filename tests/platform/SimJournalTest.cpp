#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/sim/SimServices.h"
#include "support/TestSupport.h"

using namespace nocturo::platform;
using nocturo::test::ReadWholeFile;
using nocturo::test::TempDir;

namespace {

// Restores an environment variable when the test ends.
class EnvGuard {
public:
    explicit EnvGuard(const char* name) : name_(name) {
        if (const char* v = std::getenv(name)) saved_ = v, had_ = true;
    }
    ~EnvGuard() {
        if (had_) setenv(name_, saved_.c_str(), 1);
        else unsetenv(name_);
    }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

private:
    const char* name_;
    std::string saved_;
    bool had_ = false;
};

}  // namespace

TEST(SimJournal, FileHoldsOneCompactObjectPerLineCallFirst) {
    TempDir dir;
    Journal journal(dir / "sim-journal.jsonl");
    SimSessionPower power(journal);
    std::vector<std::uint32_t> ended;
    power.setSessionEndHook([&](std::uint32_t flags) { ended.push_back(flags); });
    SimClock clock(LocalTime{2024, 5, 6, 12, 0, 0, 0, 0});
    SimProcesses processes(journal, clock);
    SimDialogs dialogs(journal);
    SimSound sound(journal);
    SimSpeech speech(journal);

    power.enableShutdownPrivilege();
    power.exitWindowsEx(ewx::PowerOff | ewx::Shutdown | ewx::Force, 0xFFFFFFFFu);
    power.setSuspendState(false, true, false);
    processes.start("/usr/bin/backup", {"--all", "two words", ""}, ws::NormalFocus);
    dialogs.pushAnswer(mb::IdNo);
    dialogs.messageBox("The Computer will Shutdown now.\r\n\r\nContinue?", mb::YesNo | mb::Question | mb::SystemModal,
                       "Exit Windows");
    speech.speak("Shutdown in 30 seconds", spk::IsNotXml);
    sound.playSound("SystemHand", snd::Async);
    sound.beep();

    EXPECT_EQ(ReadWholeFile(journal.path()),
              "{\"call\":\"AdjustTokenPrivileges\",\"privilege\":\"SeShutdownPrivilege\"}\n"
              "{\"call\":\"ExitWindowsEx\",\"flags\":13,\"reserved\":4294967295}\n"
              "{\"call\":\"SetSuspendState\",\"hibernate\":0,\"force\":1,\"disableWakeEvent\":0}\n"
              "{\"call\":\"StartProgram\",\"program\":\"/usr/bin/backup\",\"arguments\":[\"--all\",\"two words\",\"\"],"
              "\"windowStyle\":1}\n"
              "{\"call\":\"MessageBox\",\"title\":\"Exit Windows\",\"prompt\":\"The Computer will Shutdown "
              "now.\\r\\n\\r\\nContinue?\",\"buttons\":4132,\"answer\":7}\n"
              "{\"call\":\"Speak\",\"text\":\"Shutdown in 30 seconds\",\"flags\":16}\n"
              "{\"call\":\"PlaySound\",\"name\":\"SystemHand\",\"flags\":1}\n"
              "{\"call\":\"Beep\"}\n");
    EXPECT_EQ(ended, std::vector<std::uint32_t>{13});
    EXPECT_EQ(journal.calls(), (std::vector<std::string>{"AdjustTokenPrivileges", "ExitWindowsEx", "SetSuspendState",
                                                         "StartProgram", "MessageBox", "Speak", "PlaySound", "Beep"}));
}

TEST(SimJournal, EveryLineParsesBackToTheEntryKeptInMemory) {
    TempDir dir;
    Journal journal(dir / "j.jsonl");
    journal.append(JsonObject{{"call", "OpenDocument"}, {"path", "/tmp/a \"quoted\"\tname\nwith ünïcode"}});
    journal.append(JsonObject{{"call", "DeleteFile"}, {"path", "C:\\temp\\x.bak"}});
    std::string text = ReadWholeFile(journal.path());
    ASSERT_EQ(text.back(), '\n');
    std::vector<std::string> lines;
    for (std::size_t start = 0, nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    ASSERT_EQ(lines.size(), 2u);
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(Json::parse(lines[i]), Json(journal.entries()[i]));
}

TEST(SimJournal, AppendsToAnExistingFileAndClearForgetsOnlyTheMemoryCopy) {
    TempDir dir;
    nocturo::test::WriteWholeFile(dir / "j.jsonl", "{\"call\":\"Earlier\"}\n");
    Journal journal(dir / "j.jsonl");
    journal.append(JsonObject{{"call", "Beep"}});
    journal.clear();
    EXPECT_TRUE(journal.entries().empty());
    journal.append(JsonObject{{"call", "Beep"}});
    EXPECT_EQ(ReadWholeFile(journal.path()), "{\"call\":\"Earlier\"}\n{\"call\":\"Beep\"}\n{\"call\":\"Beep\"}\n");
    EXPECT_EQ(journal.calls(), std::vector<std::string>{"Beep"});
}

TEST(SimJournal, EmptyPathKeepsTheJournalInMemory) {
    Journal journal;
    journal.append(JsonObject{{"call", "Beep"}});
    journal.append(JsonObject{{"noCall", 1}});
    EXPECT_EQ(journal.calls(), (std::vector<std::string>{"Beep", ""}));
}

TEST(SimJournal, UnwritableFileThrowsButKeepsTheEntry) {
    TempDir dir;
    Journal journal(dir / "missing-folder/j.jsonl");
    try {
        journal.append(JsonObject{{"call", "Beep"}});
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::PathFileAccess);
    }
    EXPECT_EQ(journal.calls(), std::vector<std::string>{"Beep"});
}

TEST(SimJournal, PathComesFromTheEnvironmentOrTheTempFolder) {
    EnvGuard guard("NOCTURO_SIM_JOURNAL");
    unsetenv("NOCTURO_SIM_JOURNAL");
    EXPECT_EQ(Journal::pathFromEnvironment("/opt/nocturo/temp"), "/opt/nocturo/temp/sim-journal.jsonl");
    EXPECT_EQ(Journal::pathFromEnvironment("/opt/nocturo/temp/"), "/opt/nocturo/temp/sim-journal.jsonl");
    setenv("NOCTURO_SIM_JOURNAL", "", 1);
    EXPECT_EQ(Journal::pathFromEnvironment("/t"), "/t/sim-journal.jsonl");
    setenv("NOCTURO_SIM_JOURNAL", "/elsewhere/j.jsonl", 1);
    EXPECT_EQ(Journal::pathFromEnvironment("/t"), "/elsewhere/j.jsonl");
}

TEST(SimSound, SoundAndSpeechAreJournalledWhetherOrNotAvailable) {
    Journal journal;
    SimSound sound(journal);
    SimSpeech speech(journal);
    EXPECT_TRUE(sound.available());
    EXPECT_TRUE(speech.available());
    sound.setAvailable(false);
    speech.setAvailable(false);
    EXPECT_FALSE(sound.available());
    EXPECT_FALSE(speech.available());
    sound.playSound("/opt/nocturo/bin/../common/sound/alarm.wav", snd::Async | snd::FileName);
    speech.speak("voice clock acctivated", spk::IsNotXml);
    ASSERT_EQ(journal.entries().size(), 2u);
    EXPECT_EQ(Json(journal.entries()[0]).dump(),
              R"({"call":"PlaySound","name":"/opt/nocturo/bin/../common/sound/alarm.wav","flags":131073})");
    EXPECT_EQ(Json(journal.entries()[1]).dump(), R"({"call":"Speak","text":"voice clock acctivated","flags":16})");
}
