#include "link/port_names.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tenlo {
namespace {

using ::testing::ElementsAre;

TEST(PortNames, WindowsNamesOnlyItsOwnDeviceForCom) {
    // Not the POSIX places: a Windows user was told it looked for /dev/ttyS7.
    EXPECT_THAT(ComPortCandidates(8, PortSystem::Windows), ElementsAre("\\\\.\\COM8"));
    EXPECT_THAT(ComPortCandidates(12, PortSystem::Windows), ElementsAre("\\\\.\\COM12"));
    EXPECT_EQ(ComPortCandidates(8, PortSystem::Posix).back(), "/dev/ttyS7");
}

}  // namespace
}  // namespace tenlo
