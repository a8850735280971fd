#pragma once
// A window on the desktop for any form model: one Qt widget per control,
// placed from the model's twips at the screen's logical resolution (1440
// twips an inch), repainted from the model's change listener, with the
// user's input forwarded to the model as named events ("cmdGo.Click",
// "txtHour(3).Change", "Image1.MouseDown"). The view holds no behaviour of
// its own.
#include <QPixmap>
#include <QPoint>
#include <QWidget>

#include <functional>
#include <map>
#include <string>

#include "controls/Controls.h"

namespace nocturo::ui {

class FormView : public QWidget {
    Q_OBJECT

public:
    // The model must outlive the view; the view takes over its change listener.
    explicit FormView(Form& model, QWidget* parent = nullptr);
    ~FormView() override;

    Form& form() const { return form_; }
    // The widget showing a control ("cmdGo", "optActions(2)"), null for one not shown.
    QWidget* widgetFor(const std::string& fullName) const;
    // Twips to pixels at this widget's logical resolution.
    int twipsToPixelsX(int twips) const;
    int twipsToPixelsY(int twips) const;
    // One of the program's pictures by name ("digit3", "idle"); null if unknown.
    static QPixmap picture(const std::string& name);
    // A colour value of the forms (0xBBGGRR; the system colours 0x800000xx
    // are the palette's own) as a Qt colour.
    static QColor toColor(long value, const QColor& systemColor);

    // Starts moving the window with the mouse until the left button is released.
    void beginDrag();
    bool dragging() const { return dragging_; }

    // Re-reads every control and the window from the model.
    void refreshAll();
    // The model is going away: the view lets go of it and never touches it again.
    void detach();
    bool attached() const { return !detached_; }
    // The view of a form, null when it has none.
    static FormView* of(const Form& form);

    // Told of every user event a view passes to its form ("cmdGo.Click",
    // "txtHour.KeyPress"), before the form handles it: a record of what a run
    // used. Null: nobody listens.
    using EventObserver = std::function<void(const Form& form, const std::string& event)>;
    static void setEventObserver(EventObserver observer);

signals:
    // The form unloaded or hid its window.
    void closed();

protected:
    // The window frame a form gets: frameless for a form that draws its own
    // strip (the small clock, the weekday dialogs). Default: a normal frame.
    virtual bool frameless() const { return false; }
    // The close box: the model says whether the window may close.
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QWidget* makeWidget(Control& control);
    void refresh(const std::string& what);
    void refreshControl(Control& control);
    void refreshForm();
    void fire(const Control& control, const char* event, int arg = 0);
    void send(const std::string& event, int arg = 0);
    void observe(const std::string& event);
    bool dragFilter(QEvent* event);

    Form& form_;
    std::map<std::string, QWidget*> widgets_;
    std::map<QObject*, Control*> controlOf_;
    QPoint dragOffset_;
    bool dragging_ = false;
    bool applyingState_ = false;  // the view follows the model: no echo back
    bool shownFrameless_ = false;
    bool shownTopMost_ = false;
    int shownLeft_ = 0, shownTop_ = 0;
    bool placed_ = false;
    bool detached_ = false;
};

// A borderless window: the weekday dialogs and the splash, dragged by any
// point of their surface.
class FramelessView : public FormView {
public:
    using FormView::FormView;

protected:
    bool frameless() const override { return true; }
};

}  // namespace nocturo::ui
