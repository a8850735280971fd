#include "Journey.h"

#include "EventWait.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <regex>
#include <sstream>

#include "platform/sim/SimPlatform.h"
#include "platform/sim/SimSessionPower.h"
#include "shell/FrmMain.h"
#include "ui/FormView.h"

namespace nocturo::test {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

std::string withoutAccessKey(QString text) { return text.remove(QLatin1Char('&')).toStdString(); }

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

std::string controlOf(const std::string& event) {
    const auto dot = event.rfind('.');
    return dot == std::string::npos ? event : event.substr(0, dot);
}

ui::FormView* shownView(const std::string& form, bool mustBeVisible) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* view = qobject_cast<ui::FormView*>(w);
        if (!view || !view->attached() || view->objectName() != qs(form)) continue;
        if (mustBeVisible && !view->isVisible()) continue;
        return view;
    }
    return nullptr;
}

// The point a person clicks on: a box or option is hit on its mark, anything
// else in its middle.
QPoint clickPoint(QWidget* w) {
    if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w)) return {std::min(8, w->width() - 1), w->height() / 2};
    return w->rect().center();
}

void activate(QWidget* w) {
    QWidget* top = w->window();
    if (QApplication::activeWindow() == top) return;
    top->activateWindow();
    top->raise();
    static_cast<void>(QTest::qWaitForWindowActive(top, 2000));
}

}  // namespace

// ---------------------------------------------------------------------------

JourneyCoverage& JourneyCoverage::instance() {
    static JourneyCoverage coverage;
    return coverage;
}

void JourneyCoverage::install() {
    ui::FormView::setEventObserver([this](const Form& form, const std::string& event) {
        touched_.insert(form.formName() + ":" + controlOf(event));
    });
}

void JourneyCoverage::noteMainWindowHandlers(const std::vector<std::string>& events) {
    for (const std::string& e : events) {
        const std::string control = controlOf(e);
        if (control != "Program") handled_.insert(control);  // the program's own end, not a control
    }
}

std::vector<std::string> JourneyCoverage::untouchedMainWindowControls() const {
    std::vector<std::string> out;
    for (const std::string& c : handled_)
        if (!touched_.count("FrmMain:" + c)) out.push_back(c);
    return out;
}

// ---------------------------------------------------------------------------

ProgramOnDesktop::ProgramOnDesktop(ui::QtTray::Host trayHost, const std::string& commandLine) {
    if (!root_.isValid()) {
        ADD_FAILURE() << "no temporary folder";
        return;
    }
    // The installation: the program's folder, Common/ with the language
    // files and sounds beside it (and the error log of this run), temp/.
    const QDir root(root_.path());
    root.mkpath(QStringLiteral("program"));
    root.mkpath(QStringLiteral("Common"));
    root.mkpath(QStringLiteral("temp"));
    for (const char* part : {"language", "sound"})
        QFile::link(QStringLiteral(NOCTURO_SOURCE_DIR "/Common/") + QLatin1String(part),
                    root.filePath(QStringLiteral("Common/")) + QLatin1String(part));
    programFolder_ = root.filePath(QStringLiteral("program")).toStdString();
    registryPath_ = root.filePath(QStringLiteral("settings.reg")).toStdString();
    journalPath_ = root.filePath(QStringLiteral("journal.jsonl")).toStdString();
    setenv("NOCTURO_SIM_JOURNAL", journalPath_.c_str(), 1);

    platform::SimOptions options;
    options.programFolder = programFolder_;
    options.registryPath = registryPath_;
    host_ = platform::MakeSimPlatform(options);
    // The session's end would end this process with the program: the
    // journey notes it and goes on looking.
    if (auto* power = dynamic_cast<platform::SimSessionPower*>(host_->pf.power))
        power->setSessionEndHook([this](std::uint32_t flags) { sessionEnds_.push_back(flags); });
    program_ = std::make_unique<ui::DesktopProgram>(*host_, trayHost);
    JourneyCoverage::instance().noteMainWindowHandlers(program_->form().handledEvents());
    if (!program_->start(commandLine)) {
        ADD_FAILURE() << "the program ended at start with " << program_->exitCode();
        return;
    }
    started_ = waitFor([&] { return windowShown("FrmMain"); });
    if (!started_) ADD_FAILURE() << "the main window never showed";
}

