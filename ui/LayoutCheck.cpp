#include "ui/LayoutCheck.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <set>
#include <utility>

#include "ui/FormView.h"

namespace nocturo::ui {

namespace {

// Controls drawn over others by design: the drag area lies over the small
// clock's headers, the splash's titles over their shadows.
bool overlapAllowed(const QString& a, const QString& b) {
    static const std::set<std::pair<QString, QString>> pairs{
        {"Image1", "lblTimeHeader"},     {"Image1", "lblShutdownTimeHeader"}, {"lblTitleShadow", "lblTitle"},
        {"lblVersionShadow", "lblVersion"}, {"imgMinimize", "Image1"},
    };
    return pairs.count({a, b}) > 0 || pairs.count({b, a}) > 0;
}

QString plain(QString text) { return text.remove(QLatin1Char('&')); }

}  // namespace

std::vector<std::string> LayoutProblems(const FormView& view) {
    std::vector<std::string> problems;
    auto problem = [&](const QWidget* w, const QString& what) {
        problems.push_back((w->objectName() + QStringLiteral(": ") + what).toStdString());
    };
    const QRect window = view.rect();
    std::vector<QWidget*> shown;
    for (QObject* o : view.children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w->isHidden() || w->isWindow()) continue;
        // Only what lies in the window's current size is on the screen (the
        // options panel lies beyond the normal window's edges).
        if (!window.intersects(w->geometry())) continue;
        shown.push_back(w);
        if (!window.contains(w->geometry())) problem(w, QStringLiteral("sticks out of the window"));
    }

    for (size_t i = 0; i < shown.size(); ++i)
        for (size_t j = i + 1; j < shown.size(); ++j) {
            QWidget* a = shown[i];
            QWidget* b = shown[j];
            if (!a->geometry().intersects(b->geometry())) continue;
            if (overlapAllowed(a->objectName(), b->objectName())) continue;
            const bool frameHolds = (qobject_cast<QGroupBox*>(a) && a->geometry().contains(b->geometry())) ||
                                    (qobject_cast<QGroupBox*>(b) && b->geometry().contains(a->geometry()));
            if (!frameHolds) problem(a, QStringLiteral("overlaps ") + b->objectName());
        }

    for (QWidget* w : shown) {
        const QFontMetrics fm(w->font());
        if (auto* l = qobject_cast<QLabel*>(w)) {
            if (l->text().isEmpty() || l->wordWrap()) {
                if (l->wordWrap() && l->heightForWidth(l->width()) > l->height())
                    problem(w, QStringLiteral("wrapped text is cut off"));
                continue;
            }
            if (fm.horizontalAdvance(l->text()) > l->width()) problem(w, QStringLiteral("text is cut off: ") + l->text());
            if (fm.height() > l->height() + 1) problem(w, QStringLiteral("text is too tall"));
        } else if (auto* b = qobject_cast<QPushButton*>(w)) {
            if (fm.horizontalAdvance(plain(b->text())) + 8 > b->width())
                problem(w, QStringLiteral("caption is cut off: ") + b->text());
            if (fm.height() + 4 > b->height()) problem(w, QStringLiteral("caption is too tall"));
        } else if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w)) {
            const QSize hint = w->sizeHint();
            if (hint.width() > w->width()) problem(w, QStringLiteral("caption is cut off"));
            if (hint.height() > w->height() + 2) problem(w, QStringLiteral("caption is too tall"));
        } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
            if (fm.horizontalAdvance(plain(g->title())) + 16 > g->width()) problem(w, QStringLiteral("title is cut off"));
        } else if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w)) {
            if (fm.height() + 4 > w->height()) problem(w, QStringLiteral("text is too tall for the field"));
        }
    }
    return problems;
}

}  // namespace nocturo::ui
