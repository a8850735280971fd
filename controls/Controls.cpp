#include "controls/Controls.h"

#include "platform/Error.h"

namespace nocturo {

Control::Control(Form* owner, std::string name, int index) : owner_(owner), name_(std::move(name)), index_(index) {
    if (owner_) owner_->registerControl(this);
}

std::string Control::fullName() const {
    return index_ < 0 ? name_ : name_ + "(" + std::to_string(index_) + ")";
}

void Control::changed() {
    if (owner_) owner_->notifyChanged(fullName());
}

void Control::setGeometry(int left, int top, int width, int height) {
    if (left == left_ && top == top_ && width == width_ && height == height_) return;
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    changed();
}

void OptionButton::setValue(bool v) {
    if (v && group_) {
        for (OptionButton* sibling : *group_)
            if (sibling != this && sibling->value_) {
                sibling->value_ = false;
                sibling->changed();
            }
    }
    set(value_, v);
}

void TextBox::setText(const std::string& v) {
    if (v == text_) return;
    text_ = v;
    selStart_ = selLength_ = 0;
    changed();
}

void TextBox::select(int start, int length) {
    selStart_ = start;
    selLength_ = length;
    changed();
}

void ComboBox::setItems(std::vector<std::string> items) {
    items_ = std::move(items);
    listIndex_ = -1;
    changed();
}

void ComboBox::setListIndex(int i) {
    if (i < -1 || i >= static_cast<int>(items_.size()))
        throw platform::Error(380, "Invalid property value");
    set(listIndex_, i);
}

std::string ComboBox::text() const {
    if (listIndex_ < 0) return "";
    return items_[static_cast<size_t>(listIndex_)];
}

void ListBox::addItem(const std::string& text) {
    items_.push_back(text);
    changed();
}

void ListBox::removeItem(int i) {
    if (i < 0 || i >= listCount()) throw platform::Error(5, "Invalid procedure call or argument");
    items_.erase(items_.begin() + i);
    if (listIndex_ == i) listIndex_ = -1;
    else if (listIndex_ > i) --listIndex_;
    changed();
}

void ListBox::clear() {
    items_.clear();
    listIndex_ = -1;
    changed();
}

void ListBox::setListIndex(int i) {
    if (i < -1 || i >= listCount()) throw platform::Error(380, "Invalid property value");
    set(listIndex_, i);
}

namespace {
ViewFactory& viewFactory() {
    static ViewFactory factory;
    return factory;
}
}  // namespace

void SetViewFactory(ViewFactory factory) { viewFactory() = std::move(factory); }

Form::Form(std::string name) : name_(std::move(name)) {}

Form::~Form() {
    // The view must not outlive its model.
    listener_ = nullptr;
    view_.reset();
}

void Form::setLoaded(bool v) {
    if (v == loaded_) return;
    loaded_ = v;
    if (v && viewFactory()) view_ = viewFactory()(*this);
    notifyChanged("");
    if (!v) view_.reset();
}

void Form::notifyChanged(const std::string& what) {
    onControlChanged(what);
    if (listener_) listener_(what);
}

#define NOCTURO_FORM_SETTER(fn, field)  \
    void Form::fn(decltype(field) v) {  \
        if (field == v) return;         \
        field = v;                      \
        notifyChanged("");              \
    }
void Form::setCaption(const std::string& v) {
    if (caption_ == v) return;
    caption_ = v;
    notifyChanged("");
}
void Form::setTag(const std::string& v) {
    if (tag_ == v) return;
    tag_ = v;
    notifyChanged("");
}
NOCTURO_FORM_SETTER(setLeft, left_)
NOCTURO_FORM_SETTER(setTop, top_)
NOCTURO_FORM_SETTER(setWidth, width_)
NOCTURO_FORM_SETTER(setHeight, height_)
NOCTURO_FORM_SETTER(setVisible, visible_)
NOCTURO_FORM_SETTER(setWindowState, state_)
NOCTURO_FORM_SETTER(setTopMost, topMost_)
#undef NOCTURO_FORM_SETTER

bool Form::fireEvent(const std::string& event, int arg) {
    const auto dot = event.rfind('.');
    if (dot == std::string::npos) return false;
    const std::string target = event.substr(0, dot);
    bool known = false;
    if (event.compare(dot + 1, std::string::npos, "Click") == 0) {
        Control* c = findControl(target);
        if (auto* box = dynamic_cast<CheckBox*>(c)) {
            box->setValue(box->checked() ? 0 : 1);
            known = true;
        } else if (auto* option = dynamic_cast<OptionButton*>(c)) {
            option->setValue(true);
            known = true;
        }
    }
    auto it = events_.find(event);
    if (it == events_.end()) return known;
    it->second(arg);
    return true;
}

std::int16_t Form::keyPress(const std::string& control, std::int16_t key) {
    auto it = keys_.find(control);
    return it == keys_.end() ? key : it->second(key);
}

std::vector<std::string> Form::handledEvents() const {
    std::vector<std::string> names;
    for (const auto& [name, handler] : events_) names.push_back(name);
    for (const auto& [control, handler] : keys_) names.push_back(control + ".KeyPress");
    return names;
}

void Form::on(const std::string& event, std::function<void()> handler) {
    events_[event] = [h = std::move(handler)](int) { h(); };
}
void Form::onArg(const std::string& event, std::function<void(int)> handler) { events_[event] = std::move(handler); }
void Form::onKey(const std::string& control, std::function<std::int16_t(std::int16_t)> handler) {
    keys_[control] = std::move(handler);
}

Control* Form::findControl(const std::string& fullName) const {
    for (Control* c : controls_)
        if (c->fullName() == fullName || (c->index() < 0 && c->name() == fullName)) return c;
    return nullptr;
}

}  // namespace nocturo
