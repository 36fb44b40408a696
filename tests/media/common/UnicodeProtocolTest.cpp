#include <gtest/gtest.h>
#include <langinfo.h>

#include <cstring>
#include <fstream>

#include "../../LoadedLibraries.h"
#include "../../TempDir.h"
#include "media/common/UnicodeProtocol.h"

using namespace sw;

namespace {

bool Utf8Locale() { return std::strcmp(::nl_langinfo(CODESET), "UTF-8") == 0; }

const std::string Foreign = "T\xC3\xB6n-\xE5\x90\x8D\xE5\x89\x8D";  // "Tön-名前"

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(UnicodeRoute, ChoosesTheRouteByLocaleAndScheme) {
  EXPECT_FALSE(NeedsUnicodeRoute("/music/plain name.mp3"));
  EXPECT_EQ(NeedsUnicodeRoute("/music/" + Foreign + ".mp3"), !Utf8Locale());
  // Not valid text in any locale: only the route carries it.
  EXPECT_TRUE(NeedsUnicodeRoute("/music/\xff\xfe.mp3"));
  // Allowed library URLs pass unchanged, also with foreign characters; any other name with a
  // colon before its first "/" would be taken for a protocol, so our route carries it.
  EXPECT_FALSE(NeedsUnicodeRoute("http://example.invalid/" + Foreign));
  EXPECT_FALSE(NeedsUnicodeRoute("udp://127.0.0.1:1234"));
  EXPECT_TRUE(NeedsUnicodeRoute("C:" + Foreign));
  // Never wrapped twice.
  const std::string url = MediaUrl("/m/\xff.mp3");
  EXPECT_EQ(url, "unicode:utf8:/m/\xff.mp3");
  EXPECT_EQ(MediaUrl(url), url);
}

TEST(UnicodeRoute, UrlsAndNamesConvertBothWays) {
  EXPECT_TRUE(IsUnicodeUrl("unicode:utf8:/a"));
  EXPECT_FALSE(IsUnicodeUrl("unicode:utf8:"));  // no name after the prefix
  EXPECT_FALSE(IsUnicodeUrl("/unicode:utf8:/a"));
  EXPECT_EQ(UrlToFileName("unicode:utf8:/a/" + Foreign), "/a/" + Foreign);
  EXPECT_EQ(MediaUrlToFileName("unicode:utf8:/x:y"), "/x:y");
  EXPECT_EQ(MediaUrlToFileName("/plain.mp3"), "/plain.mp3");
  EXPECT_EQ(MediaUrlToFileName(MediaUrl("/m/" + Foreign)), "/m/" + Foreign);
}

TEST(UnicodeRoute, UrlOfTheBufferSizeIsRefused) {
  const std::string ok = "/" + std::string(MaxMediaUrl - 2, 'a');
  EXPECT_EQ(MediaUrl(ok).size(), MaxMediaUrl - 1);
  EXPECT_THROW(MediaUrl(ok + "a"), EMediaUrlError);
  // The prefix counts too.
  EXPECT_THROW(MediaUrl("/\xff" + std::string(MaxMediaUrl - 14, 'a')), EMediaUrlError);
}

TEST_F(WithLibraries, ForeignNameReadsSeeksAndReportsItsSizeWithoutMoving) {
  TTempDir dir;
  const std::string name = dir.Write(Foreign + ".bin", "0123456789");
  const std::string url = std::string(UnicodeUrlPrefix) + name;
  void* file = UnicodeOpen(url, AVIO_FLAG_READ);
  ASSERT_NE(file, nullptr);
  uint8_t buf[16] = {};
  EXPECT_EQ(UnicodeRead(file, buf, 4), 4);
  EXPECT_EQ(UnicodeSeek(file, 0, AVSEEK_SIZE), 10);
  EXPECT_EQ(UnicodeSeek(file, 0, SEEK_CUR), 4);  // the size query did not move
  EXPECT_EQ(UnicodeSeek(file, -2, SEEK_END), 8);
  EXPECT_EQ(UnicodeRead(file, buf, 16), 2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 2), "89");
  EXPECT_EQ(UnicodeRead(file, buf, 16), AVERROR_EOF);
  EXPECT_LT(UnicodeSeek(file, -100, SEEK_SET), 0);
  EXPECT_EQ(UnicodeClose(file), 0);

  EXPECT_EQ(UnicodeOpen(std::string(UnicodeUrlPrefix) + dir.File("missing"), AVIO_FLAG_READ), nullptr);
  EXPECT_EQ(UnicodeOpen(std::string(UnicodeUrlPrefix) + dir.Path(), AVIO_FLAG_READ), nullptr);
}

TEST_F(WithLibraries, OutputThroughTheRouteIsCreatedOrReplaced) {
  TTempDir dir;
  const std::string name = dir.File(Foreign + ".out");
  for (const std::string& content : {std::string("a much longer first content"), std::string("short")}) {
    AVIOContext* io = nullptr;
    ASSERT_EQ(OpenOutputIO(&io, std::string(UnicodeUrlPrefix) + name, AVIO_FLAG_WRITE, true), 0);
    EXPECT_TRUE(IsUnicodeIO(io));
    ff::avio_write(io, reinterpret_cast<const unsigned char*>(content.data()), static_cast<int>(content.size()));
    ASSERT_EQ(CommitOutputIO(&io), 0);
    EXPECT_EQ(io, nullptr);
    EXPECT_EQ(ReadFile(name), content);
  }
}

TEST_F(WithLibraries, ForeignNamedMp3OpensAsInput) {
  TTempDir dir;
  const std::string name = dir.File(Foreign + ".mp3");
  std::filesystem::copy_file(TestData("tagged.mp3"), name);
  const std::string url = MediaUrl(name);
  EXPECT_EQ(IsUnicodeUrl(url), !Utf8Locale());
  for (const std::string& attempt : {url, std::string(UnicodeUrlPrefix) + name}) {
    AVFormatContext* ctx = nullptr;
    ASSERT_EQ(OpenInputFormat(&ctx, attempt, nullptr, nullptr), 0) << attempt;
    ASSERT_GE(ff::avformat_find_stream_info(ctx, nullptr), 0);
    EXPECT_NEAR(ctx->duration / 1e6, 12.0, 0.1);
    EXPECT_EQ(ff::avio_size(ctx->pb), static_cast<int64_t>(std::filesystem::file_size(name)));
    EXPECT_EQ(MediaUrlToFileName(ctx->url), name);
    CloseInputFormat(&ctx);
    EXPECT_EQ(ctx, nullptr);
  }
  AVFormatContext* ctx = nullptr;
  EXPECT_EQ(OpenInputFormat(&ctx, std::string(UnicodeUrlPrefix) + dir.File("gone.mp3"), nullptr, nullptr),
            AVERROR(ENOENT));
  EXPECT_EQ(ctx, nullptr);
  // Garbage behind the route fails cleanly and leaves nothing open.
  const std::string text = dir.File(Foreign + ".txt.mp3");
  std::filesystem::copy_file(TestData("text.mp3"), text);
  EXPECT_LT(OpenInputFormat(&ctx, std::string(UnicodeUrlPrefix) + text, nullptr, nullptr), 0);
  EXPECT_EQ(ctx, nullptr);
}
