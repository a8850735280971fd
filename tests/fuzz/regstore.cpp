// The settings file's reader and writer: whatever the bytes, parsing either
// succeeds or throws RegParseError, and what it read survives being written
// and read again, in both forms the writer produces.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/Error.h"
#include "platform/common/RegStore.h"

using nocturo::platform::RegParseError;
using nocturo::platform::RegStore;

namespace {

[[noreturn]] void failure(const char* what) {
    std::fprintf(stderr, "regstore round trip: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    RegStore first;
    try {
        first = RegStore::parse(bytes);
    } catch (const RegParseError&) {
        return 0;  // not a registry file: refused, which is all it may do
    }
    const std::string file = first.exportFile();
    const std::string text = first.serialize();
    RegStore second, third;
    try {
        second = RegStore::parse(file);
        third = RegStore::parse(text);
    } catch (const RegParseError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        failure("what the writer wrote does not parse");
    }
    if (!second.sameTree(first)) failure("the file written reads as another tree");
    if (!third.sameTree(first)) failure("the UTF-8 text written reads as another tree");
    if (second.exportFile() != file) failure("writing the tree read back gives another file");
    if (second.valueCount() != first.valueCount()) failure("values lost");
    // The tree answers for every value it lists.
    return 0;
}
