#include <gtest/gtest.h>

#include <QDialog>
#include <QGuiApplication>
#include <QCursor>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

#include "ui/QtDialogs.h"

namespace nocturo::ui {
namespace {

namespace mb = platform::mb;

// Waits (from the dialog's own loop) for the next modal dialog to open and
// hands it to act. Polls, so it also finds a box opened after a delay.
void whenModalOpens(std::function<void(QWidget*)> act, int triesLeft = 200) {
    QTimer::singleShot(10, [act = std::move(act), triesLeft]() mutable {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            act(modal);
        } else if (triesLeft > 0) {
            whenModalOpens(std::move(act), triesLeft - 1);
        }
    });
}

QPushButton* buttonOf(QWidget* modal, QMessageBox::StandardButton which) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    return box ? qobject_cast<QPushButton*>(box->button(which)) : nullptr;
}

QInputDialog* asInput(QWidget* modal) { return qobject_cast<QInputDialog*>(modal); }

// ---- message box --------------------------------------------------------------

TEST(QtDialogs, MessageBoxReturnsTheClickedButton) {
    QtDialogs dialogs;
    whenModalOpens([](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Nocturo"));
        EXPECT_EQ(box->text(), QStringLiteral("Continue?"));
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        EXPECT_EQ(box->buttons().size(), 2);
        buttonOf(modal, QMessageBox::No)->click();
    });
    EXPECT_EQ(dialogs.messageBox("Continue?", mb::YesNo | mb::Question, "Nocturo"), mb::IdNo);

    whenModalOpens([](QWidget* modal) { buttonOf(modal, QMessageBox::Yes)->click(); });
    EXPECT_EQ(dialogs.messageBox("Continue?", mb::YesNo, "Nocturo"), mb::IdYes);
}

TEST(QtDialogs, MessageBoxButtonSetsAndAnswers) {
    struct Case {
        int style;
        QMessageBox::StandardButton click;
        int answer;
        int count;
    };
    const Case cases[] = {
        {mb::OkOnly, QMessageBox::Ok, mb::IdOk, 1},
        {mb::OkCancel, QMessageBox::Cancel, mb::IdCancel, 2},
        {mb::AbortRetryIgnore, QMessageBox::Ignore, mb::IdIgnore, 3},
        {mb::AbortRetryIgnore, QMessageBox::Abort, mb::IdAbort, 3},
        {mb::YesNoCancel, QMessageBox::Cancel, mb::IdCancel, 3},
        {mb::RetryCancel, QMessageBox::Retry, mb::IdRetry, 2},
    };
    QtDialogs dialogs;
    for (const Case& c : cases) {
        int count = 0;
        whenModalOpens([&](QWidget* modal) {
            count = static_cast<int>(qobject_cast<QMessageBox*>(modal)->buttons().size());
            buttonOf(modal, c.click)->click();
        });
        EXPECT_EQ(dialogs.messageBox("?", c.style, "t"), c.answer) << "style " << c.style;
        EXPECT_EQ(count, c.count) << "style " << c.style;
    }
}

TEST(QtDialogs, MessageBoxIcons) {
    const std::pair<int, QMessageBox::Icon> cases[] = {
        {0, QMessageBox::NoIcon},
        {mb::Critical, QMessageBox::Critical},
        {mb::Question, QMessageBox::Question},
        {mb::Exclamation, QMessageBox::Warning},
        {mb::Information, QMessageBox::Information},
    };
    QtDialogs dialogs;
    for (const auto& [style, icon] : cases) {
        QMessageBox::Icon seen = QMessageBox::NoIcon;
        whenModalOpens([&seen](QWidget* modal) {
            seen = qobject_cast<QMessageBox*>(modal)->icon();
            buttonOf(modal, QMessageBox::Ok)->click();
        });
        dialogs.messageBox("x", style, "t");
        EXPECT_EQ(seen, icon) << "style " << style;
    }
}

