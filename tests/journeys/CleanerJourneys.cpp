// A person sets up the disk cleaner - a folder of their own and one more
// file specification - and lets it clean unattended before the action. On
// the simulated machine a deletion is journalled and the file stays.
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include <algorithm>
#include <string>
#include <vector>

#include "Journey.h"

using nocturo::test::ProgramOnDesktop;

namespace {

std::vector<std::string> listEntries(ProgramOnDesktop& p, const std::string& list, const std::string& window) {
    std::vector<std::string> out;
    if (auto* l = qobject_cast<QListWidget*>(p.widget(list, window)))
        for (int i = 0; i < l->count(); ++i) out.push_back(l->item(i)->text().toStdString());
    return out;
}

// The paths the cleaner deleted or put in the recycle bin.
std::vector<std::string> cleaned(const ProgramOnDesktop& p) {
    std::vector<std::string> out;
    for (const char* call : {"DeleteFile", "MoveToRecycleBin"})
        for (const std::string& entry : p.journalEntries(call)) out.push_back(entry);
    return out;
}

bool mentions(const std::vector<std::string>& entries, const std::string& path) {
    return std::any_of(entries.begin(), entries.end(),
                       [&](const std::string& e) { return e.find("\"" + path + "\"") != std::string::npos; });
}

void makeFile(const std::string& path) {
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
}

}  // namespace

TEST(Cleaner, AFolderSetUpIsCleanedOfItsSpecificationsBeforeTheAction) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    const std::string folder = p.scratchFolder();
    for (const char* name : {"/a.bak", "/b.old", "/keep.txt", "/b.old.txt"}) makeFile(folder + name);

    p.openOptions();
    bool setupShown = false;
    std::vector<std::string> folders, specs;
    // The setup window holds the main window's loop until it closes.
    ProgramOnDesktop::whenShown(
        [&]() -> QWidget* { return p.windowShown("frmCleanHDSetup") ? p.window("frmCleanHDSetup") : nullptr; },
        [&](QWidget*) {
            setupShown = true;
            const std::string setup = "frmCleanHDSetup";
            // Not the whole temp folder: only the folder of this journey.
            p.click("cmdRemoveDir", setup);
            bool browsed = false;
            ProgramOnDesktop::whenShown(
                [] {
                    for (QWidget* w : QApplication::topLevelWidgets())
                        if (qobject_cast<QFileDialog*>(w) && w->isVisible()) return w;
                    return static_cast<QWidget*>(nullptr);
                },
                [&](QWidget* dialog) {
                    browsed = true;
                    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                    if (!name) {
                        ADD_FAILURE() << "the folder chooser has no name field";
                        static_cast<QFileDialog*>(dialog)->reject();
                        return;
                    }
                    // Pasted, as typing lets the chooser wander off into
                    // each folder named on the way.
                    name->setFocus();
                    name->clear();
                    name->insert(QString::fromStdString(folder));
                    // The chooser's own button, not Return: Return may go
                    // to the completion list that typing opens.
                    QPushButton* choose = nullptr;
                    if (auto* buttons = dialog->findChild<QDialogButtonBox*>())
                        for (QAbstractButton* b : buttons->buttons())
                            if (buttons->buttonRole(b) == QDialogButtonBox::AcceptRole)
                                choose = qobject_cast<QPushButton*>(b);
                    if (!choose) {
                        ADD_FAILURE() << "the folder chooser has no button to choose with";
                        static_cast<QFileDialog*>(dialog)->reject();
                        return;
                    }
                    ProgramOnDesktop::waitFor([&] { return choose->isEnabled(); }, 2000);
                    QTest::mouseClick(choose, Qt::LeftButton);
                });
            p.click("cmdAddDir", setup);
            EXPECT_TRUE(browsed) << "no folder chooser";
            p.type("txtAdd", "*.old", setup);
            p.click("cmdAdd", setup);
            folders = listEntries(p, "lstDirectories", setup);
            specs = listEntries(p, "lstFileTypes", setup);
            p.click("tbTools(6)", setup);  // "Exit"
        });
    p.click("cmdSetupHDclean");
    ASSERT_TRUE(setupShown) << "no cleaner setup window";
    EXPECT_FALSE(p.windowShown("frmCleanHDSetup"));
    // Anything else would clean more than this journey's folder.
    ASSERT_EQ(folders, std::vector<std::string>{folder + "/"});
    EXPECT_EQ(specs, (std::vector<std::string>{"*.bak", "*.old"}));
    EXPECT_TRUE(p.windowShown("FrmMain"));

    // Unattended before the action; the first tick warns.
    auto boxes = ProgramOnDesktop::answerBoxes({{QStringLiteral("OK")}});
    p.click("chkCleanHD");
    ASSERT_EQ(boxes->size(), 1u);
    EXPECT_EQ(boxes->text(0),
              "This option is deleting files on your system.\nPlease select very carefully the file specifications!");
    EXPECT_TRUE(p.checked("chkCleanHD"));
    p.type("txtCounter", "0");
    ASSERT_TRUE(p.checked("chkForce"));  // no question before the action
    p.click("cmdOptions");
    boxes = ProgramOnDesktop::answerBoxes({{QStringLiteral("OK")}}, 15000);  // any box the cleaning shows
    p.click("cmdGo");
    ASSERT_TRUE(p.waitFor([&] { return !p.sessionEnds().empty(); }, 15000)) << "the action did not come";
    boxes->stop();
    EXPECT_EQ(boxes->size(), 0u) << "the unattended cleaning asked: " << boxes->text(0);
    const auto gone = cleaned(p);
    EXPECT_TRUE(mentions(gone, folder + "/a.bak")) << "a.bak was not cleaned";
    EXPECT_TRUE(mentions(gone, folder + "/b.old")) << "b.old was not cleaned";
    EXPECT_FALSE(mentions(gone, folder + "/keep.txt"));
    EXPECT_FALSE(mentions(gone, folder + "/b.old.txt"));
    EXPECT_EQ(gone.size(), 2u);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(folder + "/keep.txt")));
    EXPECT_EQ(p.errorLog(), "");
}
