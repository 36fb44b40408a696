#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "../../LoadedLibraries.h"
#include "../../TempDir.h"
#include "media/binding/FFLog.h"
#include "media/common/UnicodeProtocol.h"
#include "media/info/DurationProbe.h"
#include "media/info/FFDecode.h"

using namespace sw;

namespace {

void ExpectClosed(const TFFDecoder& d) {
  EXPECT_EQ(d.FormatContext(), nullptr);
  EXPECT_EQ(d.FileSize(), -1);
  for (int v : {d.StreamCount(), d.ProgramCount(), d.AudioStreamCount(), d.VideoStreamCount(),
                d.SubtitleStreamCount(), d.FirstAudioStream(), d.FirstVideoStream(), d.FirstSubtitleStream(),
                d.PrimaryStream()})
    EXPECT_EQ(v, -1);
}

double Seconds(int64_t us) { return us / 1e6; }

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

using Decoder = WithLibraries;

TEST_F(Decoder, TaggedFileReportsSizeStreamsLengthAndTags) {
  TFFDecoder d;
  ASSERT_TRUE(d.OpenMediaFile(TestData("tagged.mp3"), "")) << d.ErrorText();
  EXPECT_TRUE(d.OwnsContext());
  EXPECT_EQ(d.FileSize(), 193454);
  EXPECT_EQ(d.StreamCount(), 1);
  EXPECT_EQ(d.ProgramCount(), 0);
  EXPECT_EQ(d.AudioStreamCount(), 1);
  EXPECT_EQ(d.VideoStreamCount(), 0);
  EXPECT_EQ(d.FirstAudioStream(), 0);
  EXPECT_EQ(d.FirstVideoStream(), -1);
  EXPECT_EQ(d.PrimaryStream(), 0);
  EXPECT_GE(d.PrimaryStartTime(), 0);
  TFileStreamInfo info;
  d.FillStreamInfo(info);
  EXPECT_NEAR(Seconds(info.Duration), 12.04, 0.05);
  EXPECT_EQ(info.BitRate, 128000);  // the audio's rate: the tags do not count
  EXPECT_GE(info.StartTime, 0);
  EXPECT_EQ(info.Title, "Snip Test Tone");
  EXPECT_EQ(info.Author, "Korvane Lab");
  EXPECT_EQ(info.Album, "Fixtures");
  EXPECT_EQ(info.Year, 2024);
  EXPECT_EQ(info.Track, 3);
  EXPECT_EQ(info.Genre, "Electronic");
  EXPECT_EQ(info.Comment, "Korvane fixture");
  EXPECT_EQ(info.Copyright, "");
}

TEST_F(Decoder, EstimatedVbrLengthIsMeasuredOthersKeepTheLibraryFigure) {
  TFFDecoder d;
  ASSERT_TRUE(d.OpenMediaFile(TestData("vbr-noheader.mp3"), ""));
  TFileStreamInfo info;
  d.FillStreamInfo(info);
  // 920 frames of 1152 samples at 44.1 kHz; the bit-rate estimate says about 52 s.
  EXPECT_NEAR(Seconds(info.Duration), 24.03, 0.05);
  EXPECT_NEAR(info.BitRate, 69300, 1000);

  // A VBR file with its header: the library's own length stands, and the rate is the
  // stream's average from that header (22054 bytes over 156 frames of 576 samples).
  ASSERT_TRUE(d.OpenMediaFile(TestData("mono-vbr.mp3"), ""));
  AVFormatContext* plain = nullptr;
  ASSERT_EQ(OpenInputFormat(&plain, TestData("mono-vbr.mp3"), nullptr, nullptr), 0);
  ASSERT_GE(ff::avformat_find_stream_info(plain, nullptr), 0);
  d.FillStreamInfo(info);
  EXPECT_EQ(info.Duration, plain->duration);
  EXPECT_EQ(info.BitRate, 43295);  // 22054 x 8 x 22050 / (156 x 576), rounded
  CloseInputFormat(&plain);
}

TEST_F(Decoder, MeasuredMp3LengthIsThePacketsLength) {
  // The measure scans an MP3's frame headers; the demuxer's packets, counted here, must
  // give the same length and rate: MPEG-1 and -2, CRC-protected, with a tag
  // frame or none, and a truncated file (whose last piece of a frame still counts).
  for (const char* name : {"tagged.mp3", "vbr-noheader.mp3", "mono-vbr.mp3", "lowrate-16k.mp3", "crc-8k.mp3",
                           "notags-48k.mp3", "truncated.mp3"}) {
    SCOPED_TRACE(name);
    AVFormatContext* raw = nullptr;
    ASSERT_EQ(OpenInputFormat(&raw, TestData(name), nullptr, nullptr), 0);
    std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)> owner(&raw, CloseInputFormat);
    ASSERT_GE(ff::avformat_find_stream_info(raw, nullptr), 0);
    const int stream = ff::av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    ASSERT_GE(stream, 0);
    int64_t ticks = 0, bytes = 0;
    AVPacket* packet = ff::av_packet_alloc();
    while (ff::av_read_frame(raw, packet) >= 0) {
      if (packet->stream_index == stream) ticks += packet->duration, bytes += packet->size;
      ff::av_packet_unref(packet);
    }
    ff::av_packet_free(&packet);
    const int64_t duration = ff::av_rescale_q(ticks, raw->streams[stream]->time_base, AVRational{1, AV_TIME_BASE});
    const TMeasuredLength measured = MeasureStreamLength(TestData(name), stream);
    EXPECT_EQ(measured.Duration, duration);
    EXPECT_EQ(measured.BitRate, ff::av_rescale(bytes * 8, AV_TIME_BASE, duration));
  }
}