// Enter on the box presses its default button.
int answerWithEnter(QtDialogs& dialogs, int style) {
    whenModalOpens([](QWidget* modal) {
        QWidget* focus = modal->focusWidget();
        ASSERT_NE(focus, nullptr);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(focus, &enter);
    });
    return dialogs.messageBox("?", style, "t");
}

TEST(QtDialogs, MessageBoxDefaultButton) {
    QtDialogs dialogs;
    EXPECT_EQ(answerWithEnter(dialogs, mb::YesNo), mb::IdYes);
    EXPECT_EQ(answerWithEnter(dialogs, mb::YesNo | mb::DefaultButton2), mb::IdNo);
    EXPECT_EQ(answerWithEnter(dialogs, mb::YesNoCancel | mb::DefaultButton3), mb::IdCancel);
    EXPECT_EQ(answerWithEnter(dialogs, mb::AbortRetryIgnore | mb::DefaultButton2), mb::IdRetry);
    // A default beyond the set falls back to the first button.
    EXPECT_EQ(answerWithEnter(dialogs, mb::OkCancel | mb::DefaultButton3), mb::IdOk);
}

TEST(QtDialogs, SystemModalBoxStaysOnTop) {
    QtDialogs dialogs;
    bool onTop = true, modal = false;
    whenModalOpens([&](QWidget* w) {
        onTop = w->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        modal = w->windowModality() == Qt::ApplicationModal;
        buttonOf(w, QMessageBox::Ok)->click();
    });
    dialogs.messageBox("x", mb::OkOnly, "t");
    EXPECT_FALSE(onTop);
    EXPECT_TRUE(modal);

    whenModalOpens([&](QWidget* w) {
        onTop = w->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        modal = w->windowModality() == Qt::ApplicationModal;
        buttonOf(w, QMessageBox::Ok)->click();
    });
    dialogs.messageBox("x", mb::OkOnly | mb::SystemModal | mb::Information, "t");
    EXPECT_TRUE(onTop);
    EXPECT_TRUE(modal);
}

TEST(QtDialogs, ClosedBoxAnswersCancel) {
    QtDialogs dialogs;
    whenModalOpens([](QWidget* modal) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(modal, &escape);
    });
    EXPECT_EQ(dialogs.messageBox("?", mb::OkCancel, "t"), mb::IdCancel);
}

TEST(QtDialogs, PromptIsPlainText) {
    QtDialogs dialogs;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    whenModalOpens([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        text = box->text();
        format = box->textFormat();
        buttonOf(modal, QMessageBox::Ok)->click();
    });
    dialogs.messageBox("1 < 2\r\n<b>not bold</b>", mb::OkOnly, "t");
    EXPECT_EQ(text, QStringLiteral("1 < 2\n<b>not bold</b>"));
    EXPECT_EQ(format, Qt::PlainText);

    bool plainLabel = false;
    whenModalOpens([&](QWidget* modal) {
        for (auto* label : modal->findChildren<QLabel*>())
            if (label->text() == QStringLiteral("<i>x</i>")) plainLabel = label->textFormat() == Qt::PlainText;
        asInput(modal)->reject();
    });
    dialogs.inputBox("<i>x</i>", "t", "");
    EXPECT_TRUE(plainLabel);
}

TEST(QtDialogs, EmptyTitleShowsTheApplicationName) {
    QtDialogs dialogs;
    QString title;
    whenModalOpens([&](QWidget* modal) {
        title = modal->windowTitle();
        buttonOf(modal, QMessageBox::Ok)->click();
    });
    dialogs.messageBox("x", mb::OkOnly, "");
    EXPECT_EQ(title, QApplication::applicationName());
}

// ---- input box ----------------------------------------------------------------

