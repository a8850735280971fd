#include "ui/LayoutCheck.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "ui/FormView.h"
#include "ui/LayoutRules.h"

namespace nocturo::ui {

namespace {

QString plain(QString text) { return text.remove(QLatin1Char('&')); }

LayoutRect rectOf(const QRect& r) { return {r.x(), r.y(), r.width(), r.height()}; }

// A control as the rules see it, measured with its own font.
LayoutItem itemOf(QWidget* w) {
    LayoutItem item;
    item.name = w->objectName().toStdString();
    item.rect = rectOf(w->geometry());
    const QFontMetrics fm(w->font());
    auto measure = [&](const QString& text) {
        item.text = text.toStdString();
        item.textWidth = fm.horizontalAdvance(text);
        item.textHeight = fm.height();
    };
    if (auto* l = qobject_cast<QLabel*>(w)) {
        measure(l->text());
        if (l->wordWrap()) {
            item.kind = LayoutKind::WrappedLabel;
            item.needHeight = l->text().isEmpty() ? 0 : l->heightForWidth(l->width());
        } else {
            item.kind = LayoutKind::Label;
        }
    } else if (auto* b = qobject_cast<QPushButton*>(w)) {
        item.kind = LayoutKind::Button;
        measure(plain(b->text()));
        item.text = b->text().toStdString();
    } else if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w)) {
        item.kind = LayoutKind::Choice;
        const QSize hint = w->sizeHint();
        item.needWidth = hint.width();
        item.needHeight = hint.height();
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        item.kind = LayoutKind::Frame;
        measure(plain(g->title()));
    } else if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w)) {
        item.kind = LayoutKind::Field;
        item.textHeight = fm.height();
    }
    return item;
}

}  // namespace

std::vector<std::string> LayoutProblems(const FormView& view) {
    std::vector<LayoutItem> items;
    for (QObject* o : view.children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w->isHidden() || w->isWindow()) continue;
        items.push_back(itemOf(w));
    }
    return LayoutRuleProblems(rectOf(view.rect()), items);
}

}  // namespace nocturo::ui
