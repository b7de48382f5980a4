// The IO function register and the hexadecimal text the panel reads it from.

#include "IoFunction.h"
#include "NumberText.h"

#include <gtest/gtest.h>

using namespace kestova::params;

namespace {

TEST(IoRegister, eachFieldIsSetWithoutTouchingBit6OrTheTopNibble) {
    // 0xF07F: every bit the panel does not own is set, plus the fields under test.
    EXPECT_EQ(WithFunction(0xF07F, 0x14), 0xF054u);
    EXPECT_EQ(WithFunction(0x0000, 0x7F), 0x003Fu); // a code never spills into bit 6
    EXPECT_EQ(WithContact(0xF07F, true), 0xF0FFu);
    EXPECT_EQ(WithContact(0xF0FF, false), 0xF07Fu);
    EXPECT_EQ(WithFilter(0xF07F, 15), 0xFF7Fu);
    EXPECT_EQ(WithFilter(0xFFFF, 1), 0xF1FFu);
    EXPECT_EQ(FunctionOf(0x0194), 0x14u);
    EXPECT_TRUE(IsBNode(0x0194));
    EXPECT_EQ(FilterOf(0x0194), 1u);
}

TEST(IoRegister, theDescriptionTellsInputFromOutputInAnyCase) {
    EXPECT_EQ(IoKindOf("SI5 input function"), IoKind::Input);
    EXPECT_EQ(IoKindOf("so1 output function"), IoKind::Output);
    EXPECT_EQ(IoKindOf("Input: SO/SI pair"), IoKind::Input); // SI wins wherever it stands
    EXPECT_EQ(IoKindOf("Enable input filter"), IoKind::Unknown);
}

TEST(IoRegister, entryCodesAreHexadecimalAndFilterIndexesDecimal) {
    EXPECT_EQ(FunctionEntryCode("14:EMG"), 0x14u);
    EXPECT_EQ(FunctionEntryCode("19: Custom Defined (GPIO)"), 0x19u);
    EXPECT_EQ(FunctionEntryCode(":EMG"), std::nullopt);
    EXPECT_EQ(FunctionEntryCode("EMG"), std::nullopt);
    EXPECT_EQ(FilterEntryIndex("13:100ms"), 13u);
}

TEST(HexText, theCheckLetsSignsAndOnePointThroughTheReadingDoesNot) {
    EXPECT_TRUE(IsNumberText(""));
    EXPECT_TRUE(IsNumberText("-1"));
    EXPECT_TRUE(IsNumberText("+1.F"));
    EXPECT_FALSE(IsNumberText("1G"));
    EXPECT_FALSE(IsNumberText("1-"));
    EXPECT_FALSE(IsNumberText("1.2.3"));
    EXPECT_EQ(ParseHexText(""), 0u);
    EXPECT_EQ(ParseHexText("194"), 0x194u);
    EXPECT_EQ(ParseHexText("fFfF"), 0xFFFFu);
    EXPECT_EQ(ParseHexText("12345678"), 0x12345678u);
    EXPECT_EQ(ParseHexText("-1"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseHexText("1."), 0xFFFFFFFFu);
}

} // namespace
