#include "app/LockPc_Main.h"

#include "base/Runtime.h"
#include "base/Variant.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_GetSystemInfos.h"
#include "base/Varn_Language.h"
#include "base/Varn_Registry.h"

namespace nocturo {

bool PrepareLockProgram(const std::string& procedure) {
    const char* p = procedure.c_str();
    Runtime& r = rt();
    Step(p, 1, [&] {
        r.appName = "Nocturo";
        r.winVersionCode = GetWinVersionNum();
    });
    Step(p, 2, [] { GetPCInfos(); });
    // The service's settings live under the machine number, as in the main program.
    Step(p, 3, [&] {
        if (CLng(ReadSetting(MachineApp(), kSettings, "chkNtService", 0)) == 1) r.userId = r.machineNumber;
    });
    std::string language = "english";
    Step(p, 4, [&] { language = CStr(ReadSetting(UserApp(), kSettings, "Language", std::string("english"))); });
    if (!set_language(language + ".lng")) return false;
    Step(p, 5, [] { StartErrorLog(); });
    return true;
}

}  // namespace nocturo
