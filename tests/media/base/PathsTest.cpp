#include <gtest/gtest.h>

#include "../../TempDir.h"
#include "media/base/MyUtils.h"

using namespace sw;

TEST(Paths, ExtractPathAndName) {
  EXPECT_EQ(WideExtractFilePath("/music/a/song.mp3"), "/music/a/");
  EXPECT_EQ(WideExtractFileName("/music/a/song.mp3"), "song.mp3");
  EXPECT_EQ(WideExtractFilePath("song.mp3"), "");
  EXPECT_EQ(WideExtractFileName("song.mp3"), "song.mp3");
  EXPECT_EQ(WideExtractFileName("/music/"), "");
  EXPECT_EQ(WideExtractFileExt("/a.b/song"), "");
  EXPECT_EQ(WideExtractFileExt("/a/song.MP3"), ".MP3");
  EXPECT_EQ(WideIncludeTrailingBackslash("/x"), "/x/");
  EXPECT_EQ(WideIncludeTrailingBackslash("/x/"), "/x/");
  EXPECT_EQ(WideLastDelimiter("/.", "a/b.c"), 4u);
  EXPECT_EQ(WideLastDelimiter("/", "abc"), 0u);
}

TEST(Paths, FilesFoldersAndSizes) {
  TTempDir dir;
  const std::string file = dir.Write("five.bin", "12345");
  EXPECT_TRUE(WideFileExists(file));
  EXPECT_FALSE(WideFileExists(dir.Path()));  // a folder is no file
  EXPECT_TRUE(WideDirectoryExists(dir.Path()));
  EXPECT_EQ(WideFileSize(file), 5);
  EXPECT_EQ(WideFileSize(dir.Path()), -1);
  EXPECT_EQ(WideFileSize(dir.File("missing")), -1);
  EXPECT_EQ(WideExpandFileName(dir.Path() + "/x/../five.bin"), file);
}

TEST(Paths, FindListsMatchingFilesAndSkipsFoldersUnlessAsked) {
  TTempDir dir;
  dir.Write("a.mp3", "1");
  dir.Write("b.mp3", "22");
  dir.Write("c.txt", "3");
  std::filesystem::create_directory(dir.File("d.mp3"));
  TWideFindRecord rec;
  int found = 0;
  int64_t bytes = 0;
  for (int r = WideFindFirst(dir.Path() + "/*.mp3", false, rec); r == 0; r = WideFindNext(rec)) {
    ++found;
    bytes += rec.Size;
    EXPECT_FALSE(rec.Directory);
  }
  EXPECT_EQ(found, 2);
  EXPECT_EQ(bytes, 3);
  EXPECT_EQ(rec.Handle, nullptr);  // closed at the end
  found = 0;
  for (int r = WideFindFirst(dir.Path() + "/*.mp3", true, rec); r == 0; r = WideFindNext(rec)) ++found;
  EXPECT_EQ(found, 3);
  EXPECT_NE(WideFindFirst(dir.Path() + "/nothing/*", false, rec), 0);
}

TEST(Paths, SplitText) {
  std::string text = "a=b=c";
  EXPECT_EQ(SplitText(text, "=", true), "a");
  EXPECT_EQ(text, "b=c");
  EXPECT_EQ(SplitText(text, "=", false), "b");
  EXPECT_EQ(text, "b=c");
  text = "abc";
  EXPECT_EQ(SplitText(text, "<CRLF>", true), "abc");
  EXPECT_EQ(text, "");
  text = "x<CRLF>y";
  EXPECT_EQ(SplitText(text, "<CRLF>", true), "x");
  EXPECT_EQ(text, "y");
}

TEST(Paths, CurrentDirectoryAndEnvironment) {
  TTempDir dir;
  const std::string saved = WideGetCurrentDir();
  ASSERT_TRUE(WideSetCurrentDir(dir.Path()));
  EXPECT_EQ(WideGetCurrentDir(), std::filesystem::canonical(dir.Path()).string());
  ASSERT_TRUE(WideSetCurrentDir(saved));
  EXPECT_FALSE(WideSetCurrentDir(dir.File("missing")));
  ::setenv("SNIPWAVE_LONG", std::string(5000, 'v').c_str(), 1);
  EXPECT_EQ(WideGetEnv("SNIPWAVE_LONG").size(), 5000u);
  EXPECT_EQ(WideGetEnv("SNIPWAVE_SURELY_UNSET"), "");
}