TEST_F(Decoder, TruncatedFileOpensWithTheLengthItReallyHas) {
  TFFDecoder d;
  ASSERT_TRUE(d.OpenMediaFile(TestData("truncated.mp3"), "")) << d.ErrorText();
  TFileStreamInfo info;
  d.FillStreamInfo(info);
  // 46 whole frames and a piece of one more; the header still announces 12 s.
  EXPECT_NEAR(Seconds(info.Duration), 47 * 1152 / 44100.0, 0.05);
  EXPECT_EQ(d.FileSize(), 20000);
}

TEST_F(Decoder, BadInputGivesAClearTextAndLeavesTheReaderClosed) {
  TTempDir dir;
  const struct {
    std::string File;
    std::string Text;
  } cases[] = {
      {TestData("empty.mp3"), TestData("empty.mp3") + ": Invalid data found when processing input"},
      {TestData("text.mp3"), TestData("text.mp3") + ": Invalid data found when processing input"},
      {dir.File("missing.mp3"), dir.File("missing.mp3") + ": No such file or directory"},
      {dir.Path(), dir.Path() + ": is a folder, not a file"},
  };
  TFFDecoder d;
  for (const auto& c : cases) {
    ASSERT_TRUE(d.OpenMediaFile(TestData("tagged.mp3"), ""));  // a failed open closes what was open
    EXPECT_FALSE(d.OpenMediaFile(c.File, "")) << c.File;
    EXPECT_EQ(d.ErrorText(), c.Text);
    ExpectClosed(d);
  }
  EXPECT_FALSE(d.OpenMediaFile(TestData("tagged.mp3"), "nosuchformat"));
  EXPECT_EQ(d.ErrorText(), "Unknown input format: nosuchformat");
  EXPECT_FALSE(d.OpenMediaFile(std::string(3000, 'a'), ""));
  EXPECT_NE(d.ErrorText().find("too long"), std::string::npos);
  ExpectClosed(d);
}

