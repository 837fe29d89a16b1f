// The kernel suite's entry point: the private mount namespace comes before anything starts a
// thread, so every thread of the program sees the fixture's mounts and none reaches the host.

#include <gtest/gtest.h>

#include "tests/kernel/PrivateMounts.h"

int main(int argc, char** argv) {
    // A failure shows as each test's skip reason (HidrawFixture::Unavailable).
    padsmith::test::EnterPrivateMountNamespace();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
