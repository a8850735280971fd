#include "cleaner/Varn_Del2RecycleBin.h"

#include "base/Runtime.h"

namespace nocturo {

void Delete2RecycleBin(const std::string& file) {
    try {
        files().moveToRecycleBin(file);
    } catch (...) {
        // The recycle bin is best effort: the file simply stays where it is.
    }
}

std::string DefaultListDelimiters() { return std::string(";\0\t\n\r", 5); }

std::int32_t SplitList(std::string text, std::string& delimiters, std::vector<std::string>& list) {
    if (delimiters.empty()) delimiters = DefaultListDelimiters();
    auto isDelimiter = [&](char c) { return delimiters.find(c) != std::string::npos; };
    if (text.empty() || !isDelimiter(text.back())) text += delimiters[0];

    std::int32_t index = -1;
    size_t start = 0;
    list.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (isDelimiter(text[i])) {
            ++index;
            list.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    // A text that was only one delimiter holds no item.
    if (text.size() == 1) {
        list.clear();
        return -1;
    }
    return index;
}

}  // namespace nocturo