TEST_F(Decoder, FailuresAreLoggedAtTheirLevels) {
  TFFLogger logger;
  std::vector<std::pair<TLogLevel, std::string>> events;
  logger.SetTriggerEventInMainThread(false);
  logger.OnLog = [&](void* sender, uint32_t, TLogLevel level, const std::string& text) {
    if (sender != &logger) events.emplace_back(level, text);
  };
  TFFDecoder d;
  TFileStreamInfo info;
  info.Title = "stale";
  d.FillStreamInfo(info);
  EXPECT_EQ(info.Duration, -1);
  EXPECT_EQ(info.BitRate, -1);
  EXPECT_EQ(info.Year, -1);
  EXPECT_EQ(info.Title, "");
  EXPECT_EQ(d.ErrorText(), "file not loaded.");
  EXPECT_FALSE(d.OpenMediaFile("/no/such/file.mp3", ""));
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0], std::make_pair(llWarning, std::string("file not loaded.")));
  EXPECT_EQ(events[1], std::make_pair(llError, std::string("/no/such/file.mp3: No such file or directory")));
}

TEST_F(Decoder, ForeignNameOpensAndReportsItsSize) {
  TTempDir dir;
  const std::string name = dir.File("Kl\xC3\xA4nge \xE6\x97\xA5\xE6\x9C\xAC.mp3");
  std::filesystem::copy_file(TestData("tagged.mp3"), name);
  TFFDecoder d;
  ASSERT_TRUE(d.OpenMediaFile(name, "")) << d.ErrorText();
  EXPECT_TRUE(IsUnicodeUrl(d.FormatContext()->url));  // the test runs under the C locale
  EXPECT_EQ(d.FileSize(), 193454);
}

TEST_F(Decoder, CoverPictureIsNoVideoStream) {
  TFFDecoder d;
  ASSERT_TRUE(d.OpenMediaFile(TestData("cover.mp3"), ""));
  EXPECT_EQ(d.StreamCount(), 2);
  EXPECT_EQ(d.AudioStreamCount(), 1);
  EXPECT_EQ(d.VideoStreamCount(), 0);
  EXPECT_EQ(d.PrimaryStream(), d.FirstAudioStream());
}

TEST_F(Decoder, BitRateIsTheAudiosAlsoBesideALargeCoverPicture) {
  // cover.mp3's audio under a new ID3v2.3 tag whose picture is 400 KB: the PNG, then zeros.
  const std::string source = ReadFile(TestData("cover.mp3"));
  const auto syncsafe = [](const std::string& b, size_t at) {
    return (b[at] & 0x7F) << 21 | (b[at + 1] & 0x7F) << 14 | (b[at + 2] & 0x7F) << 7 | (b[at + 3] & 0x7F);
  };
  const std::string audio = source.substr(10 + syncsafe(source, 6));
  ASSERT_EQ(static_cast<uint8_t>(audio[0]), 0xFF);
  std::string picture = ReadFile(TestData("cover.png"));
  picture.resize(400000, '\0');
  const std::string body = std::string("\0image/png\0\x03\0", 13) + picture;
  const auto bigEndian = [](uint32_t v, int bits) {
    std::string out;
    for (int shift = 3 * bits; shift >= 0; shift -= bits) out += static_cast<char>((v >> shift) & ((1u << bits) - 1));
    return out;
  };
  const std::string frame = "APIC" + bigEndian(static_cast<uint32_t>(body.size()), 8) + std::string(2, '\0') + body;
  const std::string tag = std::string("ID3\x03\0\0", 6) + bigEndian(static_cast<uint32_t>(frame.size()), 7) + frame;
  TTempDir dir;
  const std::string name = dir.Write("big-cover.mp3", tag + audio);

  TFFDecoder d;
  TFileStreamInfo info;
  for (const std::string& file : {name, TestData("cover.mp3")}) {
    ASSERT_TRUE(d.OpenMediaFile(file, "")) << d.ErrorText();
    ASSERT_EQ(d.StreamCount(), 2) << file;  // the picture is there
    d.FillStreamInfo(info);
    EXPECT_EQ(info.BitRate, 64000) << file;
    EXPECT_NEAR(Seconds(info.Duration), 2.04, 0.05) << file;
  }
}

