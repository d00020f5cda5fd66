#include "connection/OutputFormats.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace vx {
namespace {

std::vector<std::string> BlockOf(const std::vector<std::string>& entries, bool withEnd = true) {
    std::vector<std::string> lines{"; comment", "", ":START"};
    lines.insert(lines.end(), entries.begin(), entries.end());
    if (withEnd) {
        lines.push_back(":END");
    }
    return lines;
}

TEST(OutputFormatTable, ShippedTextIsTheResourceFileAndYieldsFiveFormats) {
    std::ifstream file(VX_SOURCE_DIR "/resources/OutputFormats.txt", std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    EXPECT_EQ(content.str(), std::string(OutputFormatsText()));
    EXPECT_EQ(SplitLines(OutputFormatsText()).size(), 18u);

    OutputFormatTable table;
    const FormatList list = table.FillFormatList();
    const std::vector<std::string> names{"VARN_UV_TWO_AXIS", "VARN_POLAR_TWO_AXIS", "NMEA_POLAR",
                                         "VARN_UVW_THREE_AXIS", "VARN_POLAR_THREE_AXIS"};
    EXPECT_EQ(list.names, names);
    EXPECT_EQ(list.selected, 0);
    const std::vector<std::string> letters{"IUVN", "IDMN", "IDRMNS", "IUVWN", "IDMWN"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(table.FormatNameAt(i), names[i]);
        EXPECT_EQ(table.FormatLettersAt(i), letters[i]);
    }
}

TEST(OutputFormatTable, NamesAndLettersAreTrimmedAndOddLinesStillMakeEntries) {
    OutputFormatTable table(
        BlockOf({"VARN_POLAR_TWO_AXIS,   IDMN", "\tNOCOMMA IUV \r", "", " A , B,C"}));
    ASSERT_TRUE(table.LoadFormats());
    ASSERT_EQ(table.Count(), 4);
    EXPECT_EQ(table.FormatNameAt(0), "VARN_POLAR_TWO_AXIS");
    EXPECT_EQ(table.FormatLettersAt(0), "IDMN");
    EXPECT_EQ(table.FormatNameAt(1), "");
    EXPECT_EQ(table.FormatLettersAt(1), "NOCOMMA IUV");
    EXPECT_EQ(table.FormatNameAt(2), "");
    EXPECT_EQ(table.FormatLettersAt(2), "");
    EXPECT_EQ(table.FormatNameAt(3), "A");
    EXPECT_EQ(table.FormatLettersAt(3), "B,C");
}

TEST(OutputFormatTable, TextWithoutEndOffersOnlyTheDefaultAndKeepsTheOldCount) {
    OutputFormatTable table;
    ASSERT_TRUE(table.LoadFormats());
    EXPECT_FALSE(table.LoadFormats(BlockOf({"X,IUVN", "Y,IDMN"}, false)));
    EXPECT_EQ(table.Count(), 5);
    EXPECT_EQ(table.FormatNameAt(0), "VARN_UV_TWO_AXIS");

    table.SetDefinitionLines(BlockOf({"X,IUVN"}, false));
    const FormatList list = table.FillFormatList();
    EXPECT_EQ(list.names, std::vector<std::string>{"VARN_POLAR_TWO_AXIS"});
    EXPECT_EQ(list.selected, 0);
    EXPECT_EQ(table.FormatLettersAt(0), "IDMN");

    table.SetDefinitionLines({"no start here", ":END"});
    EXPECT_EQ(table.FillFormatList().names, std::vector<std::string>{"VARN_POLAR_TWO_AXIS"});
}

TEST(OutputFormatTable, KeepsTheFirst25EntriesAndStillFindsTheEnd) {
    std::vector<std::string> entries;
    for (int i = 0; i < 30; ++i) {
        entries.push_back("F" + std::to_string(i) + ",IUVN");
    }
    OutputFormatTable table(BlockOf(entries));
    ASSERT_TRUE(table.LoadFormats());
    EXPECT_EQ(table.Count(), 25);
    EXPECT_EQ(table.FormatNameAt(24), "F24");
    EXPECT_EQ(table.FormatNameAt(25), "");
    EXPECT_EQ(table.FormatNameAt(-1), "");
    EXPECT_EQ(table.FormatLettersAt(1000000), "");
}

TEST(OutputFormatTable, MarkersCountAnywhereInALine) {
    OutputFormatTable table({"x:STARTy", "A,IUVN", "-- :END --"});
    ASSERT_TRUE(table.LoadFormats());
    EXPECT_EQ(table.Count(), 1);
    EXPECT_TRUE(table.FillFormatList().selected == 0);
    OutputFormatTable empty({":START", ":END"});
    const FormatList list = empty.FillFormatList();
    EXPECT_TRUE(list.names.empty());
    EXPECT_EQ(list.selected, -1);
}

TEST(OutputFormatNames, PolarAndNmeaAreCaseSensitiveSubstrings) {
    EXPECT_TRUE(IsPolarFormat("NMEA_POLAR"));
    EXPECT_TRUE(IsNmeaFormat("NMEA_POLAR"));
    EXPECT_FALSE(IsPolarFormat("VARN_UV_TWO_AXIS"));
    EXPECT_FALSE(IsNmeaFormat("VARN_UV_TWO_AXIS"));
    EXPECT_TRUE(IsPolarFormat("XBIPOLARITY"));
    EXPECT_FALSE(IsPolarFormat("varn_polar"));
    EXPECT_FALSE(IsNmeaFormat("nmea_polar"));
}

TEST(SplitLines, ReadsCrLfAndLfAlike) {
    EXPECT_EQ(SplitLines("a\r\nb\n\nc"), (std::vector<std::string>{"a", "b", "", "c"}));
    EXPECT_TRUE(SplitLines("").empty());
}

}  // namespace
}  // namespace vx
