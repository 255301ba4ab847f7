#include "UsageEventLog.h"

#include <gtest/gtest.h>

#include "kel_sip/syntax/HeaderList.h"

namespace kel_sip::test {

std::unique_ptr<SipMessageExt> responseTo(const SipMessageExt& request, int code, const std::string& headers) {
    std::unique_ptr<SipMessageExt> response = request.createResponse(code, nullptr, false);
    HeaderList extra;
    EXPECT_TRUE(headers.empty() || extra.parse(headers.data(), static_cast<int>(headers.size()), true)) << headers;
    response->addHeaders(extra);
    return response;
}

}  // namespace kel_sip::test
