// The two weekday dialogs: loading and saving their rows, the time-field
// rules, the arrows, the drag and failure logging. The rules both dialogs
// share run as typed tests against each of them.
#include <gtest/gtest.h>

#include <set>

#include "base/Runtime.h"
#include "base/Varn_Registry.h"
#include "platform/IWindows.h"
#include "platform/Error.h"
#include "schedule/frmTimeSetup.h"
#include "schedule/frmWindowSetup.h"
#include "shell/FrmMain.h"
#include "support/TestWorld.h"

using namespace nocturo;
using nocturo::test::TestWorld;

namespace {

std::string Stored(const std::string& name) { return ReadKey(SettingPath(UserApp(), kSettings, name)); }
bool IsStored(const std::string& name) { return RegKeyExists(SettingPath(UserApp(), kSettings, name)); }
void Store(const std::string& name, const std::string& text) { WriteSetting(UserApp(), kSettings, name, text); }

template <class F>
struct DialogNames;
template <>
struct DialogNames<frmTimeSetup> {
    static constexpr const char* Form = "frmTimeSetup";
    static constexpr const char* Suffix = "";
    static constexpr const char* OtherSuffix = "TW";
    static constexpr const char* Load = "form_load";
};
template <>
struct DialogNames<frmWindowSetup> {
    static constexpr const char* Form = "frmWindowSetup";
    static constexpr const char* Suffix = "TW";
    static constexpr const char* OtherSuffix = "";
    static constexpr const char* Load = "Form_Load";
};

template <class F>
class WeekdayDialog : public ::testing::Test {
protected:
    using Names = DialogNames<F>;
    static std::string Value(int d, const char* field) { return std::to_string(d) + field + Names::Suffix; }
    static std::string Proc(const char* handler) { return std::string(handler) + " of Formular " + Names::Form; }