ProgramOnDesktop::~ProgramOnDesktop() {
    if (program_ && !program_->form().unloaded()) {
        program_->form().UnloadProgram();
        waitFor([&] { return program_->form().unloaded(); }, 5000);
    }
    program_.reset();
    // The views of the ended run go now, not in the next journey.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    host_.reset();
}

bool ProgramOnDesktop::ended() const { return program_ && program_->form().unloaded(); }

ui::QtTray& ProgramOnDesktop::tray() { return program_->tray(); }

QWidget* ProgramOnDesktop::window(const std::string& form) const { return shownView(form, false); }

bool ProgramOnDesktop::windowShown(const std::string& form) const { return shownView(form, true) != nullptr; }

QWidget* ProgramOnDesktop::widget(const std::string& control, const std::string& windowName) const {
    QWidget* view = window(windowName);
    return view ? view->findChild<QWidget*>(qs(control)) : nullptr;
}

std::string ProgramOnDesktop::caption(const std::string& control, const std::string& windowName) const {
    QWidget* w = widget(control, windowName);
    if (!w) return "<no " + control + ">";
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text().toStdString();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text().toStdString();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText().toStdString();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title().toStdString();
    return "";
}

bool ProgramOnDesktop::checked(const std::string& control, const std::string& windowName) const {
    auto* b = qobject_cast<QAbstractButton*>(widget(control, windowName));
    return b && b->isChecked();
}

std::string ProgramOnDesktop::title() const {
    QWidget* view = window("FrmMain");
    return view ? view->windowTitle().toStdString() : "";
}

void ProgramOnDesktop::click(const std::string& control, const std::string& windowName) {
    QWidget* w = widget(control, windowName);
    ASSERT_NE(w, nullptr) << control << " is not in " << windowName;
    ASSERT_TRUE(w->isVisible()) << control << " is not on the screen";
    ASSERT_TRUE(w->isEnabled()) << control << " is greyed out";
    activate(w);
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, clickPoint(w));
}

void ProgramOnDesktop::typeAfterClick(const std::string& control, const std::string& text,
                                      const std::string& windowName) {
    click(control, windowName);
    QWidget* w = widget(control, windowName);
    if (!w) return;
    QTest::keyClicks(w, qs(text));
}

void ProgramOnDesktop::type(const std::string& control, const std::string& text, const std::string& windowName) {
    click(control, windowName);
    QWidget* w = widget(control, windowName);
    if (!w) return;
    QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(w, qs(text));
}

void ProgramOnDesktop::press(int qtKey) {
    QWidget* target = QApplication::focusWidget();
    if (!target) target = QApplication::activeWindow();
    ASSERT_NE(target, nullptr) << "nothing has the keyboard";
    QTest::keyClick(target, static_cast<Qt::Key>(qtKey));
}

void ProgramOnDesktop::choose(const std::string& comboName, const std::string& entry, const std::string& windowName) {
    auto* combo = qobject_cast<QComboBox*>(widget(comboName, windowName));
    ASSERT_NE(combo, nullptr) << comboName << " is no drop-down list";
    const int row = combo->findText(qs(entry));
    ASSERT_GE(row, 0) << comboName << " has no entry " << entry;
    click(comboName, windowName);
    QAbstractItemView* list = combo->view();
    ASSERT_TRUE(waitFor([&] { return list->isVisible(); }, 3000)) << comboName << " did not open";
    // The list ignores a release that comes too soon after it opened.
    wait(QApplication::doubleClickInterval() + 100);
    const QRect item = list->visualRect(list->model()->index(row, combo->modelColumn()));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, item.center());
    EXPECT_TRUE(waitFor([&] { return !list->isVisible(); }, 3000)) << comboName << " stayed open";
}

