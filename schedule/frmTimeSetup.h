#pragma once
// The weekday dialog of the mode "Start Action depending on weekday": one
// start time per day, stored as d + "txtHour", d + "txtMinute" and
// d + "txtSEC" (d = 0 for Monday to 6 for Sunday).
#include "schedule/WeekdayTimeRows.h"

namespace nocturo {

class frmTimeSetup : public WeekdayTimeRows {
public:
    frmTimeSetup();
};

}  // namespace nocturo