    TestWorld w;
    F dlg;
};

using Dialogs = ::testing::Types<frmTimeSetup, frmWindowSetup>;
class DialogNameOf {
public:
    template <class F>
    static std::string GetName(int) { return DialogNames<F>::Form; }
};
TYPED_TEST_SUITE(WeekdayDialog, Dialogs, DialogNameOf);

// ---- load and save ----------------------------------------------------------

TYPED_TEST(WeekdayDialog, LoadFillsEveryRowWithDefaultsWhenNothingIsStored) {
    this->dlg.Form_Load();
    EXPECT_TRUE(this->dlg.loaded());
    for (size_t d = 0; d < 7; ++d) {
        EXPECT_EQ(this->dlg.txtHour[d]->text(), "00");
        EXPECT_EQ(this->dlg.txtMinute[d]->text(), "00");
        EXPECT_EQ(this->dlg.txtSEC[d]->text(), "00");
    }
    EXPECT_EQ(this->dlg.selectedField(), TimeField::None);
    EXPECT_EQ(this->w.errorLog(), "");
}

// Opened modal, the dialog must be on the screen: its load shows it, in
// the middle of the screen.
TYPED_TEST(WeekdayDialog, LoadShowsTheDialogInTheMiddleOfTheScreen) {
    EXPECT_FALSE(this->dlg.visible());
    this->dlg.Form_Load();
    EXPECT_TRUE(this->dlg.loaded());
    EXPECT_TRUE(this->dlg.visible());
    if (rt().pf.windows) {
        EXPECT_EQ(this->dlg.left(), (windows().screenWidthTwips() - this->dlg.width()) / 2);
        EXPECT_EQ(this->dlg.top(), (windows().screenHeightTwips() - this->dlg.height()) / 2);
    }
    this->dlg.Form_Unload();
    EXPECT_FALSE(this->dlg.visible());
}

TYPED_TEST(WeekdayDialog, LoadReadsEachRowFromItsOwnSettings) {
    using Names = typename TestFixture::Names;
    Store(this->Value(0, "txtHour"), "06");
    Store(this->Value(0, "txtMinute"), "30");
    Store(this->Value(6, "txtSEC"), "45");
    Store(this->Value(3, "txtHour"), "7");  // shown as stored; the field rules apply on editing
    // The other dialog's values are not this dialog's.
    Store(std::string("1txtHour") + Names::OtherSuffix, "12");
    this->dlg.Form_Load();
    EXPECT_EQ(this->dlg.txtHour[0]->text(), "06");
    EXPECT_EQ(this->dlg.txtMinute[0]->text(), "30");
    EXPECT_EQ(this->dlg.txtSEC[0]->text(), "00");
    EXPECT_EQ(this->dlg.txtSEC[6]->text(), "45");
    EXPECT_EQ(this->dlg.txtHour[3]->text(), "7");
    EXPECT_EQ(this->dlg.txtHour[1]->text(), "00");
}

TYPED_TEST(WeekdayDialog, LoadReadsANumberStoredByAnotherWriter) {
    WriteSetting(UserApp(), kSettings, this->Value(2, "txtMinute"), std::int32_t{15});
    this->dlg.Form_Load();
    EXPECT_EQ(this->dlg.txtMinute[2]->text(), "15");
}

TYPED_TEST(WeekdayDialog, UnloadWritesEveryFieldOfEveryRow) {
    int unloaded = 0;
    this->dlg.onUnloaded = [&] { ++unloaded; };
    this->dlg.Form_Load();
    this->dlg.setVisible(true);
    for (size_t d = 0; d < 7; ++d) {
        this->dlg.txtHour[d]->setText("1" + std::to_string(d));
        this->dlg.txtMinute[d]->setText("2" + std::to_string(d));
        this->dlg.txtSEC[d]->setText("3" + std::to_string(d));
    }
    this->dlg.Form_Unload();
    for (int d = 0; d < 7; ++d) {
        EXPECT_EQ(Stored(this->Value(d, "txtHour")), "1" + std::to_string(d));
        EXPECT_EQ(Stored(this->Value(d, "txtMinute")), "2" + std::to_string(d));
        EXPECT_EQ(Stored(this->Value(d, "txtSEC")), "3" + std::to_string(d));
    }
    EXPECT_EQ(unloaded, 1);
    EXPECT_FALSE(this->dlg.loaded());
    EXPECT_FALSE(this->dlg.visible());
}

TYPED_TEST(WeekdayDialog, UnloadStoresUntouchedDefaultsToo) {
    this->dlg.Form_Load();
    this->dlg.Form_Unload();
    for (int d = 0; d < 7; ++d) {
        EXPECT_TRUE(IsStored(this->Value(d, "txtHour")));
        EXPECT_EQ(Stored(this->Value(d, "txtSEC")), "00");
    }
}

TYPED_TEST(WeekdayDialog, SaveButtonSavesExactlyLikeClosingTheWindow) {
    int unloaded = 0;
    // A view that closes its window and then reports the close box as well.
    this->dlg.onUnloaded = [&] {
        ++unloaded;
        this->dlg.Form_Unload();
    };
    this->dlg.Form_Load();
    this->dlg.txtHour[4]->setText("21");
    this->dlg.cmdTimeSave_Click();
    EXPECT_EQ(Stored(this->Value(4, "txtHour")), "21");
    EXPECT_EQ(unloaded, 1);

    // Closed with the close box, a second dialog writes the same values.
    TestWorld other;
    TypeParam closed;
    closed.Form_Load();
    closed.txtHour[4]->setText("21");
    closed.Form_Unload();
    EXPECT_EQ(other.reg.store().serialize(), this->w.reg.store().serialize());
}

TYPED_TEST(WeekdayDialog, SavedValuesComeBackInTheNextDialog) {
    this->dlg.Form_Load();
    this->dlg.txtHour[5]->setText("08");
    this->dlg.txtSEC[1]->setText("59");
    this->dlg.Form_Unload();
    TypeParam again;
    again.Form_Load();
    EXPECT_EQ(again.txtHour[5]->text(), "08");
    EXPECT_EQ(again.txtSEC[1]->text(), "59");
    EXPECT_EQ(again.txtMinute[5]->text(), "00");
}

TYPED_TEST(WeekdayDialog, UnloadGoesOnWhenTheSettingsCannotBeWritten) {
    int unloaded = 0;
    this->dlg.onUnloaded = [&] { ++unloaded; };
    this->dlg.Form_Load();
    this->w.reg.failWrites = true;
    this->dlg.Form_Unload();
    EXPECT_EQ(unloaded, 1);
    EXPECT_FALSE(this->dlg.loaded());
    // Every write was tried; the store that refuses them all is reported
    // once, not once per value.
    const std::string log = this->w.errorLog();
    size_t entries = 0;
    for (size_t at = log.find("CreateKey of Modul Varn_Registry"); at != std::string::npos;
         at = log.find("CreateKey of Modul Varn_Registry", at + 1))
        ++entries;
    const int fieldsPerRow = std::is_same_v<TypeParam, frmWindowSetup> ? 4 : 3;
    EXPECT_EQ(this->w.reg.refusedWrites, 7 * fieldsPerRow);
    EXPECT_EQ(entries, 1u);
}

// ---- key filter, change and leaving a field ---------------------------------

TYPED_TEST(WeekdayDialog, KeyPressLetsDigitsAndBackspaceThrough) {
    for (std::int16_t key : {std::int16_t{'0'}, std::int16_t{'5'}, std::int16_t{'9'}, std::int16_t{8}}) {
        EXPECT_EQ(this->dlg.txtHour_KeyPress(0, key), key);
        EXPECT_EQ(this->dlg.txtMinute_KeyPress(3, key), key);
        EXPECT_EQ(this->dlg.txtSEC_KeyPress(6, key), key);
    }
}

TYPED_TEST(WeekdayDialog, KeyPressDropsEveryOtherKey) {
    for (std::int16_t key : {std::int16_t{'a'}, std::int16_t{'-'}, std::int16_t{' '}, std::int16_t{':'},
                             std::int16_t{'/'}, std::int16_t{13}, std::int16_t{0x2F}, std::int16_t{0x3A}}) {
        EXPECT_EQ(this->dlg.txtHour_KeyPress(1, key), 0) << key;
        EXPECT_EQ(this->dlg.txtMinute_KeyPress(1, key), 0) << key;
        EXPECT_EQ(this->dlg.txtSEC_KeyPress(1, key), 0) << key;
    }
}

TYPED_TEST(WeekdayDialog, ChangeTurnsAnEmptyFieldIntoZero) {
    this->dlg.Form_Load();
    this->dlg.txtHour[2]->setText("");
    this->dlg.txtHour_Change(2);
    EXPECT_EQ(this->dlg.txtHour[2]->text(), "0");
    this->dlg.txtMinute[2]->setText("  ");
    this->dlg.txtMinute_Change(2);
    EXPECT_EQ(this->dlg.txtMinute[2]->text(), "0");
    this->dlg.txtSEC[2]->setText("");
    this->dlg.txtSEC_Change(2);
    EXPECT_EQ(this->dlg.txtSEC[2]->text(), "0");
}

TYPED_TEST(WeekdayDialog, ChangeHoldsEachFieldToItsBound) {
    this->dlg.Form_Load();
    auto& d = this->dlg;
    d.txtHour[0]->setText("24");
    d.txtHour_Change(0);
    EXPECT_EQ(d.txtHour[0]->text(), "23");
    d.txtHour[1]->setText("23");
    d.txtHour_Change(1);
    EXPECT_EQ(d.txtHour[1]->text(), "23");
    d.txtMinute[0]->setText("75");
    d.txtMinute_Change(0);
    EXPECT_EQ(d.txtMinute[0]->text(), "59");
    d.txtMinute[1]->setText("59");
    d.txtMinute_Change(1);
    EXPECT_EQ(d.txtMinute[1]->text(), "59");
    d.txtSEC[0]->setText("60");
    d.txtSEC_Change(0);
    EXPECT_EQ(d.txtSEC[0]->text(), "59");
    // A pasted long number is held as well.
    d.txtSEC[3]->setText("99999999999999999999");
    d.txtSEC_Change(3);
    EXPECT_EQ(d.txtSEC[3]->text(), "59");
    // A single digit is left for the field's exit to pad.
    d.txtHour[4]->setText("7");
    d.txtHour_Change(4);
    EXPECT_EQ(d.txtHour[4]->text(), "7");
    // Other rows are untouched.
    EXPECT_EQ(d.txtHour[5]->text(), "00");
}

TYPED_TEST(WeekdayDialog, LostFocusPadsToTwoDigits) {
    this->dlg.Form_Load();
    auto& d = this->dlg;
    d.txtHour[3]->setText("7");
    d.txtHour_LostFocus(3);
    EXPECT_EQ(d.txtHour[3]->text(), "07");
    d.txtHour_LostFocus(3);
    EXPECT_EQ(d.txtHour[3]->text(), "07");
    d.txtMinute[3]->setText("0");
    d.txtMinute_LostFocus(3);
    EXPECT_EQ(d.txtMinute[3]->text(), "00");
    d.txtSEC[3]->setText("42");
    d.txtSEC_LostFocus(3);
    EXPECT_EQ(d.txtSEC[3]->text(), "42");
    // An emptied field reads "0" after its change and "00" once left.
    d.txtSEC[4]->setText("");
    d.txtSEC_Change(4);
    d.txtSEC_LostFocus(4);
    EXPECT_EQ(d.txtSEC[4]->text(), "00");
}

// ---- selection and arrows ------------------------------------------------------

TYPED_TEST(WeekdayDialog, ClickSelectsTheWholeFieldAndRemembersIt) {
    this->dlg.Form_Load();
    this->dlg.txtMinute[4]->setText("35");
    this->dlg.txtMinute_Click(4);
    EXPECT_EQ(this->dlg.selectedField(), TimeField::Minute);
    EXPECT_EQ(this->dlg.selectedRow(), 4);
    EXPECT_EQ(this->dlg.txtMinute[4]->selStart(), 0);
    EXPECT_EQ(this->dlg.txtMinute[4]->selLength(), 2);
    this->dlg.txtSEC_Click(1);
    EXPECT_EQ(this->dlg.selectedField(), TimeField::Second);
    EXPECT_EQ(this->dlg.selectedRow(), 1);
    this->dlg.txtHour_Click(6);
    EXPECT_EQ(this->dlg.selectedField(), TimeField::Hour);
    EXPECT_EQ(this->dlg.selectedRow(), 6);
}

// The field keeps what is typed over the click's selection: the selection
// belongs to the text it was made on.
TYPED_TEST(WeekdayDialog, TypingOverTheClicksSelectionKeepsEveryDigit) {
    this->dlg.Form_Load();
    this->dlg.txtHour_Click(2);
    ASSERT_EQ(this->dlg.txtHour[2]->selLength(), 2);
    this->dlg.txtHour[2]->setText("2");  // the first key replaced the selection
    this->dlg.fireEvent("txtHour(2).Change");
    EXPECT_EQ(this->dlg.txtHour[2]->selLength(), 0);
    this->dlg.txtHour[2]->setText("23");
    this->dlg.fireEvent("txtHour(2).Change");
    this->dlg.fireEvent("txtHour(2).LostFocus");
    EXPECT_EQ(this->dlg.txtHour[2]->text(), "23");
    // A second click selects the field again.
    int selections = 0;
    this->dlg.setChangeListener([&](const std::string& what) { selections += what == "txtHour(2)"; });
    this->dlg.txtHour_Click(2);
    this->dlg.txtHour_Click(2);
    EXPECT_EQ(selections, 2);
    EXPECT_EQ(this->dlg.txtHour[2]->selLength(), 2);
}

TYPED_TEST(WeekdayDialog, UpArrowCountsUpToTheBoundWithoutWrapping) {
    this->dlg.Form_Load();
    auto& d = this->dlg;
    d.txtHour[0]->setText("22");
    d.txtHour_Click(0);
    d.imgTimeUp_Click(0);
    EXPECT_EQ(d.txtHour[0]->text(), "23");
    d.imgTimeUp_Click(0);
    EXPECT_EQ(d.txtHour[0]->text(), "23");

    d.txtMinute[0]->setText("58");
    d.txtMinute_Click(0);
    d.imgTimeUp_Click(0);
    d.imgTimeUp_Click(0);
    EXPECT_EQ(d.txtMinute[0]->text(), "59");

    d.txtSEC[0]->setText("09");
    d.txtSEC_Click(0);
    d.imgTimeUp_Click(0);
    EXPECT_EQ(d.txtSEC[0]->text(), "10");
    d.txtSEC[0]->setText("5");
    d.imgTimeUp_Click(0);
    EXPECT_EQ(d.txtSEC[0]->text(), "06");
    d.txtSEC[0]->setText("59");
    d.imgTimeUp_Click(0);
    EXPECT_EQ(d.txtSEC[0]->text(), "59");
}

TYPED_TEST(WeekdayDialog, UpArrowStartsAnEmptyOrNegativeFieldFromZero) {
    this->dlg.Form_Load();
    auto& d = this->dlg;
    d.txtHour[2]->setText("");
    d.txtHour_Click(2);
    d.imgTimeUp_Click(2);
    EXPECT_EQ(d.txtHour[2]->text(), "01");
    d.txtHour[2]->setText("-4");  // only pasting gets a sign into a field
    d.imgTimeUp_Click(2);
    EXPECT_EQ(d.txtHour[2]->text(), "01");
    d.txtHour[2]->setText("  ");
    d.imgTimeUp_Click(2);
    EXPECT_EQ(d.txtHour[2]->text(), "01");
}

TYPED_TEST(WeekdayDialog, UpArrowHoldsAValueAboveTheBoundToTheBound) {
    Store(this->Value(1, "txtMinute"), "75");  // written by hand into the settings
    this->dlg.Form_Load();
    this->dlg.txtMinute_Click(1);
    this->dlg.imgTimeUp_Click(1);
    EXPECT_EQ(this->dlg.txtMinute[1]->text(), "59");
}

TYPED_TEST(WeekdayDialog, DownArrowStopsAtZero) {
    this->dlg.Form_Load();
    auto& d = this->dlg;
    d.txtMinute_Click(5);
    d.imgTimeDown_Click(5);
    EXPECT_EQ(d.txtMinute[5]->text(), "00");
    d.txtMinute[5]->setText("10");
    d.imgTimeDown_Click(5);
    EXPECT_EQ(d.txtMinute[5]->text(), "09");
    d.txtMinute[5]->setText("01");
    d.imgTimeDown_Click(5);
    EXPECT_EQ(d.txtMinute[5]->text(), "00");
    d.imgTimeDown_Click(5);
    EXPECT_EQ(d.txtMinute[5]->text(), "00");
    d.txtMinute[5]->setText("");
    d.imgTimeDown_Click(5);
    EXPECT_EQ(d.txtMinute[5]->text(), "00");
    d.txtMinute[5]->setText("-2");
    d.imgTimeDown_Click(5);
    EXPECT_EQ(d.txtMinute[5]->text(), "00");
    d.txtMinute[5]->setText("7");
    d.imgTimeDown_Click(5);
    EXPECT_EQ(d.txtMinute[5]->text(), "06");
}

TYPED_TEST(WeekdayDialog, ArrowsDoNothingWithoutASelection) {
    this->dlg.Form_Load();
    for (int d = 0; d < 7; ++d) {
        this->dlg.imgTimeUp_Click(d);
        this->dlg.imgTimeDown_Click(d);
    }
    for (size_t d = 0; d < 7; ++d) {
        EXPECT_EQ(this->dlg.txtHour[d]->text(), "00");
        EXPECT_EQ(this->dlg.txtMinute[d]->text(), "00");
        EXPECT_EQ(this->dlg.txtSEC[d]->text(), "00");
    }
    EXPECT_EQ(this->w.errorLog(), "");
}

TYPED_TEST(WeekdayDialog, ArrowsActOnlyOnTheSelectedFieldOfTheirOwnRow) {
    this->dlg.Form_Load();
    auto& d = this->dlg;
    d.txtMinute_Click(2);
    d.imgTimeUp_Click(3);  // another row's arrow
    d.imgTimeUp_Click(1);
    EXPECT_EQ(d.txtMinute[1]->text(), "00");
    EXPECT_EQ(d.txtMinute[2]->text(), "00");
    EXPECT_EQ(d.txtMinute[3]->text(), "00");
    d.imgTimeUp_Click(2);
    d.imgTimeUp_Click(2);
    EXPECT_EQ(d.txtMinute[2]->text(), "02");
    EXPECT_EQ(d.txtHour[2]->text(), "00");
    EXPECT_EQ(d.txtSEC[2]->text(), "00");
    d.imgTimeDown_Click(2);
    EXPECT_EQ(d.txtMinute[2]->text(), "01");
}

TYPED_TEST(WeekdayDialog, ANewLoadForgetsTheSelection) {
    this->dlg.Form_Load();
    this->dlg.txtHour_Click(0);
    this->dlg.Form_Unload();
    this->dlg.Form_Load();
    EXPECT_EQ(this->dlg.selectedField(), TimeField::None);
    this->dlg.imgTimeUp_Click(0);
    EXPECT_EQ(this->dlg.txtHour[0]->text(), "00");
}

// ---- moving the borderless window ----------------------------------------------

TYPED_TEST(WeekdayDialog, LeftButtonStartsADragOtherButtonsDoNot) {
    int drags = 0;
    this->dlg.Form_MouseDown(mouse::Left);  // no view attached: nothing happens
    this->dlg.onDragStart = [&] { ++drags; };
    this->dlg.Form_MouseDown(mouse::Right);
    this->dlg.Form_MouseDown(mouse::Middle);
    EXPECT_EQ(drags, 0);
    this->dlg.Form_MouseDown(mouse::Left);
    EXPECT_EQ(drags, 1);
    EXPECT_EQ(this->w.errorLog(), "");
}

// ---- look ---------------------------------------------------------------------------

TYPED_TEST(WeekdayDialog, ShowsOneLabelledRowPerWeekdayInsideTheDialog) {
    auto& d = this->dlg;
    EXPECT_EQ(d.formName(), TestFixture::Names::Form);
    EXPECT_FALSE(d.caption().empty());
    EXPECT_EQ(d.lblTitle.caption(), d.caption());
    EXPECT_EQ(d.width(), 4000);
    EXPECT_EQ(d.height(), 3600);
    EXPECT_EQ(d.cmdTimeSave.caption(), "Save");
    const char* days[] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
    int previousBottom = 0;
    for (size_t i = 0; i < 7; ++i) {
        const int row = static_cast<int>(i);
        EXPECT_EQ(d.lblWeekday[i]->caption(), days[i]);
        EXPECT_EQ(d.txtHour[i]->fullName(), "txtHour(" + std::to_string(row) + ")");
        EXPECT_EQ(d.findControl("txtSEC(" + std::to_string(row) + ")"), d.txtSEC[i].get());
        EXPECT_EQ(d.findControl("imgTimeUp(" + std::to_string(row) + ")"), d.imgTimeUp[i].get());
        // Fields of one row side by side, rows one below the other.
        EXPECT_EQ(d.txtMinute[i]->top(), d.txtHour[i]->top());
        EXPECT_EQ(d.txtSEC[i]->top(), d.txtHour[i]->top());
        EXPECT_GT(d.txtMinute[i]->left(), d.txtHour[i]->left() + d.txtHour[i]->width() - 1);
        EXPECT_GT(d.txtSEC[i]->left(), d.txtMinute[i]->left() + d.txtMinute[i]->width() - 1);
        EXPECT_GE(d.txtHour[i]->top(), previousBottom);
        previousBottom = d.txtHour[i]->top() + d.txtHour[i]->height();
        EXPECT_LT(d.imgTimeUp[i]->top(), d.imgTimeDown[i]->top());
        EXPECT_FALSE(d.imgTimeUp[i]->picture().empty());
    }
    EXPECT_GE(d.cmdTimeSave.top(), previousBottom);
    for (Control* c : d.controls()) {
        EXPECT_GE(c->left(), 0) << c->fullName();
        EXPECT_LE(c->left() + c->width(), d.width()) << c->fullName();
        EXPECT_LE(c->top() + c->height(), d.height()) << c->fullName();
    }
}

// ---- failures -------------------------------------------------------------------------

TYPED_TEST(WeekdayDialog, AFailingStatementIsLoggedUnderTheHandlersNameAndTheHandlerGoesOn) {
    // A view whose repaint of Wednesday's hour field fails while armed.
    bool failing = true;
    this->dlg.setChangeListener([&failing](const std::string& what) {
        if (failing && what == "txtHour(2)") throw platform::Error(platform::err::DeviceIo, "Device I/O error");
    });
    Store(this->Value(2, "txtMinute"), "15");
    Store(this->Value(3, "txtHour"), "09");
    this->dlg.Form_Load();
    EXPECT_NE(this->w.errorLog().find(this->Proc(TestFixture::Names::Load) + "  2  57  Device I/O error"),
              std::string::npos)
        << this->w.errorLog();
    EXPECT_EQ(this->dlg.txtMinute[2]->text(), "15");
    EXPECT_EQ(this->dlg.txtHour[3]->text(), "09");
    EXPECT_TRUE(this->dlg.loaded());

    failing = false;
    this->dlg.txtHour_Click(2);
    failing = true;
    this->dlg.imgTimeUp_Click(2);
    EXPECT_NE(this->w.errorLog().find(this->Proc("imgTimeUp_Click") + "  1  57  "), std::string::npos);
    failing = false;
    this->dlg.txtHour[2]->setText("5");
    failing = true;
    this->dlg.txtHour_LostFocus(2);
    EXPECT_NE(this->w.errorLog().find(this->Proc("txtHour_LostFocus") + "  1  57  "), std::string::npos);
    EXPECT_EQ(this->w.errorIndicatorCount, 3);
}

TYPED_TEST(WeekdayDialog, ARowThatDoesNotExistIsLoggedAsASubscriptFailure) {
    this->dlg.Form_Load();
    this->dlg.imgTimeDown_Click(7);
    this->dlg.txtMinute_Change(-1);
    this->dlg.txtSEC_Click(9);
    const std::string log = this->w.errorLog();
    EXPECT_NE(log.find(this->Proc("imgTimeDown_Click") + "  1  9  "), std::string::npos) << log;
    EXPECT_NE(log.find(this->Proc("txtMinute_Change") + "  1  9  "), std::string::npos) << log;
    EXPECT_NE(log.find(this->Proc("txtSEC_Click") + "  1  9  "), std::string::npos) << log;
    EXPECT_EQ(this->dlg.selectedField(), TimeField::None);
    EXPECT_EQ(this->w.errorIndicatorCount, 3);
}

TYPED_TEST(WeekdayDialog, AFailingDragIsLoggedAndTheDialogStays) {
    this->dlg.Form_Load();
    this->dlg.onDragStart = [] { throw platform::Error(platform::err::SystemCallFailed, "SendMessageA failed"); };
    this->dlg.Form_MouseDown(mouse::Left);
    EXPECT_NE(this->w.errorLog().find(this->Proc("Form_MouseDown") + "  1  1000  SendMessageA failed"),
              std::string::npos);
    EXPECT_TRUE(this->dlg.loaded());
}

// ---- the time-window dialog's duration -----------------------------------------------

TEST(WindowSetup, DurationLoadsZeroWhenNothingIsStoredAndSavesBack) {
    TestWorld w;
    Store("4txtTWDuration", "90");
    frmWindowSetup d;
    d.Form_Load();
    EXPECT_EQ(d.txtTimeWindowDuration[4]->text(), "90");
    for (size_t i : {0u, 1u, 2u, 3u, 5u, 6u}) EXPECT_EQ(d.txtTimeWindowDuration[i]->text(), "0");
    d.txtTimeWindowDuration[6]->setText("15");
    d.Form_Unload();
    EXPECT_EQ(Stored("6txtTWDuration"), "15");
    EXPECT_EQ(Stored("0txtTWDuration"), "0");
    EXPECT_EQ(Stored("4txtTWDuration"), "90");
}

TEST(WindowSetup, DurationChangeTurnsEmptyIntoZeroAndHasNoUpperBound) {
    TestWorld w;
    frmWindowSetup d;
    d.Form_Load();
    d.txtTimeWindowDuration[0]->setText("");
    d.txtTimeWindowDuration_Change(0);
    EXPECT_EQ(d.txtTimeWindowDuration[0]->text(), "0");
    d.txtTimeWindowDuration[1]->setText("   ");
    d.txtTimeWindowDuration_Change(1);
    EXPECT_EQ(d.txtTimeWindowDuration[1]->text(), "0");
    d.txtTimeWindowDuration[2]->setText("5000");
    d.txtTimeWindowDuration_Change(2);
    EXPECT_EQ(d.txtTimeWindowDuration[2]->text(), "5000");
    d.txtTimeWindowDuration[3]->setText("1440");
    d.txtTimeWindowDuration_Change(3);
    EXPECT_EQ(d.txtTimeWindowDuration[3]->text(), "1440");
    d.txtTimeWindowDuration_Change(7);
    EXPECT_NE(w.errorLog().find("txtTimeWindowDuration_Change of Formular frmWindowSetup  1  9  "),
              std::string::npos);
}

TEST(WindowSetup, TheArrowsLeaveTheDurationAlone) {
    TestWorld w;
    frmWindowSetup d;
    d.Form_Load();
    d.txtTimeWindowDuration[1]->setText("30");
    d.txtTimeWindowDuration_Change(1);
    d.imgTimeUp_Click(1);
    d.imgTimeDown_Click(1);
    EXPECT_EQ(d.txtTimeWindowDuration[1]->text(), "30");
}

TEST(WindowSetup, DurationColumnSitsBesideTheTimeOfEachRow) {
    TestWorld w;
    frmWindowSetup d;
    EXPECT_EQ(d.lblDurationHeader.caption(), "Minutes");
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(d.txtTimeWindowDuration[i]->fullName(), "txtTimeWindowDuration(" + std::to_string(i) + ")");
        EXPECT_EQ(d.txtTimeWindowDuration[i]->top(), d.txtHour[i]->top());
        EXPECT_GE(d.txtTimeWindowDuration[i]->left(), d.imgTimeUp[i]->left() + d.imgTimeUp[i]->width());
        EXPECT_LE(d.txtTimeWindowDuration[i]->left() + d.txtTimeWindowDuration[i]->width(), d.width());
    }
}

