#include <gtest/gtest.h>

#include "../../LoadedLibraries.h"
#include "../../TempDir.h"
#include "media/common/FFUtils.h"

using namespace sw;

TEST(Format, FileSizeSwitchesUnitsStrictlyAbove) {
  EXPECT_EQ(FormatFileSize(0), "0 Byte");
  EXPECT_EQ(FormatFileSize(1024), "1024 Byte");
  EXPECT_EQ(FormatFileSize(1025), "1.00 KB");
  EXPECT_EQ(FormatFileSize(1048576), "1024.00 KB");
  EXPECT_EQ(FormatFileSize(1048577 + 524288), "1.50 MB");
  EXPECT_EQ(FormatFileSize(1073741824), "1024.00 MB");
  EXPECT_EQ(FormatFileSize(1073741825), "1.00 GB");
  EXPECT_EQ(FormatFileSize(5LL << 40), "5120.00 GB");
}

TEST(Format, Timestamp) {
  EXPECT_EQ(FormatTimestamp(3723004000LL), "01:02:03.004");
  EXPECT_EQ(FormatTimestamp(0), "00:00:00.000");
  EXPECT_EQ(FormatTimestamp(999999), "00:00:00.999");
  EXPECT_EQ(FormatTimestamp(100LL * 3600 * 1000000), "100:00:00.000");
  EXPECT_EQ(FormatTimestamp(NoTime), "N/A");
}

TEST(Format, LibraryErrorTexts) {
  EXPECT_EQ(LibraryErrorText("a.mp3", -7), "a.mp3: Error number -7 occurred");
  EXPECT_EQ(LibraryErrorText("a.mp3", -2), "a.mp3: No such file or directory");
  EXPECT_EQ(LibraryErrorText("a.mp3", AVERROR_EOF), "a.mp3: End of file");
  EXPECT_EQ(LibraryErrorText("a.mp3", -32), "a.mp3: End of file");
  EXPECT_EQ(LibraryErrorText("x", AVERROR_INVALIDDATA), "x: Invalid data found when processing input");
  EXPECT_EQ(LibraryErrorText("x", AVERROR_PROTOCOL_NOT_FOUND), "x: Unsupported network protocol");
  EXPECT_EQ(LibraryErrorText("x", AVERROR_DEMUXER_NOT_FOUND), "x: Unknown format");
  EXPECT_EQ(LibraryErrorText("x", -1163346256), "x: Not yet implemented in FFmpeg");
}

TEST(Format, MediaTypeNames) {
  EXPECT_EQ(MediaTypeName(AVMEDIA_TYPE_VIDEO), "Video");
  EXPECT_EQ(MediaTypeName(AVMEDIA_TYPE_AUDIO), "Audio");
  EXPECT_EQ(MediaTypeName(AVMEDIA_TYPE_ATTACHMENT), "Attachment");
  EXPECT_EQ(MediaTypeName(AVMEDIA_TYPE_UNKNOWN), "Unknown");
  EXPECT_EQ(MediaTypeName(5), "Unknown");
}

TEST_F(WithLibraries, MetadataValueTakesTheFirstEntryOrTheDefault) {
  TDictionary dict;
  ff::av_dict_set(dict.Addr(), "title", "Tone", 0);
  ff::av_dict_set(dict.Addr(), "artist", "Lab", 0);
  EXPECT_EQ(MetadataValue(dict.Get(), "artist", "?"), "Lab");
  EXPECT_EQ(MetadataValue(dict.Get(), "album", "?"), "?");
  EXPECT_EQ(MetadataValue(nullptr, "title", ""), "");
}

TEST_F(WithLibraries, ReadWholeFileAppendsANul) {
  TTempDir dir;
  TLibraryBuffer<char> buffer;
  int64_t size = 0;
  ASSERT_EQ(ReadWholeFile(dir.Write("p.txt", "a=1\nb=2"), buffer, size), 0);
  EXPECT_EQ(size, 8);
  EXPECT_STREQ(buffer.get(), "a=1\nb=2");
  ASSERT_EQ(ReadWholeFile(dir.Write("empty", ""), buffer, size), 0);
  EXPECT_EQ(size, 1);
  EXPECT_EQ(buffer.get()[0], '\0');
  EXPECT_EQ(ReadWholeFile(dir.File("missing"), buffer, size), -1);
}
