// The JSON reader (simulated answers, the simulated journal): whatever the
// text, parsing succeeds or throws JsonParseError, and a value read is
// written as text that reads back as the same value.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/common/Json.h"

using nocturo::platform::Json;
using nocturo::platform::JsonParseError;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Json value;
    try {
        value = Json::parse(text);
    } catch (const JsonParseError&) {
        return 0;
    }
    const std::string written = value.dump();
    Json back;
    try {
        back = Json::parse(written);
    } catch (const JsonParseError& e) {
        std::fprintf(stderr, "dump does not parse: %s\n", e.what());
        std::abort();
    }
    if (back.dump() != written) {
        std::fprintf(stderr, "dump of the value read back differs\n");
        std::abort();
    }
    return 0;
}
