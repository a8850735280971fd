// The maker's version list as the new-version check reads it: any text
// gives its fields, this program's line or none, and a version or none.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "timevoice/Varn_Internet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::size_t total = 0;
    for (const auto& field : nocturo::ReadInputFields(text)) total += field.size();
    if (total > text.size()) {
        std::fprintf(stderr, "fields longer than the text\n");
        std::abort();
    }
    const nocturo::ProgramVersion running{1, 0, 0};
    if (const auto listed = nocturo::FindListedVersion(text, "Nocturo")) {
        if (const auto version = nocturo::ParseProgramVersion(*listed)) {
            const int entry = nocturo::NewerVersionEntry(*version, running);
            if (entry != 0 && entry != 45 && entry != 46 && entry != 47) std::abort();
            if (nocturo::NewerVersionEntry(*version, *version) != 0) std::abort();
        }
    }
    (void)nocturo::ParseProgramVersion(text);
    return 0;
}
