#include <gtest/gtest.h>

#include "app/core/FileInfoText.h"

using namespace sw;

TEST(FileInfoText, ClockAndDurationTexts) {
  EXPECT_EQ(FormatSeconds(0), "00:00:00");
  EXPECT_EQ(FormatSeconds(3725), "01:02:05");
  EXPECT_EQ(FormatSeconds(360000), "100:00:00");
  EXPECT_EQ(FormatDuration(205600000), "00:03:25.");
  EXPECT_EQ(FormatDuration(-1), "00:00:00.");
}

TEST(FileInfoText, NineLinesInTheirOrder) {
  TFileFacts facts;
  facts.Path = "/music/a.b.mp3";
  facts.TypeName = "MP2/3 (MPEG audio layer 2/3)";
  facts.FileSize = 1025;
  facts.Info.Title = "T";
  facts.Info.Author = "A";
  facts.Info.Album = "B";
  facts.Info.Year = 1999;
  facts.Info.Duration = 205600000;
  facts.Info.BitRate = 127999;
  const std::vector<std::string> expected{"File Name: /music/a.b.mp3", "Type: MP2/3 (MPEG audio layer 2/3)",
                                          "Title: T", "Artist: A", "Album: B", "Year: 1999",
                                          "File Size: 1.00 KB", "Duration: 00:03:25.", "Bit Rate: 127 kbps"};
  EXPECT_EQ(FileInfoLines(facts), expected);
}

TEST(FileInfoText, EmptyTagsAndUnknownValues) {
  TFileFacts facts;
  facts.Info.Year = 0;
  facts.Info.BitRate = -1;
  facts.FileSize = 1024;
  const auto lines = FileInfoLines(facts);
  EXPECT_EQ(lines[2], "Title: ");
  EXPECT_EQ(lines[5], "Year: 0");
  EXPECT_EQ(lines[6], "File Size: 1024 Byte");
  EXPECT_EQ(lines[7], "Duration: 00:00:00.");
  EXPECT_EQ(lines[8], "Bit Rate: 0 kbps");
}

TEST(FileInfoText, ControlCharactersAreShownAsEscapes) {
  EXPECT_EQ(PrintableText("plain \xc3\xa9t\xc3\xa9 text"), "plain \xc3\xa9t\xc3\xa9 text");
  EXPECT_EQ(PrintableText("two\nlines\ttab\rback"), "two\\nlines\\ttab\\rback");
  EXPECT_EQ(PrintableText("\x1b[2J\x07" "bell\x7f"), "\\x1b[2J\\x07bell\\x7f");
  EXPECT_EQ(PrintableText(std::string("nul\0in", 6)), "nul\\x00in");
  EXPECT_EQ(PrintableText("c1 \xc2\x9b" "31m \xc2\xa0nbsp"), "c1 \\u009b31m \xc2\xa0nbsp");

  TFileFacts facts;
  facts.Path = "/music/new\nline.mp3";
  facts.Info.Title = "Title\x1b]0;owned\x07";
  facts.Info.Author = "A\nB";
  facts.Info.Album = "\x1b[31mred";
  const std::vector<std::string> lines = FileInfoLines(facts);
  EXPECT_EQ(lines[0], "File Name: /music/new\\nline.mp3");
  EXPECT_EQ(lines[2], "Title: Title\\x1b]0;owned\\x07");
  EXPECT_EQ(lines[3], "Artist: A\\nB");
  EXPECT_EQ(lines[4], "Album: \\x1b[31mred");
}
