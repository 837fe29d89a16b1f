// Every interruption of a Write Flash is recoverable by a fresh Write Flash.

#include <gtest/gtest.h>

#include "tests/support/RecoveryCampaign.h"

namespace padsmith::test {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kStride = 16;  // the sanitizers slow every record tenfold: every 16th index
#else
constexpr int kStride = 1;
#endif

TEST(Recovery, EveryInterruptionOfAWriteIsRecoveredByAFreshWriteFlash) {
    support::RecoveryReport report = support::RunRecoveryCampaign(kStride);
    std::string failures;
    for (size_t i = 0; i < report.failures.size() && i < 10; ++i) failures += report.failures[i] + "\n";
    EXPECT_EQ(report.recovered, report.total) << failures;
    EXPECT_GE(report.total, 2 * 1344 / kStride + 2);
}

}  // namespace
}  // namespace padsmith::test
