#include "phone/InstanceLock.h"

#include "../support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(InstanceLock, SecondHolderIsRefusedUntilTheFirstGoes) {
    tessaly_test::TempDir dir;
    const std::string path = dir.file("tessaly.lock");
    std::string error;
    auto first = std::make_unique<InstanceLock>();
    ASSERT_EQ(first->acquire(path, error), InstanceLock::Result::Acquired) << error;
    InstanceLock second;
    EXPECT_EQ(second.acquire(path, error), InstanceLock::Result::HeldElsewhere);
    first.reset();
    EXPECT_EQ(second.acquire(path, error), InstanceLock::Result::Acquired) << error;
}

TEST(InstanceLock, UnopenableFileFailsWithAReason) {
    InstanceLock lock;
    std::string error;
    EXPECT_EQ(lock.acquire("/nonexistent-dir/tessaly.lock", error), InstanceLock::Result::Failed);
    EXPECT_NE(error.find("/nonexistent-dir/tessaly.lock"), std::string::npos);
}

TEST(InstanceLock, DefaultPathFollowsTheRuntimeDirectory) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string restore = saved != nullptr ? saved : "";
    ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
    EXPECT_EQ(InstanceLock::defaultPath(), "/run/user/4242/tessaly.lock");
    ::setenv("XDG_RUNTIME_DIR", "", 1);
    EXPECT_EQ(InstanceLock::defaultPath().rfind("/tmp/tessaly-", 0), 0u);
    if (saved != nullptr) {
        ::setenv("XDG_RUNTIME_DIR", restore.c_str(), 1);
    } else {
        ::unsetenv("XDG_RUNTIME_DIR");
    }
}

}  // namespace
