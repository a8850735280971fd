#pragma once
// Initial state of every Blowfish instance: the P-array and the four S-boxes
// filled with the hexadecimal digits of pi (BlowfishTables.cpp is generated
// by gen_pi_tables.py).
#include <cstdint>

namespace nocturo::blowfish {

extern const std::uint32_t kPiP[18];
extern const std::uint32_t kPiS[4][256];

}  // namespace nocturo::blowfish
