// nocturo_unit: writes the systemd unit that the packages ship, from the
// same code that `nocturoctl service install` writes it with, so the two
// cannot drift apart.
// Usage: nocturo_unit PROGRAM_FOLDER OUTPUT_FILE
//
// The packaged unit is the one for the default system store and no cleaned
// folders: those are the installing user's and only known to the program's
// own install, which writes its unit into /etc/systemd/system, where it
// takes the place of the packaged one.
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "platform/posix/SystemdServiceControl.h"

int main(int argc, char** argv) {
    if (argc != 3 || argv[1][0] != '/') {
        std::cerr << "usage: nocturo_unit PROGRAM_FOLDER OUTPUT_FILE (PROGRAM_FOLDER absolute)\n";
        return 2;
    }
    // The unit must not depend on who builds it.
    ::unsetenv("NOCTURO_SYSTEM_REGISTRY");
    ::unsetenv("NOCTURO_UNIT_DIR");
    ::unsetenv("NOCTURO_SYSTEMD_BUS");
    const std::string text = nocturo::platform::SystemdServiceControl(argv[1]).unitText();
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::cerr << "nocturo_unit: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
