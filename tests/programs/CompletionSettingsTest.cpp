// The settings names nocturoctl's bash completion offers are the names the
// program reads: the main window is loaded and saved on the simulated
// machine, every setting it reads from the user and the machine tree is
// noted, and each must be among the names the completion file, sourced in
// bash, offers for that tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/Varn_Registry.h"
#include "shell/FrmMain.h"
#include "support/RunCommand.h"
#include "support/SimWorld.h"

using namespace nocturo;
using nocturo::test::RunCommand;
using nocturo::test::SimWorld;

namespace {

// The simulated store, noting every value that is looked for or read.
class NotingRegistry : public test::MapRegistry {
public:
    std::optional<platform::RegValue> read(const std::string& path) override {
        read_.push_back(path);
        return MapRegistry::read(path);
    }
    bool exists(const std::string& path) override {
        read_.push_back(path);
        return MapRegistry::exists(path);
    }
    // The names read directly below a key.
    std::set<std::string> namesReadBelow(const std::string& key) const {
        std::set<std::string> names;
        for (const auto& path : read_) {
            if (path.size() <= key.size() + 1 || path.compare(0, key.size() + 1, key + "\\") != 0) continue;
            const std::string name = path.substr(key.size() + 1);
            if (name.find('\\') == std::string::npos) names.insert(name);
        }
        return names;
    }

private:
    std::vector<std::string> read_;
};

// What _nocturoctl_setting_names offers for a tree, with no program to ask
// for the names already stored.
std::set<std::string> CompletedNames(const std::string& tree) {
    const std::string file = std::string(NOCTURO_SOURCE_DIR) + "/packaging/completion/nocturoctl";
    auto r = RunCommand("env -i PATH=/usr/bin:/bin bash --norc --noprofile -c 'source \"" + file +
                        "\"; COMP_WORDS=(/nonexistent/nocturoctl); _nocturoctl_setting_names " + tree + "'");
    EXPECT_EQ(r.code, 0) << r.out;
    std::set<std::string> names;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) names.insert(line);
    return names;
}

std::string Missing(const std::set<std::string>& read, const std::set<std::string>& offered,
                    const std::set<std::string>& bookkeeping) {
    std::string missing;
    for (const auto& name : read)
        if (!offered.count(name) && !bookkeeping.count(name)) missing += " " + name;
    return missing;
}

}  // namespace

TEST(CompletionSettings, EverySettingTheWindowReadsIsOffered) {
    SimWorld w;
    NotingRegistry store;
    w.runtime.pf.registry = &store;
    FrmMain f;
    f.Form_Load();
    f.Save_Registry();

    // The program's own bookkeeping, which no one sets by hand.
    const std::set<std::string> bookkeeping = {"Crashtime", "ProgramVersion", "UseCounter"};
    const auto user = store.namesReadBelow(SettingsKey(UserApp(), kSettings));
    const auto machine = store.namesReadBelow(SettingsKey(MachineApp(), kSettings));
    ASSERT_GT(user.size(), 30u) << "the window read too few settings to say anything";
    ASSERT_FALSE(machine.empty());

    EXPECT_EQ(Missing(user, CompletedNames("user"), bookkeeping), "")
        << "settings the program reads from the user tree that the completion does not offer";
    EXPECT_EQ(Missing(machine, CompletedNames("machine"), bookkeeping), "")
        << "settings the program reads from the machine tree that the completion does not offer";
}

TEST(CompletionSettings, NamesOfOneTreeAreNotOfferedForTheOther) {
    const auto user = CompletedNames("user"), machine = CompletedNames("machine");
    EXPECT_TRUE(user.count("Armed"));
    EXPECT_TRUE(machine.count("poption"));
    std::vector<std::string> both;
    std::set_intersection(user.begin(), user.end(), machine.begin(), machine.end(), std::back_inserter(both));
    EXPECT_TRUE(both.empty()) << both.front();
}
