#include "schedule/frmWindowSetup.h"

#include "base/Strings.h"
#include "base/Varn_ErrorLog.h"

namespace nocturo {

frmWindowSetup::frmWindowSetup()
    : WeekdayTimeRows("frmWindowSetup", "Start Action if in defined time window", "TW", "Form_Load") {
    lblDurationHeader.setCaption("Minutes");
    lblDurationHeader.setGeometry(ExtraLeft, 330, ExtraWidth, 195);
    for (int d = 0; d < weekday::Days; ++d) {
        const size_t i = static_cast<size_t>(d);
        txtTimeWindowDuration[i] = std::make_unique<TextBox>(this, "txtTimeWindowDuration", d);
        txtTimeWindowDuration[i]->setGeometry(ExtraLeft, RowTop(d), ExtraWidth, FieldHeight);
        txtTimeWindowDuration[i]->setToolTip("Length of the window in minutes (0: no window)");
    }
    storeField(txtTimeWindowDuration, "txtTWDuration", "0");
    for (int d = 0; d < weekday::Days; ++d)
        on("txtTimeWindowDuration(" + std::to_string(d) + ").Change", [this, d] { txtTimeWindowDuration_Change(d); });
}

void frmWindowSetup::txtTimeWindowDuration_Change(int index) {
    Step(procedure("txtTimeWindowDuration_Change").c_str(), 1, [&] {
        TextBox& box = *txtTimeWindowDuration.at(static_cast<size_t>(index));
        if (Trim(box.text()).empty()) box.setText("0");
    });
}

}  // namespace nocturo
