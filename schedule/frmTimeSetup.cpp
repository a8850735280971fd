#include "schedule/frmTimeSetup.h"

namespace nocturo {

// The load of this dialog has always been logged as "form_load".
frmTimeSetup::frmTimeSetup()
    : WeekdayTimeRows("frmTimeSetup", "Start Action depending on weekday", "", "form_load") {}

}  // namespace nocturo
