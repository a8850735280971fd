#pragma once
// The weekday dialog of the mode "Start Action if in defined time window": per
// day the start of the window, stored as d + "txtHourTW", d + "txtMinuteTW"
// and d + "txtSECTW", and its length in whole minutes, d + "txtTWDuration"
// (d = 0 for Monday to 6 for Sunday). A length of 0 means that day's window
// is never due.
#include "schedule/WeekdayTimeRows.h"

namespace nocturo {

class frmWindowSetup : public WeekdayTimeRows {
public:
    frmWindowSetup();

    Label lblDurationHeader{this, "lblDurationHeader"};
    DayArray<TextBox> txtTimeWindowDuration;

    // Empty text becomes "0"; there is no upper bound.
    void txtTimeWindowDuration_Change(int index);
};

}  // namespace nocturo
