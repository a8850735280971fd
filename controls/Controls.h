#pragma once
// Window and control state for the form models. A view renders this state
// and forwards user events to the form's handlers; every change is reported
// through the form's change listener so a view can repaint what changed.
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <functional>
#include <string>
#include <vector>

namespace nocturo {

// Mouse buttons as the events pass them.
namespace mouse {
inline constexpr int Left = 1, Right = 2, Middle = 4;
}

class Form;

class Control {
public:
    Control(Form* owner, std::string name, int index = -1);
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& name() const { return name_; }
    int index() const { return index_; }  // member of a control array, -1 otherwise
    std::string fullName() const;         // "optActions(3)"

    bool enabled() const { return enabled_; }
    void setEnabled(bool v) { set(enabled_, v); }
    bool visible() const { return visible_; }
    void setVisible(bool v) { set(visible_, v); }
    const std::string& toolTip() const { return toolTip_; }
    void setToolTip(const std::string& v) { set(toolTip_, v); }
    // Geometry in twips, relative to the form.
    int left() const { return left_; }
    int top() const { return top_; }
    int width() const { return width_; }
    int height() const { return height_; }
    void setGeometry(int left, int top, int width, int height);

protected:
    template <class T>
    void set(T& field, const T& value) {
        if (field == value) return;
        field = value;
        changed();
    }
    void changed();

private:
    Form* owner_;
    std::string name_;
    int index_;
    bool enabled_ = true;
    bool visible_ = true;
    std::string toolTip_;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
};

// Labels, buttons, frames: a caption.
class CaptionControl : public Control {
public:
    using Control::Control;
    const std::string& caption() const { return caption_; }
    void setCaption(const std::string& v) { set(caption_, v); }

private:
    std::string caption_;
};

class Label : public CaptionControl {
public:
    using CaptionControl::CaptionControl;
    long backColor() const { return backColor_; }
    void setBackColor(long v) { set(backColor_, v); }
    long foreColor() const { return foreColor_; }
    void setForeColor(long v) { set(foreColor_, v); }
    // The caption's size in points; 0: the form's own.
    int fontSize() const { return fontSize_; }
    void setFontSize(int points) { set(fontSize_, points); }

private:
    long backColor_ = 0x8000000F;  // the system's button face colour
    long foreColor_ = 0x80000012;  // the system's button text colour
    int fontSize_ = 0;
};

using CommandButton = CaptionControl;

// A caption whose weight can change (a step of a progress list).
class BoldLabel : public Label {
public:
    using Label::Label;
    bool bold() const { return bold_; }
    void setBold(bool v) { set(bold_, v); }

private:
    bool bold_ = false;
};

// A filled shape (a step marker).
class Shape : public Control {
public:
    using Control::Control;
    long fillColor() const { return fillColor_; }
    void setFillColor(long v) { set(fillColor_, v); }

private:
    long fillColor_ = 0x808080;
};

// A list of texts with one selected entry (-1: none).
class ListBox : public Control {
public:
    using Control::Control;
    std::vector<std::string> items() const { return {items_.begin(), items_.end()}; }
    int listCount() const { return static_cast<int>(items_.size()); }
    const std::string& item(int i) const { return items_.at(static_cast<size_t>(i)); }
    void addItem(const std::string& text);
    // Removing the selected entry leaves none selected.
    void removeItem(int i);
    void clear();
    int listIndex() const { return listIndex_; }
    // An index outside the list is a failure (error 380 "Invalid property value").
    void setListIndex(int i);

private:
    std::deque<std::string> items_;  // the first entry goes cheaply
    int listIndex_ = -1;
};
using Frame = CaptionControl;

// Check box: 0 unchecked, 1 checked.
class CheckBox : public CaptionControl {
public:
    using CaptionControl::CaptionControl;
    int value() const { return value_; }
    void setValue(int v) { set(value_, v); }
    bool checked() const { return value_ == 1; }

private:
    int value_ = 0;
};

// Option button: one of a group; choosing one clears its siblings.
class OptionButton : public CaptionControl {
public:
    OptionButton(Form* owner, std::string name, int index, std::vector<OptionButton*>* group)
        : CaptionControl(owner, std::move(name), index), group_(group) {}
    bool value() const { return value_; }
    void setValue(bool v);

private:
    std::vector<OptionButton*>* group_;
    bool value_ = false;
};

class TextBox : public Control {
public:
    using Control::Control;
    const std::string& text() const { return text_; }
    // A new text drops the selection: it belonged to the old one.
    void setText(const std::string& v);
    // The text shows as placeholder characters (a password entry).
    bool password() const { return password_; }
    void setPassword(bool v) { set(password_, v); }
    int selStart() const { return selStart_; }
    int selLength() const { return selLength_; }
    // Selects part of the text (a view shows it selected). Asked again for
    // the same part, it selects it again: the user may have moved the caret
    // meanwhile.
    void select(int start, int length);

private:
    std::string text_;
    bool password_ = false;
    int selStart_ = 0, selLength_ = 0;
};

class ComboBox : public Control {
public:
    using Control::Control;
    const std::vector<std::string>& items() const { return items_; }
    void setItems(std::vector<std::string> items);
    int listIndex() const { return listIndex_; }
    // An index outside the list is a failure (error 380 "Invalid property value").
    void setListIndex(int i);
    std::string text() const;

private:
    std::vector<std::string> items_;
    int listIndex_ = -1;
};

// A picture: a named image of the program's own set ("digit3", "clock", ...).
class Image : public Control {
public:
    using Control::Control;
    const std::string& picture() const { return picture_; }
    void setPicture(const std::string& v) { set(picture_, v); }

private:
    std::string picture_;
};

// A timer control: the platform loop delivers its ticks.
class Timer : public Control {
public:
    using Control::Control;
    int interval() const { return interval_; }
    void setInterval(int ms) { set(interval_, ms); }
    // enabled() / setEnabled() of Control switch the ticks.
private:
    int interval_ = 0;
};

enum class WindowState { Normal, Minimized, Maximized };

// The desktop's windows for the forms: called when a form loads; what it
// returns (the form's view) is kept until the form unloads. Unset (headless
// runs, tests): the forms have no views.
using ViewFactory = std::function<std::shared_ptr<void>(Form&)>;
void SetViewFactory(ViewFactory factory);

// A window: caption, geometry, visibility, tag, state; owns its controls'
// change notification.
class Form {
public:
    explicit Form(std::string name);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const std::string& formName() const { return name_; }
    const std::string& caption() const { return caption_; }
    void setCaption(const std::string& v);
    int left() const { return left_; }
    int top() const { return top_; }
    int width() const { return width_; }
    int height() const { return height_; }
    void setLeft(int v);
    void setTop(int v);
    void setWidth(int v);
    void setHeight(int v);
    bool visible() const { return visible_; }
    void setVisible(bool v);
    const std::string& tag() const { return tag_; }
    void setTag(const std::string& v);
    WindowState windowState() const { return state_; }
    void setWindowState(WindowState s);
    bool topMost() const { return topMost_; }
    void setTopMost(bool v);
    bool loaded() const { return loaded_; }
    // Loading a form gives it its view; unloading lets the view go.
    void setLoaded(bool v);
    bool foreground() const { return foreground_; }
    void setForeground(bool v) { foreground_ = v; }