TEST(WindowSetup, UnloadFailuresAreLoggedUnderItsName) {
    TestWorld w;
    frmWindowSetup d;
    d.Form_Load();
    d.onUnloaded = [] { throw platform::Error(platform::err::SystemCallFailed, "DestroyWindow failed"); };
    d.Form_Unload();
    EXPECT_NE(w.errorLog().find("Form_Unload of Formular frmWindowSetup  11  1000  DestroyWindow failed"),
              std::string::npos)
        << w.errorLog();
    EXPECT_EQ(Stored("6txtSECTW"), "00");
}

TEST(TimeSetup, LoadFailuresCarryTheDialogsOwnLoadName) {
    TestWorld w;
    frmTimeSetup d;
    d.setChangeListener([](const std::string& what) {
        if (what == "txtSEC(0)") throw platform::Error(platform::err::DeviceIo, "Device I/O error");
    });
    d.Form_Load();
    EXPECT_NE(w.errorLog().find("  form_load of Formular frmTimeSetup  4  57  Device I/O error"), std::string::npos)
        << w.errorLog();
}

// ---- the rules on their own ----------------------------------------------------------

TEST(TimeFieldRules, BoundsPerKind) {
    EXPECT_EQ(timefield::Bound(TimeField::Hour), 23);
    EXPECT_EQ(timefield::Bound(TimeField::Minute), 59);
    EXPECT_EQ(timefield::Bound(TimeField::Second), 59);
}

