#include "kel_util/SocketException.h"

namespace kel_util {

SocketException SocketException::fromError(int code, int errorNumber) {
    SocketException error(errorNumber != 0 ? errorText(errorNumber) + " (" + std::to_string(errorNumber) + ")"
                                           : std::string(),
                          code);
    error.errorNumber_ = errorNumber;
    return error;
}

}  // namespace kel_util