    // Called with the changed control's full name, or "" for the form itself.
    void setChangeListener(std::function<void(const std::string&)> listener) { listener_ = std::move(listener); }
    void notifyChanged(const std::string& what);
    // A form's own reaction to a change of one of its controls.
    virtual void onControlChanged(const std::string&) {}

    // A user event on the form or one of its controls, by name:
    // "cmdGo.Click", "optActions(3).Click", "Image1.MouseDown" (arg: the mouse
    // button), "txtHour(2).Change" (the new text is already in the box),
    // "txtHour(2).LostFocus", "Form.Click", "Form.Close" (the close box).
    // A click checks or clears a check box and chooses an option button before
    // the handler runs. False when the form knows no such event.
    virtual bool fireEvent(const std::string& event, int arg = 0);
    // A key typed into a text box: the key to insert, 0 when it is dropped.
    std::int16_t keyPress(const std::string& control, std::int16_t key);
    // Whether the form handles this event (a view shows such a label as a link).
    bool handles(const std::string& event) const { return events_.count(event) > 0; }
    // Every event the form handles, by name, and "control.KeyPress" for each
    // box with a key filter.
    std::vector<std::string> handledEvents() const;

    // Set by the view: the left button went down on a drag area, and the view
    // moves the window with the mouse until the button comes up.
    std::function<void()> onDragStart;

    void registerControl(Control* c) { controls_.push_back(c); }
    const std::vector<Control*>& controls() const { return controls_; }
    Control* findControl(const std::string& fullName) const;

protected:
    void on(const std::string& event, std::function<void()> handler);
    void onArg(const std::string& event, std::function<void(int)> handler);
    void onKey(const std::string& control, std::function<std::int16_t(std::int16_t)> handler);

private:
    std::map<std::string, std::function<void(int)>> events_;
    std::map<std::string, std::function<std::int16_t(std::int16_t)>> keys_;
    std::string name_;
    std::string caption_;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool visible_ = false;
    std::string tag_;
    WindowState state_ = WindowState::Normal;
    bool topMost_ = false;
    bool loaded_ = false;
    bool foreground_ = false;
    std::function<void(const std::string&)> listener_;
    std::vector<Control*> controls_;
    std::shared_ptr<void> view_;
};

}  // namespace nocturo
