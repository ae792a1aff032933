#include "engine/LineSettings.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(LineSettingsTest, TheThreeSettingsOfARunFormatWithoutSpaces) {
    EXPECT_EQ(FormatLineSettings(kForceMonitorLine), "9600,O,8,1");
    EXPECT_EQ(FormatLineSettings(kMonitorLine), "9600,N,8,1");
    EXPECT_EQ(FormatLineSettings(kDemonLine), "57600,N,8,1");
}

TEST(LineSettingsTest, ParsingReadsBackWhatFormattingWrote) {
    for (const auto& settings :
         {kForceMonitorLine, kMonitorLine, kDemonLine, LineSettings{115200, 'E', 7, 2}}) {
        EXPECT_EQ(ParseLineSettings(FormatLineSettings(settings)), settings);
    }
}

TEST(LineSettingsTest, MalformedTextsAreRefused) {
    for (const char* text : {"", "9600", "9600,N,8", "9600,X,8,1", "9600,N,8,1,", " 9600,N,8,1",
                             "9600,n,8,1", "0,N,8,1", "9600,N,9,1", "9600,N,8,3", "abc,N,8,1"}) {
        EXPECT_FALSE(ParseLineSettings(text).has_value()) << text;
    }
}

}  // namespace
}  // namespace vantrel
