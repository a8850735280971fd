#include "schedule/WeekdayTimeRows.h"

#include <algorithm>
#include <stdexcept>

#include "base/Strings.h"
#include "base/Variant.h"
#include "base/Varn_ErrorLog.h"
#include "base/Runtime.h"
#include "base/Varn_Registry.h"
#include "platform/IWindows.h"

namespace nocturo {

namespace timefield {

namespace {

// The whole-number value of a field's text as Val() reads it; a pasted
// monster of digits is held to a range the arithmetic can take.
long long Value(const std::string& text) {
    double v = Val(text);
    v = std::clamp(v, -1e9, 1e9);
    return static_cast<long long>(v);
}

std::string TwoDigits(long long value) { return Right("0" + std::to_string(value), 2); }

}  // namespace

int Bound(TimeField kind) { return kind == TimeField::Hour ? 23 : 59; }

// The main window's key filter for its number fields, applied to every time
// field of the dialogs.
bool AcceptsKey(std::int16_t key) { return key == 8 || (key >= '0' && key <= '9'); }

std::string Corrected(const std::string& text, TimeField kind) {
    if (Trim(text).empty()) return "0";
    if (Val(text) > Bound(kind)) return std::to_string(Bound(kind));
    return text;
}

std::string Padded(const std::string& text) { return Right("0" + text, 2); }

std::string StepUp(const std::string& text, TimeField kind) {
    long long value = Trim(text).empty() ? 0 : std::max(0LL, Value(text));
    return TwoDigits(std::min<long long>(value + 1, Bound(kind)));
}

std::string StepDown(const std::string& text, TimeField kind) {
    if (Trim(text).empty()) return "00";
    long long value = Value(text);
    if (value < 0) return "00";
    if (value == 0) return text;  // no wrap below "00"
    return TwoDigits(std::min<long long>(value - 1, Bound(kind)));
}

}  // namespace timefield

WeekdayTimeRows::WeekdayTimeRows(std::string formName, std::string title, std::string valueSuffix,
                                 std::string loadProcedure)
    : Form(std::move(formName)), loadProcedure_(std::move(loadProcedure)) {
    setCaption(title);
    setWidth(FormWidth);
    setHeight(FormHeight);

    lblTitle.setCaption(title);
    lblTitle.setGeometry(DayLeft, 60, FormWidth - 2 * DayLeft, 255);
    lblHourHeader.setCaption("Hour");
    lblHourHeader.setGeometry(HourLeft, 330, FieldWidth, 195);
    lblMinuteHeader.setCaption("Min");
    lblMinuteHeader.setGeometry(MinuteLeft, 330, FieldWidth, 195);
    lblSECHeader.setCaption("Sec");
    lblSECHeader.setGeometry(SECLeft, 330, FieldWidth, 195);

    for (int d = 0; d < weekday::Days; ++d) {
        const size_t i = static_cast<size_t>(d);
        const int top = RowTop(d);

        lblWeekday[i] = std::make_unique<Label>(this, "lblWeekday", d);
        lblWeekday[i]->setCaption(weekday::Names[i]);
        lblWeekday[i]->setGeometry(DayLeft, top + 45, DayWidth, 240);

        txtHour[i] = std::make_unique<TextBox>(this, "txtHour", d);
        txtHour[i]->setGeometry(HourLeft, top, FieldWidth, FieldHeight);
        txtHour[i]->setToolTip("Hour (00-23)");
        txtMinute[i] = std::make_unique<TextBox>(this, "txtMinute", d);
        txtMinute[i]->setGeometry(MinuteLeft, top, FieldWidth, FieldHeight);
        txtMinute[i]->setToolTip("Minute (00-59)");
        txtSEC[i] = std::make_unique<TextBox>(this, "txtSEC", d);
        txtSEC[i]->setGeometry(SECLeft, top, FieldWidth, FieldHeight);
        txtSEC[i]->setToolTip("Second (00-59)");

        imgTimeUp[i] = std::make_unique<Image>(this, "imgTimeUp", d);
        imgTimeUp[i]->setPicture("arrowUp");
        imgTimeUp[i]->setGeometry(ArrowLeft, top, ArrowWidth, ArrowHeight);
        imgTimeUp[i]->setToolTip("Up: the selected field of this day plus one");
        imgTimeDown[i] = std::make_unique<Image>(this, "imgTimeDown", d);
        imgTimeDown[i]->setPicture("arrowDown");
        imgTimeDown[i]->setGeometry(ArrowLeft, top + FieldHeight - ArrowHeight, ArrowWidth, ArrowHeight);
        imgTimeDown[i]->setToolTip("Down: the selected field of this day minus one");
    }

    cmdTimeSave.setCaption("Save");
    cmdTimeSave.setGeometry((FormWidth - 1095) / 2, RowTop(weekday::Days), 1095, 330);

    storeField(txtHour, "txtHour" + valueSuffix, "00");
    storeField(txtMinute, "txtMinute" + valueSuffix, "00");
    storeField(txtSEC, "txtSEC" + valueSuffix, "00");

    for (int d = 0; d < weekday::Days; ++d) {
        const std::string n = "(" + std::to_string(d) + ")";
        on("txtHour" + n + ".Change", [this, d] { txtHour_Change(d); });
        on("txtMinute" + n + ".Change", [this, d] { txtMinute_Change(d); });
        on("txtSEC" + n + ".Change", [this, d] { txtSEC_Change(d); });
        on("txtHour" + n + ".LostFocus", [this, d] { txtHour_LostFocus(d); });
        on("txtMinute" + n + ".LostFocus", [this, d] { txtMinute_LostFocus(d); });
        on("txtSEC" + n + ".LostFocus", [this, d] { txtSEC_LostFocus(d); });
        on("txtHour" + n + ".Click", [this, d] { txtHour_Click(d); });
        on("txtMinute" + n + ".Click", [this, d] { txtMinute_Click(d); });
        on("txtSEC" + n + ".Click", [this, d] { txtSEC_Click(d); });
        on("imgTimeUp" + n + ".Click", [this, d] { imgTimeUp_Click(d); });
        on("imgTimeDown" + n + ".Click", [this, d] { imgTimeDown_Click(d); });
        onKey("txtHour" + n, [this, d](std::int16_t k) { return txtHour_KeyPress(d, k); });
        onKey("txtMinute" + n, [this, d](std::int16_t k) { return txtMinute_KeyPress(d, k); });
        onKey("txtSEC" + n, [this, d](std::int16_t k) { return txtSEC_KeyPress(d, k); });
        // The labels of the rows are part of the surface the dialog is dragged by.
        onArg("lblWeekday" + n + ".MouseDown", [this](int button) { Form_MouseDown(button); });
    }
    on("cmdTimeSave.Click", [this] { cmdTimeSave_Click(); });
    onArg("Form.MouseDown", [this](int button) { Form_MouseDown(button); });
    onArg("lblTitle.MouseDown", [this](int button) { Form_MouseDown(button); });
    on("Form.Close", [this] { Form_Unload(); });
}

WeekdayTimeRows::~WeekdayTimeRows() = default;

void WeekdayTimeRows::storeField(DayArray<TextBox>& boxes, std::string valueName, std::string defaultText) {
    stored_.push_back({&boxes, std::move(valueName), std::move(defaultText)});
}

std::string WeekdayTimeRows::procedure(const char* handler) const {
    return std::string(handler) + " of Formular " + formName();
}

DayArray<TextBox>& WeekdayTimeRows::fields(TimeField kind) {
    switch (kind) {
    case TimeField::Hour: return txtHour;
    case TimeField::Minute: return txtMinute;
    case TimeField::Second: return txtSEC;
    case TimeField::None: break;
    }
    throw std::logic_error("no time field selected");
}

// ---- load and unload ------------------------------------------------------

void WeekdayTimeRows::Form_Load() {
    const std::string proc = procedure(loadProcedure_.c_str());
    Step(proc.c_str(), 1, [&] {
        selectedField_ = TimeField::None;
        selectedRow_ = -1;
        setLoaded(true);
    });
    for (int d = 0; d < weekday::Days; ++d) {
        long line = 2;
        for (const StoredField& f : stored_) {
            Step(proc.c_str(), line++, [&] {
                TextBox& box = *f.boxes->at(static_cast<size_t>(d));
                box.setText(CStr(ReadSetting(UserApp(), kSettings, std::to_string(d) + f.valueName, f.defaultText)));
            });
        }
    }
    // Filled, the dialog shows itself in the middle of the screen.
    Step(proc.c_str(), 9, [&] {
        if (hasRuntime() && rt().pf.windows) {
            setLeft((windows().screenWidthTwips() - width()) / 2);
            setTop((windows().screenHeightTwips() - height()) / 2);
        }
        setVisible(true);
    });
}

void WeekdayTimeRows::Form_Unload() {
    if (unloading_) return;  // the view's close event may follow our own unload
    unloading_ = true;
    const std::string proc = procedure("Form_Unload");
    for (int d = 0; d < weekday::Days; ++d) {
        long line = 1;
        for (const StoredField& f : stored_) {
            Step(proc.c_str(), line++, [&] {
                const TextBox& box = *f.boxes->at(static_cast<size_t>(d));
                WriteSetting(UserApp(), kSettings, std::to_string(d) + f.valueName, box.text());
            });
        }
    }
    Step(proc.c_str(), 10, [&] {
        setVisible(false);
        setLoaded(false);
    });
    Step(proc.c_str(), 11, [&] {
        if (onUnloaded) onUnloaded();
    });
    unloading_ = false;
}

void WeekdayTimeRows::cmdTimeSave_Click() {
    Step(procedure("cmdTimeSave_Click").c_str(), 1, [&] { Form_Unload(); });
}

void WeekdayTimeRows::Form_MouseDown(int button) {
    Step(procedure("Form_MouseDown").c_str(), 1, [&] {
        if (button == mouse::Left && onDragStart) onDragStart();
    });
}

// ---- time fields -----------------------------------------------------------

// The key rule is the same for every row.
std::int16_t WeekdayTimeRows::keyPress(const char* handler, int /*index*/, std::int16_t key) {
    std::int16_t result = key;
    Step(procedure(handler).c_str(), 1, [&] {
        if (!timefield::AcceptsKey(key)) result = 0;
    });
    return result;
}

void WeekdayTimeRows::change(const char* handler, TimeField kind, int index) {
    Step(procedure(handler).c_str(), 1, [&] {
        TextBox& box = *fields(kind).at(static_cast<size_t>(index));
        box.setText(timefield::Corrected(box.text(), kind));
    });
}

void WeekdayTimeRows::lostFocus(const char* handler, TimeField kind, int index) {
    Step(procedure(handler).c_str(), 1, [&] {
        TextBox& box = *fields(kind).at(static_cast<size_t>(index));
        box.setText(timefield::Padded(box.text()));
    });
}

void WeekdayTimeRows::click(const char* handler, TimeField kind, int index) {
    Step(procedure(handler).c_str(), 1, [&] {
        TextBox& box = *fields(kind).at(static_cast<size_t>(index));
        box.select(0, static_cast<int>(CharCount(box.text())));
        selectedField_ = kind;
        selectedRow_ = index;
    });
}

void WeekdayTimeRows::arrow(const char* handler, int index, bool up) {
    Step(procedure(handler).c_str(), 1, [&] {
        (void)imgTimeUp.at(static_cast<size_t>(index));
        // The arrows of a row act on that row's selected field only.
        if (selectedField_ == TimeField::None || selectedRow_ != index) return;
        TextBox& box = *fields(selectedField_).at(static_cast<size_t>(index));
        box.setText(up ? timefield::StepUp(box.text(), selectedField_)
                       : timefield::StepDown(box.text(), selectedField_));
    });
}

std::int16_t WeekdayTimeRows::txtHour_KeyPress(int index, std::int16_t key) {
    return keyPress("txtHour_KeyPress", index, key);
}
std::int16_t WeekdayTimeRows::txtMinute_KeyPress(int index, std::int16_t key) {
    return keyPress("txtMinute_KeyPress", index, key);
}
std::int16_t WeekdayTimeRows::txtSEC_KeyPress(int index, std::int16_t key) {
    return keyPress("txtSEC_KeyPress", index, key);
}

void WeekdayTimeRows::txtHour_Change(int index) { change("txtHour_Change", TimeField::Hour, index); }
void WeekdayTimeRows::txtMinute_Change(int index) { change("txtMinute_Change", TimeField::Minute, index); }
void WeekdayTimeRows::txtSEC_Change(int index) { change("txtSEC_Change", TimeField::Second, index); }

void WeekdayTimeRows::txtHour_LostFocus(int index) { lostFocus("txtHour_LostFocus", TimeField::Hour, index); }
void WeekdayTimeRows::txtMinute_LostFocus(int index) { lostFocus("txtMinute_LostFocus", TimeField::Minute, index); }
void WeekdayTimeRows::txtSEC_LostFocus(int index) { lostFocus("txtSEC_LostFocus", TimeField::Second, index); }

void WeekdayTimeRows::txtHour_Click(int index) { click("txtHour_Click", TimeField::Hour, index); }
void WeekdayTimeRows::txtMinute_Click(int index) { click("txtMinute_Click", TimeField::Minute, index); }
void WeekdayTimeRows::txtSEC_Click(int index) { click("txtSEC_Click", TimeField::Second, index); }

void WeekdayTimeRows::imgTimeUp_Click(int index) { arrow("imgTimeUp_Click", index, true); }
void WeekdayTimeRows::imgTimeDown_Click(int index) { arrow("imgTimeDown_Click", index, false); }

}  // namespace nocturo
