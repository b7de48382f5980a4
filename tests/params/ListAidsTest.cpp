// The list's marks, the comparison with a file and the search rule, with no widget.

#include "ParameterCompare.h"
#include "ParameterMarks.h"
#include "ParameterSearch.h"

#include <gtest/gtest.h>

namespace {

using namespace kestova::params;

ParameterRow Row(const std::string& address, const std::string& number,
                 const std::string& description, const std::string& value) {
    ParameterRow row;
    row.Cell(kAddressColumn) = address;
    row.Cell(kNumberColumn) = number;
    row.Cell(kDescriptionColumn) = description;
    row.Cell(kValueColumn) = value;
    return row;
}

TEST(ParameterMarks, aValueDiffersFromTheDefaultOnlyAsTheDriveWouldShowIt) {
    ParameterMarks marks;
    // Register 14 is shown unsigned: -1 written shows as 65535.
    marks.SetDefaults({Row("42", "P42", "Gain", "50"), Row("14", "P14", "Limit", "65535")});
    EXPECT_FALSE(marks.DiffersFromDefault(Row("42", "P42", "Gain", "+050")));
    EXPECT_TRUE(marks.DiffersFromDefault(Row("42", "P42", "Gain", "61")));
    EXPECT_FALSE(marks.DiffersFromDefault(Row("14", "P14", "Limit", "65535")));
    EXPECT_FALSE(marks.DiffersFromDefault(Row("43", "P43", "Other", "7"))); // no default known
}

TEST(ParameterMarks, aWrittenRowStaysUnstoredAcrossNewRowsUntilTheStore) {
    ParameterMarks marks;
    marks.MarkWritten(Row("42", "P42", "Gain", "61"));
    // The same row loaded again (another class filter, another value) keeps its mark; a row of
    // the same register with another number does not share it.
    EXPECT_TRUE(marks.IsUnstored(Row("42", "P42", "Gain", "50")));
    EXPECT_FALSE(marks.IsUnstored(Row("42", "P42b", "Gain", "61")));
    marks.Stored();
    EXPECT_FALSE(marks.IsUnstored(Row("42", "P42", "Gain", "61")));
}

TEST(ParameterCompare, onlyRowsOnBothSidesWithAnotherExactValueDiffer) {
    const ParameterRows drive{Row("41", "P41", "A", "20"), Row("42", "P42", "B", "50"),
                              Row("14", "P14", "C", "65535"), Row("43", "P43", "D", "12"),
                              Row("44", "P44", "F", "4464")};
    const ParameterRows file{
        Row("14", "P14", "C", "65535"), Row("42", "P42", "B", "061"), // differs
        Row("43", "P43", "D", "12.9"),  // no register holds it: differs
        Row("44", "P44", "F", "70000"), // would wrap to 4464: differs
        Row("41", "P41", "A", "20"),    Row("99", "P99", "E", "5")};
    const std::vector<RowDifference> found = CompareWithFile(drive, file);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].row, 1);
    EXPECT_EQ(found[0].driveValue, "50");
    EXPECT_EQ(found[0].fileValue, "61");
    EXPECT_EQ(found[1].fileValue, "12.9");
    EXPECT_EQ(found[2].fileValue, "70000");

    const ParameterRows merged = MergeChosen(drive, found);
    EXPECT_EQ(merged[1].Cell(kValueColumn), "61");
    EXPECT_EQ(merged[0].Cell(kValueColumn), "20");
}

TEST(ParameterSearch, matchesNumberOrNameInAnyCaseAndEmptyMatchesAll) {
    const ParameterRow row = Row("42", "P1-05", "Position Loop Gain", "50");
    EXPECT_TRUE(MatchesSearch(row, "  "));
    EXPECT_TRUE(MatchesSearch(row, "1-05"));
    EXPECT_TRUE(MatchesSearch(row, " loop GAIN "));
    EXPECT_FALSE(MatchesSearch(row, "42"));    // the register is not searched
    EXPECT_FALSE(MatchesSearch(row, "50"));    // nor the value
    EXPECT_FALSE(MatchesSearch(row, "speed")); // nor anything else
}

} // namespace