TEST(DecoderLibraries, ReaderOutlivesAFailingLibrarySetOfAnotherComponent) {
  TFFDecoder d;
  ASSERT_TRUE(d.LoadLibrariesFrom("")) << d.ErrorText();  // the reader's set only, as the window does
  ASSERT_TRUE(d.OpenMediaFile(TestData("tagged.mp3"), "")) << d.ErrorText();
  // The player's set fails at SDL: what the reader's file came from must stay.
  TTempDir dir;
  dir.Write("libSDL2-2.0.so.0", "not a library");
  FFLoader().SetLibraryFolder(dir.Path());
  EXPECT_FALSE(FFLoader().LoadLibrarySet(PlayerLibraries));
  FFLoader().SetLibraryFolder("");
  EXPECT_TRUE(d.LibrariesReady());
  TFileStreamInfo info;
  d.FillStreamInfo(info);
  EXPECT_EQ(info.Title, "Snip Test Tone");
  ASSERT_TRUE(d.OpenMediaFile(TestData("cover.mp3"), "")) << d.ErrorText();  // closes the first file
  d.CloseMediaFile();
}

TEST_F(Decoder, AdoptedContextIsDescribedButNeverClosed) {
  AVFormatContext* mine = nullptr;
  ASSERT_EQ(OpenInputFormat(&mine, TestData("notags-48k.mp3"), nullptr, nullptr), 0);
  ASSERT_GE(ff::avformat_find_stream_info(mine, nullptr), 0);
  {
    TFFDecoder d;
    d.AdoptFormatContext(mine);
    EXPECT_FALSE(d.OwnsContext());
    EXPECT_EQ(d.FileSize(), 48768);
    EXPECT_EQ(d.AudioStreamCount(), 1);
    ASSERT_TRUE(d.OpenMediaFile(TestData("tagged.mp3"), ""));  // forgets the adopted one
    d.AdoptFormatContext(mine);
  }
  // Still usable after the reader is gone.
  TPacketPtr packet(ff::av_packet_alloc());
  EXPECT_GE(ff::av_read_frame(mine, packet.get()), 0);
  CloseInputFormat(&mine);
}

TEST(DecoderLibraries, MissingLibrariesAreNamedInOrder) {
  TFFDecoder d;
  EXPECT_FALSE(d.LibrariesReady());
  try {
    d.OpenMediaFile(TestData("tagged.mp3"), "");
    FAIL() << "no exception";
  } catch (const ELibraryNotLoaded& e) {
    EXPECT_STREQ(e.what(), "LibAVCodec not loaded.");
  }
  ASSERT_TRUE(FFLoader().LoadOneLibrary(flAVCodec));
  EXPECT_THROW(
      try { d.AdoptFormatContext(reinterpret_cast<AVFormatContext*>(&d)); } catch (const ELibraryNotLoaded& e) {
        EXPECT_STREQ(e.what(), "LibAVFormat not loaded.");
        throw;
      },
      ELibraryNotLoaded);
  EXPECT_EQ(d.FormatContext(), nullptr);

  TTempDir dir;
  dir.Write("libavformat.so.59", "junk");
  EXPECT_FALSE(d.LoadLibrariesFrom(dir.Path()));
  EXPECT_EQ(d.ErrorText(), FFLoader().GetLastErrorText());
  EXPECT_NE(d.ErrorText().find(dir.Path() + "/libavformat.so.59"), std::string::npos);
  EXPECT_FALSE(d.LibrariesReady());
  EXPECT_TRUE(d.LoadLibrariesFrom(""));
  EXPECT_TRUE(d.LibrariesReady());
}
