// The language file reader: any text gives a table, or the error the
// program logs for a malformed index, never anything worse.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/Varn_Language.h"
#include "platform/Error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    int line = -1;
    try {
        const auto table = nocturo::ParseLanguageText(text, line);
        // Indexes are 16-bit numbers: the table never grows beyond them.
        if (table.size() > 65536) {
            std::fprintf(stderr, "language table of %zu entries\n", table.size());
            std::abort();
        }
    } catch (const nocturo::platform::Error&) {
        if (line < 1) {
            std::fprintf(stderr, "a parse error without its line\n");
            std::abort();
        }
    }
    return 0;
}