TEST(QtDialogs, InputBoxReturnsTheEntry) {
    QtDialogs dialogs;
    whenModalOpens([](QWidget* modal) {
        auto* input = asInput(modal);
        ASSERT_NE(input, nullptr);
        EXPECT_EQ(input->windowTitle(), QStringLiteral("Nocturo"));
        EXPECT_EQ(input->labelText(), QStringLiteral("Options Menu Password :"));
        EXPECT_EQ(input->textValue(), QStringLiteral("preset"));
        input->setTextValue(QStringLiteral("s\u00e9cret"));
        input->accept();
    });
    EXPECT_EQ(dialogs.inputBox("Options Menu Password :", "Nocturo", "preset"), std::optional<std::string>("s\xc3\xa9" "cret"));
}

TEST(QtDialogs, InputBoxTellsCancelFromAnEmptyEntry) {
    QtDialogs dialogs;
    whenModalOpens([](QWidget* modal) {
        asInput(modal)->setTextValue(QString());
        asInput(modal)->accept();
    });
    EXPECT_EQ(dialogs.inputBox("p", "t", "x"), std::optional<std::string>(""));

    whenModalOpens([](QWidget* modal) { asInput(modal)->reject(); });
    EXPECT_EQ(dialogs.inputBox("p", "t", "x"), std::nullopt);
}

// ---- folder and file choosers -------------------------------------------------

TEST(QtDialogs, FilterConversion) {
    EXPECT_EQ(QtDialogs::toQtFilter("Program Files (*.exe)|*.exe|All Files (*.*)|*.*"),
              QStringLiteral("Program Files (*.exe);;All Files (*.*)"));
    EXPECT_EQ(QtDialogs::toQtFilter("Texts|*.txt;*.log"), QStringLiteral("Texts (*.txt *.log)"));
    EXPECT_EQ(QtDialogs::toQtFilter(""), QString());
}

TEST(QtDialogs, BrowseForFolderStartsThereAndReturnsTheChoice) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    ASSERT_TRUE(QDir(root.path()).mkdir(QStringLiteral("sub")));
    const QString sub = QDir(root.path()).filePath(QStringLiteral("sub"));
    QtDialogs dialogs;

    QString startedIn;
    whenModalOpens([&](QWidget* modal) {
        auto* chooser = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(chooser, nullptr);
        EXPECT_EQ(chooser->windowTitle(), QStringLiteral("Choose a folder"));
        EXPECT_EQ(chooser->fileMode(), QFileDialog::Directory);
        startedIn = chooser->directory().absolutePath();
        static_cast<QDialog*>(chooser)->accept();  // QFileDialog::accept is protected
    });
    EXPECT_EQ(dialogs.browseForFolder("Choose a folder", sub.toStdString(), false), sub.toStdString());
    EXPECT_EQ(startedIn, sub);

    whenModalOpens([](QWidget* modal) { qobject_cast<QFileDialog*>(modal)->reject(); });
    EXPECT_EQ(dialogs.browseForFolder("Choose a folder", root.path().toStdString(), true), "");
}

