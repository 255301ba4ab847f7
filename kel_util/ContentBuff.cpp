#include "kel_util/ContentBuff.h"

namespace kel_util {

void ContentBuff::set(const char* data, int length) {
    if (data == nullptr || length < 1) {
        bytes_.clear();
    } else {
        bytes_.assign(data, static_cast<size_t>(length));
    }
}

}  // namespace kel_util
