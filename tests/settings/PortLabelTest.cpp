#include "settings/PortLabel.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(PortLabelTest, EveryPortReadsBackFromItsLabel) {
    for (int port = 1; port <= 99; ++port) {
        EXPECT_EQ(PortFromLabel(PortLabel(port)), port) << PortLabel(port);
    }
    EXPECT_EQ(PortLabel(16), "COM16");
}

TEST(PortLabelTest, OnlyComAndANumberWithoutLeadingZeroIsALabel) {
    EXPECT_EQ(PortFromLabel("com7"), 7);
    EXPECT_EQ(PortFromLabel("Com12"), 12);
    EXPECT_EQ(PortFromLabel("COM-1"), -1) << "a number, so the command line says no such port";
    for (const char* other :
         {"COM", "COM0", "COM03", "COM100", "COM+1", "COM1 ", "CON1", "/dev/ttyS0", "", "1"}) {
        EXPECT_EQ(PortFromLabel(other), std::nullopt) << '"' << other << '"';
    }
}

}  // namespace
}  // namespace vantrel
