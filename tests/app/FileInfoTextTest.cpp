#include <gtest/gtest.h>

#include "app/FileInfoText.h"

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
