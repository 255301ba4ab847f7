#include "kel_util/Exception.h"

#include <gtest/gtest.h>

#include <cerrno>

using kel_util::BaseException;
using kel_util::SystemException;
using kel_util::Throwable;

TEST(Exception, TextFormListsCodeMessageAndCauses) {
    BaseException innermost("bad port", 0);
    BaseException middle("invalid sent-by", 0, innermost);
    BaseException outer("invalid Via", 7, middle);
    EXPECT_EQ(outer.toString(), "(7) invalid Via, invalid sent-by, bad port");
    EXPECT_EQ(BaseException("Connection reset", 10054).toString(), "(10054) Connection reset");
}

TEST(Exception, CopiesOwnTheirCauseAndKeepItsType) {
    std::unique_ptr<Throwable> copy;
    {
        SystemException cause(ECONNRESET, "recv");
        BaseException outer("read failed", 1, cause);
        copy = outer.clone();
    }
    ASSERT_NE(copy->getCause(), nullptr);
    EXPECT_EQ(copy->getCause()->getCode(), ECONNRESET);
    EXPECT_NE(dynamic_cast<const SystemException*>(copy->getCause()), nullptr);
}

TEST(Exception, SystemExceptionAppendsTheLibraryTextOnlyForNonZeroCodes) {
    EXPECT_EQ(SystemException(0, "Thread::join").getMessage(), "Thread::join");
    const SystemException error(ENOENT, "open");
    EXPECT_EQ(error.getCode(), ENOENT);
    EXPECT_EQ(error.getMessage(), "open: " + kel_util::errorText(ENOENT));
}