void ProgramOnDesktop::openOptions(const std::optional<std::string>& password) {
    ASSERT_EQ(caption("cmdOptions"), "&Options") << "the options panel is open already";
    // Without a password a box that comes all the same is cancelled (and
    // told), so that the journey does not hang in it.
    auto boxes = answerBoxes({{password ? QStringLiteral("OK") : QStringLiteral("Cancel"), password}}, 3000);
    click("cmdOptions");
    boxes->stop();
    if (password) {
        ASSERT_EQ(boxes->size(), 1u) << "no password box";
        EXPECT_EQ(boxes->text(0), "Options Menu Password :");
    } else {
        EXPECT_EQ(boxes->size(), 0u) << "a box came without a password: " << boxes->text(0);
    }
    EXPECT_TRUE(waitFor([&] { return caption("cmdOptions") == "Save &Options"; }, 3000)) << "the options panel stayed shut";
}

namespace {

void answerFrom(const std::shared_ptr<ProgramOnDesktop::Boxes>& seen,
                const std::shared_ptr<const std::vector<ProgramOnDesktop::BoxReply>>& replies, std::size_t i, int ms) {
    if (i >= replies->size()) return;
    ProgramOnDesktop::whenShown(
        [seen]() -> QWidget* { return seen->stopped ? nullptr : ProgramOnDesktop::shownBox(); },
        [=](QWidget* box) {
            ProgramOnDesktop::SeenBox what{box->windowTitle().toStdString(), ""};
            if (auto* m = qobject_cast<QMessageBox*>(box)) what.text = m->text().toStdString();
            if (auto* d = qobject_cast<QInputDialog*>(box)) what.text = d->labelText().toStdString();
            seen->seen.push_back(what);
            const ProgramOnDesktop::BoxReply& reply = (*replies)[i];
            if (reply.typed) {
                if (auto* entry = box->findChild<QLineEdit*>()) {
                    entry->setFocus();
                    QTest::keyClick(entry, Qt::Key_A, Qt::ControlModifier);
                    QTest::keyClicks(entry, qs(*reply.typed));
                } else {
                    ADD_FAILURE() << "no field to type into in the box \"" << what.text << "\"";
                }
            }
            // The next box is looked for before this one's answer lets it come.
            answerFrom(seen, replies, i + 1, ms);
            ProgramOnDesktop::pressButton(box, reply.button);
        },
        ms);
}

}  // namespace

std::shared_ptr<ProgramOnDesktop::Boxes> ProgramOnDesktop::answerBoxes(std::vector<BoxReply> replies, int ms) {
    auto seen = std::make_shared<Boxes>();
    answerFrom(seen, std::make_shared<const std::vector<BoxReply>>(std::move(replies)), 0, ms);
    return seen;
}

void ProgramOnDesktop::whenShown(std::function<QWidget*()> pick, std::function<void(QWidget*)> act, int ms,
                                 std::function<void()> onTimeout) {
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [=] {
        if (QWidget* w = pick(); w && w->isVisible()) {
            act(w);
            *poll = nullptr;  // breaks the cycle
            return;
        }
        if (started->elapsed() > ms) {
            if (onTimeout) onTimeout();
            *poll = nullptr;
            return;
        }
        QTimer::singleShot(50, [poll] {
            if (*poll) (*poll)();
        });
    };
    QTimer::singleShot(50, [poll] {
        if (*poll) (*poll)();
    });
}

QWidget* ProgramOnDesktop::shownBox() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if ((qobject_cast<QMessageBox*>(w) || qobject_cast<QInputDialog*>(w)) && w->isVisible()) return w;
    return nullptr;
}

void ProgramOnDesktop::pressButton(QWidget* box, const QString& text) {
    for (QAbstractButton* b : box->findChildren<QAbstractButton*>())
        if (b->isVisible() && withoutAccessKey(b->text()) == text.toStdString()) {
            b->click();
            return;
        }
    ADD_FAILURE() << "the box has no button " << text.toStdString();
    // Closed all the same: a box left open would hold the journey forever.
    if (auto* dialog = qobject_cast<QDialog*>(box)) dialog->reject();
}

bool ProgramOnDesktop::trayReady() {
    return waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 15000);
}

void ProgramOnDesktop::sendToTray() {
    click("imgSysTray");
    EXPECT_TRUE(waitFor([&] { return !windowShown("FrmMain"); }, 3000)) << "the window stayed";
    EXPECT_TRUE(waitFor([&] { return tray().trayIcon().isVisible(); }, 3000)) << "no icon";
}

