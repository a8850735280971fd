#include "schedule/Varn_Time.h"

#include "base/Runtime.h"
#include "base/Varn_ErrorLog.h"

namespace nocturo {

void Wait(std::int32_t seconds) {
    try {
        const std::int64_t start = clock().monotonicMs();
        const std::int64_t length = static_cast<std::int64_t>(seconds) * 1000;
        while (clock().monotonicMs() - start < length) WaitEvents();
        loop().yield();
    } catch (...) {
        ReportCurrentException("Wait of Modul Varn_Time", 2);
    }
}

}  // namespace nocturo