TEST(QtDialogs, OpenFileUsesTheFilterAndReturnsTheChoice) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString file = QDir(root.path()).filePath(QStringLiteral("tool.exe"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QtDialogs dialogs;

    QStringList filters;
    whenModalOpens([&](QWidget* modal) {
        auto* chooser = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(chooser, nullptr);
        filters = chooser->nameFilters();
        chooser->selectFile(file);
        static_cast<QDialog*>(chooser)->accept();  // QFileDialog::accept is protected
    });
    EXPECT_EQ(dialogs.openFile("Program", "Program Files (*.exe)|*.exe|All Files (*.*)|*.*"), file.toStdString());
    EXPECT_EQ(filters, (QStringList{QStringLiteral("Program Files (*.exe)"), QStringLiteral("All Files (*.*)")}));

    whenModalOpens([](QWidget* modal) { qobject_cast<QFileDialog*>(modal)->reject(); });
    EXPECT_EQ(dialogs.openFile("Program", "All Files (*.*)|*.*"), "");
}

// ---- timed boxes --------------------------------------------------------------

TEST(QtDialogs, TimedOkBoxClosesItselfWithOk) {
    QtDialogs dialogs;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(dialogs.timedMessageBox("The clock is set.", mb::Information, "Nocturo", 1), mb::IdOk);
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_TRUE(dialogs.timedTitle().isEmpty());
}

// Two Tabs on a two-button box come back to the default button, which Enter
// presses: Yes unless DefaultButton2 makes it No.
TEST(QtDialogs, TimedYesNoBoxAnswersItsDefault) {
    QtDialogs dialogs;
    EXPECT_EQ(dialogs.timedMessageBox("Continue?", mb::YesNo | mb::Question, "Nocturo", 1), mb::IdYes);
    EXPECT_EQ(dialogs.timedMessageBox("Continue?", mb::YesNo | mb::DefaultButton2, "Nocturo", 1), mb::IdNo);
}

// With three buttons the two Tabs move on two places: Yes, No, Cancel from Yes gives Cancel.
TEST(QtDialogs, TimedThreeButtonBoxAnswersTwoPlacesOn) {
    QtDialogs dialogs;
    EXPECT_EQ(dialogs.timedMessageBox("Save?", mb::YesNoCancel, "Nocturo", 1), mb::IdCancel);
    EXPECT_EQ(dialogs.timedMessageBox("Save?", mb::YesNoCancel | mb::DefaultButton2, "Nocturo", 1), mb::IdYes);
}

// From the entry, Tab goes to OK, then to Cancel: a box left alone is cancelled.
TEST(QtDialogs, TimedInputBoxLeftAloneIsCancelled) {
    QtDialogs dialogs;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(dialogs.timedInputBox("Options Menu Password :", "Nocturo", "", 1), std::nullopt);
    EXPECT_GE(clock.elapsed(), 900);
}

// An answered box takes its time-out with it: a later box with the same
// title (the exit question after the password box, both titled "Nocturo")
// waits for the user, however long.
TEST(QtDialogs, TimedBoxAnsweredInTimeLeavesNoTimeOutForALaterBox) {
    QtDialogs dialogs;
    whenModalOpens([](QWidget* modal) { asInput(modal)->reject(); });
    EXPECT_EQ(dialogs.timedPasswordBox("Options Menu Password :", "Nocturo", 1), std::nullopt);
    EXPECT_TRUE(dialogs.timedTitle().isEmpty());

    QElapsedTimer clock;
    clock.start();
    qint64 answeredAfter = -1;
    // Answered by the test after 2 s, twice the first box's time-out.
    whenModalOpens([&](QWidget* modal) {
        while (clock.elapsed() < 2000 && modal->isVisible()) QApplication::processEvents(QEventLoop::AllEvents, 20);
        answeredAfter = modal->isVisible() ? clock.elapsed() : -1;
        if (modal->isVisible()) buttonOf(modal, QMessageBox::No)->click();
    });
    EXPECT_EQ(dialogs.messageBox("Are you sure to Exit Program ?", mb::YesNo | mb::Question, "Nocturo"), mb::IdNo);
    EXPECT_GE(answeredAfter, 2000) << "the box was answered by a time-out that was not its own";
}

TEST(QtDialogs, TimedBoxAnsweredInTimeKeepsTheAnswer) {
    QtDialogs dialogs;
    whenModalOpens([](QWidget* modal) { buttonOf(modal, QMessageBox::No)->click(); });
    EXPECT_EQ(dialogs.timedMessageBox("Continue?", mb::YesNo, "Nocturo", 1), mb::IdNo);
    EXPECT_TRUE(dialogs.timedTitle().isEmpty());
}

// The password box shows dots for what is typed, and returns the text.
TEST(QtDialogs, PasswordBoxHidesTheEntry) {
    QtDialogs dialogs;
    QLineEdit::EchoMode mode = QLineEdit::Normal;
    whenModalOpens([&](QWidget* modal) {
        QInputDialog* input = asInput(modal);
        mode = input->textEchoMode();
        input->setTextValue(QStringLiteral("s3cret"));
        input->accept();
    });
    EXPECT_EQ(dialogs.timedPasswordBox("Options Menu Password :", "Nocturo", 10), std::optional<std::string>("s3cret"));
    EXPECT_EQ(mode, QLineEdit::Password);
    EXPECT_TRUE(dialogs.timedTitle().isEmpty());
}

// The second timed box takes over the time-out: the first one's time no
// longer counts, and it is the second box that answers itself.
TEST(QtDialogs, SecondTimedBoxReplacesTheFirstTimeOut) {
    QtDialogs dialogs;
    int inner = 0;
    qint64 innerMs = 0;
    bool firstStillOpen = false;
    whenModalOpens([&](QWidget* first) {
        // Opened inside the first box (time-out 1 s): a second with 2 s.
        QElapsedTimer clock;
        clock.start();
        inner = dialogs.timedMessageBox("Second", mb::YesNo | mb::DefaultButton2, "Second box", 2);
        innerMs = clock.elapsed();
        // The first box has no time-out left: it stays open until answered.
        clock.restart();
        while (clock.elapsed() < 1200) QApplication::processEvents(QEventLoop::AllEvents, 20);
        firstStillOpen = first->isVisible();
        buttonOf(first, QMessageBox::Ok)->click();
    });
    EXPECT_EQ(dialogs.timedMessageBox("First", mb::OkCancel | mb::DefaultButton2, "First box", 1), mb::IdOk);
    EXPECT_EQ(inner, mb::IdNo);
    EXPECT_GE(innerMs, 1900);  // its full 2 s, not the 1 s left to the first
    EXPECT_TRUE(firstStillOpen);
}

// A box belongs to the window the user works in, so it stays above that
// window even when the window is kept above all others; with none of ours
// active it stands alone.
TEST(QtDialogs, BoxesBelongToTheActiveWindow) {
    QtDialogs dialogs;
    QWidget* parentSeen = reinterpret_cast<QWidget*>(1);
    whenModalOpens([&](QWidget* w) {
        parentSeen = w->parentWidget();
        buttonOf(w, QMessageBox::Ok)->click();
    });
    dialogs.messageBox("x", mb::OkOnly, "t");
    EXPECT_EQ(parentSeen, nullptr);

    QWidget main;
    main.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    main.show();
    QApplication::setActiveWindow(&main);
    ASSERT_EQ(QApplication::activeWindow(), &main);
    whenModalOpens([&](QWidget* w) {
        parentSeen = w->parentWidget();
        buttonOf(w, QMessageBox::Ok)->click();
    });
    dialogs.messageBox("x", mb::OkOnly, "t");
    EXPECT_EQ(parentSeen, &main);

    // No longer active, but still kept on top: it still owns the box.
    QApplication::setActiveWindow(nullptr);
    whenModalOpens([&](QWidget* w) {
        parentSeen = w->parentWidget();
        static_cast<QDialog*>(w)->reject();
    });
    EXPECT_EQ(dialogs.inputBox("x", "t", ""), std::nullopt);
    EXPECT_EQ(parentSeen, &main);
}

// A box opened while the program shows the busy pointer (the version check)
// gets the normal pointer; the busy one comes back when it closes.
TEST(QtDialogs, BoxesShowTheNormalPointerWhileTheProgramIsBusy) {
    QtDialogs dialogs;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    bool busyWhileOpen = true;
    whenModalOpens([&](QWidget* w) {
        busyWhileOpen = QGuiApplication::overrideCursor() != nullptr;
        buttonOf(w, QMessageBox::Ok)->click();
    });
    dialogs.messageBox("x", mb::OkOnly, "t");
    EXPECT_FALSE(busyWhileOpen);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QGuiApplication::restoreOverrideCursor();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace nocturo::ui
