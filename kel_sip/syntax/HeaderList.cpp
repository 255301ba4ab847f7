#include "kel_sip/syntax/HeaderList.h"

#include <string_view>

#include "kel_util/HeaderLine.h"

namespace kel_sip {

void HeaderList::clear() {
    typedHeaders.clear();
    headers.clear();
}

bool HeaderList::empty() const {
    return typedHeaders.empty() && headers.empty();
}

bool HeaderList::parse(const char* data, int length, bool clearFirst) {
    if (clearFirst) clear();
    const char* end = data + length;
    const char* line = data;
    while (line != nullptr && line < end) {
        const char* next = nullptr;
        const int lineLength = kel_util::findHeaderLine(line, static_cast<int>(end - line), next);
        if (lineLength == 0) break;
        std::string_view name;
        std::string_view value;
        if (!kel_util::splitHeaderLine(line, lineLength, name, value)) {
            if (clearFirst) clear();
            return false;
        }
        addHeader(name, value);
        line = next;
    }
    return true;
}

void HeaderList::print(std::string& out) const {
    typedHeaders.print(out);
    headers.print(out);
}

}  // namespace kel_sip