std::vector<std::string> ProgramOnDesktop::useTrayMenu(const std::string& entry) {
    std::vector<std::string> shown;
    bool opened = false, found = entry.empty();
    whenShown([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); },
              [&](QWidget* w) {
                  auto* menu = static_cast<QMenu*>(w);
                  opened = true;
                  QAction* chosen = nullptr;
                  for (QAction* a : menu->actions()) {
                      if (a->isSeparator()) continue;
                      shown.push_back(a->text().toStdString());
                      if (a->text().toStdString() == entry) chosen = a;
                  }
                  if (!chosen) {
                      QTest::keyClick(menu, Qt::Key_Escape);
                      return;
                  }
                  found = true;
                  QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(chosen).center());
              },
              5000);
    // What the desktop reports for a right click on the icon.
    Q_EMIT tray().trayIcon().activated(QSystemTrayIcon::Context);
    EXPECT_TRUE(waitFor([&] { return opened; }, 5000)) << "the tray menu did not open";
    EXPECT_TRUE(found) << "the tray menu has no entry " << entry;
    return shown;
}

std::string ProgramOnDesktop::trayTip() { return tray().trayIcon().toolTip().toStdString(); }

bool ProgramOnDesktop::waitFor(const std::function<bool()>& condition, int ms) {
    return ProcessEventsUntil(condition, ms);
}

void ProgramOnDesktop::wait(int ms) { QTest::qWait(ms); }

std::vector<std::string> ProgramOnDesktop::journal() const {
    std::vector<std::string> calls;
    static const std::regex call("\"call\"\\s*:\\s*\"([^\"]*)\"");
    for (const std::string& line : lines(readFile(journalPath_))) {
        std::smatch m;
        if (std::regex_search(line, m, call)) calls.push_back(m[1]);
    }
    return calls;
}

int ProgramOnDesktop::journalCount(const std::string& name) const {
    const auto calls = journal();
    return static_cast<int>(std::count(calls.begin(), calls.end(), name));
}

std::vector<std::string> ProgramOnDesktop::journalEntries(const std::string& name) const {
    std::vector<std::string> out;
    const std::string key = "\"call\":\"" + name + "\"";
    for (const std::string& line : lines(readFile(journalPath_))) {
        std::string packed;
        for (char c : line)
            if (c != ' ') packed += c;
        if (packed.find(key) != std::string::npos) out.push_back(line);
    }
    return out;
}

std::string ProgramOnDesktop::scratchFolder() const {
    const QDir root(root_.path());
    root.mkpath(QStringLiteral("scratch"));
    return root.filePath(QStringLiteral("scratch")).toStdString();
}

std::vector<std::string> ProgramOnDesktop::actionLog() const {
    return ActionLogEvents(readFile(programFolder_ + "/Nocturo.log"));
}

std::string ProgramOnDesktop::setting(const std::string& name) const {
    // The file is UTF-16LE; the names and values the journeys look at are ASCII.
    std::string text;
    for (char c : readFile(registryPath_))
        if (c != '\0') text += c;
    const std::string key = "\"" + name + "\"=";
    for (const std::string& line : lines(text)) {
        if (line.rfind(key, 0) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        return value;
    }
    return "";
}

std::string ProgramOnDesktop::errorLog() const {
    const std::string log = readFile(QDir(root_.path()).filePath(QStringLiteral("Common/error.log")).toStdString());
    static const std::string headerEnd = "########  End of Header  ##########\n";
    const auto end = log.find(headerEnd);
    return end == std::string::npos ? log : log.substr(end + headerEnd.size());
}

// ---------------------------------------------------------------------------

ClockTime ClockTime::inSeconds(int seconds) {
    const std::time_t then = std::time(nullptr) + seconds;
    std::tm local{};
    localtime_r(&then, &local);
    return {local.tm_hour, local.tm_min, local.tm_sec, (local.tm_wday + 6) % 7};
}

namespace {
std::string twoDigits(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }
}  // namespace

std::string ClockTime::hh() const { return twoDigits(hour); }
std::string ClockTime::mm() const { return twoDigits(minute); }
std::string ClockTime::ss() const { return twoDigits(second); }

}  // namespace nocturo::test