TEST(TimeFieldRules, KeyFilterAcceptsExactlyBackspaceAndDigits) {
    std::set<int> accepted;
    for (int k = -1; k < 256; ++k)
        if (timefield::AcceptsKey(static_cast<std::int16_t>(k))) accepted.insert(k);
    EXPECT_EQ(accepted, (std::set<int>{8, '0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}));
}

TEST(TimeFieldRules, StepsNeverWrap) {
    EXPECT_EQ(timefield::StepUp("23", TimeField::Hour), "23");
    EXPECT_EQ(timefield::StepUp("23", TimeField::Minute), "24");
    EXPECT_EQ(timefield::StepUp("00", TimeField::Second), "01");
    EXPECT_EQ(timefield::StepDown("00", TimeField::Hour), "00");
    EXPECT_EQ(timefield::StepDown("0", TimeField::Hour), "0");  // already at zero: left as it is
    EXPECT_EQ(timefield::StepDown("30", TimeField::Hour), "23");
    EXPECT_EQ(timefield::StepUp("99999999999999999999", TimeField::Minute), "59");
}

TEST(TimeFieldRules, PaddingKeepsTheLastTwoCharacters) {
    EXPECT_EQ(timefield::Padded("7"), "07");
    EXPECT_EQ(timefield::Padded("07"), "07");
    EXPECT_EQ(timefield::Padded(""), "0");
}

}  // namespace
