#pragma once
// The common body of the two weekday dialogs: one row per day, Monday (row 0)
// to Sunday (row 6), each with hour, minute and second fields and its own up
// and down arrow, and a save button. The dialogs differ only in their names,
// the setting names their fields are stored under and, for the time-window
// dialog, one more field per row.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/Controls.h"

namespace nocturo {

namespace weekday {
inline constexpr int Days = 7;
inline constexpr std::array<const char*, Days> Names{"Monday", "Tuesday", "Wednesday", "Thursday",
                                                     "Friday",  "Saturday", "Sunday"};
}  // namespace weekday

// One control per weekday, indexed 0 (Monday) to 6 (Sunday).
template <class T>
using DayArray = std::array<std::unique_ptr<T>, weekday::Days>;

// The kind of time field the arrows act on.
enum class TimeField { None, Hour, Minute, Second };

// The time-field rules. A field holds two decimal digits: hours "00" to "23",
// minutes and seconds "00" to "59".
namespace timefield {
// The highest value of a field kind (23 or 59).
int Bound(TimeField kind);
// Backspace (8) and the digit keys; every other key is dropped.
bool AcceptsKey(std::int16_t key);
// After an edit: empty text becomes "0", a value above the bound the bound.
std::string Corrected(const std::string& text, TimeField kind);
// On leaving the field: the last two characters of "0" + text ("7" -> "07").
std::string Padded(const std::string& text);
// One step up or down, without wrapping: an empty or negative value counts as
// "00"; down stops at "00"; the result never exceeds the bound.
std::string StepUp(const std::string& text, TimeField kind);
std::string StepDown(const std::string& text, TimeField kind);
}  // namespace timefield

class WeekdayTimeRows : public Form {
public:
    ~WeekdayTimeRows() override;

    // ---- controls -------------------------------------------------------
    Label lblTitle{this, "lblTitle"};
    Label lblHourHeader{this, "lblHourHeader"};
    Label lblMinuteHeader{this, "lblMinuteHeader"};
    Label lblSECHeader{this, "lblSECHeader"};
    DayArray<Label> lblWeekday;
    DayArray<TextBox> txtHour;
    DayArray<TextBox> txtMinute;
    DayArray<TextBox> txtSEC;
    DayArray<Image> imgTimeUp;
    DayArray<Image> imgTimeDown;
    CommandButton cmdTimeSave{this, "cmdTimeSave"};

    // ---- selection: the field the row's arrows act on ---------------------
    TimeField selectedField() const { return selectedField_; }
    int selectedRow() const { return selectedRow_; }  // -1 while nothing is selected

    // ---- hooks the view honours --------------------------------------------
    // The dialog has unloaded; the view closes its window.
    std::function<void()> onUnloaded;

    // ---- handlers -------------------------------------------------------------
    void Form_Load();
    // Writes every field back to its setting: closing the dialog in any way saves it.
    void Form_Unload();
    void cmdTimeSave_Click();
    void Form_MouseDown(int button);

    // Key handlers return the key to insert, 0 when it is dropped.
    std::int16_t txtHour_KeyPress(int index, std::int16_t key);
    std::int16_t txtMinute_KeyPress(int index, std::int16_t key);
    std::int16_t txtSEC_KeyPress(int index, std::int16_t key);
    void txtHour_Change(int index);
    void txtMinute_Change(int index);
    void txtSEC_Change(int index);
    void txtHour_LostFocus(int index);
    void txtMinute_LostFocus(int index);
    void txtSEC_LostFocus(int index);
    void txtHour_Click(int index);
    void txtMinute_Click(int index);
    void txtSEC_Click(int index);
    void imgTimeUp_Click(int index);
    void imgTimeDown_Click(int index);

    // Layout in twips.
    static constexpr int FormWidth = 4000, FormHeight = 3600;
    static constexpr int FirstRowTop = 540, RowPitch = 375, FieldHeight = 315;
    static constexpr int DayLeft = 120, DayWidth = 1080;
    static constexpr int FieldWidth = 420, HourLeft = 1260, MinuteLeft = 1740, SECLeft = 2220;
    static constexpr int ArrowLeft = 2700, ArrowWidth = 240, ArrowHeight = 150;
    static constexpr int ExtraLeft = 3060, ExtraWidth = 660;  // the time-window dialog's duration column
    static int RowTop(int index) { return FirstRowTop + index * RowPitch; }

protected:
    // valueSuffix follows the field name in the setting names ("" gives
    // "3txtHour", "TW" gives "3txtHourTW"); loadProcedure is the name the
    // form's load is logged under.
    WeekdayTimeRows(std::string formName, std::string title, std::string valueSuffix, std::string loadProcedure);

    // Adds a field array that Form_Load fills from and Form_Unload writes to
    // the setting d + valueName of each row d.
    void storeField(DayArray<TextBox>& boxes, std::string valueName, std::string defaultText);

    // "<handler> of Formular <form name>"
    std::string procedure(const char* handler) const;

private:
    struct StoredField {
        DayArray<TextBox>* boxes;
        std::string valueName;
        std::string defaultText;
    };

    DayArray<TextBox>& fields(TimeField kind);
    std::int16_t keyPress(const char* handler, int index, std::int16_t key);
    void change(const char* handler, TimeField kind, int index);
    void lostFocus(const char* handler, TimeField kind, int index);
    void click(const char* handler, TimeField kind, int index);
    void arrow(const char* handler, int index, bool up);

    std::string loadProcedure_;
    std::vector<StoredField> stored_;
    TimeField selectedField_ = TimeField::None;
    int selectedRow_ = -1;
    bool unloading_ = false;
};

}  // namespace nocturo
