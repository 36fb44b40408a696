// The frame-level reading against the fixtures' documented facts, and the pieces that
// rewrite frames and tags.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "media/mp3/Crc16.h"
#include "media/mp3/EncoderTag.h"
#include "media/mp3/Id3Tags.h"
#include "media/mp3/Mp3Source.h"
#include "media/mp3/SideInfo.h"
#include "tests/TempDir.h"

using namespace sw::mp3;

namespace {

std::string Data(const std::string& name) { return std::string(SNIPWAVE_TEST_DATA) + "/" + name; }

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), {}};
}

std::string WriteBytes(const TTempDir& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
  return dir.Write(name, std::string(bytes.begin(), bytes.end()));
}

TMp3Source Scan(const std::string& path) {
  TMp3Source s;
  EXPECT_TRUE(s.Open(path)) << path << ": " << s.ErrorText();
  return s;
}

}  // namespace

struct TFixtureFacts {
  const char* Name;
  TMpegVersion Version;
  int Rate, Channels;
  size_t Frames;
  int64_t Id3v2;
  bool Id3v1, Tag, Gapless;
  int Delay, Padding;
  int64_t Length;  // samples a gapless decoder gives
};

TEST(Mp3Source, ReadsEveryFixtureAsItsScriptDescribesIt) {
  const TFixtureFacts facts[] = {
      {"tagged.mp3", mvMpeg1, 44100, 2, 461, 230, true, true, true, 576, 1296, 529200},
      {"mono-vbr.mp3", mvMpeg2, 22050, 1, 156, 0, false, true, true, 576, 1080, 88200},
      {"notags-48k.mp3", mvMpeg1, 48000, 2, 126, 0, false, true, true, 576, 576, 144000},
      {"cover.mp3", mvMpeg1, 44100, 1, 78, 318, false, true, true, 576, 1080, 88200},
      {"vbr-noheader.mp3", mvMpeg1, 44100, 2, 920, 0, false, false, false, 0, 0, 920 * 1152},
      {"crc-8k.mp3", mvMpeg25, 8000, 2, 44, 0, false, false, false, 0, 0, 44 * 576},
      {"lowrate-16k.mp3", mvMpeg2, 16000, 1, 225, 0, false, true, true, 576, 1024, 128000},
      {"free-format.mp3", mvMpeg1, 32000, 2, 57, 0, false, true, true, 576, 1088, 64000},
  };
  for (const TFixtureFacts& f : facts) {
    SCOPED_TRACE(f.Name);
    const TMp3Source s = Scan(Data(f.Name));
    EXPECT_EQ(s.Header().Version, f.Version);
    EXPECT_EQ(s.Header().Layer, 3);
    EXPECT_EQ(s.Header().SampleRate, f.Rate);
    EXPECT_EQ(s.Header().Channels(), f.Channels);
    EXPECT_EQ(s.Id3v2Size(), f.Id3v2);
    EXPECT_EQ(s.Id3v1Offset() >= 0, f.Id3v1);
    EXPECT_EQ(s.Tag().Present, f.Tag);
    EXPECT_EQ(s.Tag().HasGapless, f.Gapless);
    EXPECT_TRUE(s.Notes().empty());
    if (f.Gapless) {
      EXPECT_EQ(s.Tag().Delay, f.Delay);
    }
    EXPECT_EQ(s.Frames().size(), f.Frames);
    EXPECT_EQ(s.Tag().Padding, f.Padding);
    EXPECT_EQ(s.Length(), f.Length);
    if (f.Tag) {
      EXPECT_EQ(s.Tag().Frames, s.Frames().size());
    }
    // The frames tile the file from the tag to the end (or the ID3v1 tag).
    const auto& fr = s.Frames();
    for (size_t i = 1; i < fr.size(); ++i) ASSERT_EQ(fr[i].Offset, fr[i - 1].Offset + fr[i - 1].Size) << i;
    EXPECT_EQ(fr.back().Offset + fr.back().Size, s.Id3v1Offset() >= 0 ? s.Id3v1Offset() : s.FileSize());
    // The first audio frame of an encoder's stream starts with an empty reservoir.
    EXPECT_EQ(fr.front().MainDataBegin, 0);
  }
}

TEST(Mp3Source, FrameSizesFollowTheHeaderFormula) {
  const TMp3Source cbr = Scan(Data("tagged.mp3"));
  for (const TMp3Frame& f : cbr.Frames()) EXPECT_TRUE(f.Size == 417 || f.Size == 418) << f.Size;
  // 16 kbit/s at 8 kHz: 72 * 16000 / 8000 bytes, of which header, CRC and side information take 23.
  const TMp3Source crc = Scan(Data("crc-8k.mp3"));
  EXPECT_TRUE(crc.Header().Protected);
  for (const TMp3Frame& f : crc.Frames()) {
    EXPECT_EQ(f.Size, 144);
    EXPECT_EQ(f.MainDataSize, 144 - 6 - 17);
  }
}

TEST(Mp3Source, FreeFormatFramesAreMeasuredFromTheNextSync) {
  const TMp3Source s = Scan(Data("free-format.mp3"));
  EXPECT_EQ(s.Header().BitrateIndex, 0);
  // 100 kbit/s at 32 kHz: 144 * 100000 / 32000 = 450 bytes, with no padding.
  EXPECT_EQ(s.Header().SampleRate, 32000);
  EXPECT_EQ(s.FreeFormatSize(), 450);
  EXPECT_TRUE(s.Tag().Present);
  EXPECT_EQ(s.Tag().Frames, s.Frames().size());
  for (const TMp3Frame& f : s.Frames()) EXPECT_EQ(f.Size, 450);
}

TEST(Mp3Source, TruncatedLastFrameIsLeftOutWithANote) {
  const TMp3Source s = Scan(Data("truncated.mp3"));
  EXPECT_EQ(s.Frames().size(), 46u);
  ASSERT_EQ(s.Notes().size(), 1u);
  EXPECT_NE(s.Notes()[0].find("cut off"), std::string::npos);
}

TEST(Mp3Source, RefusesWhatIsNotOneCleanStream) {
  TTempDir dir;
  const std::vector<uint8_t> tagged = ReadAll(Data("tagged.mp3"));
  const std::vector<uint8_t> k48 = ReadAll(Data("notags-48k.mp3"));
  const TMp3Source t = Scan(Data("tagged.mp3"));
  const size_t frame100 = static_cast<size_t>(t.Frames()[100].Offset);

  std::vector<uint8_t> garbage = tagged;
  garbage.insert(garbage.begin() + static_cast<long>(frame100), {'j', 'u', 'n', 'k'});
  std::vector<uint8_t> layers = tagged;
  layers[frame100 + 1] = static_cast<uint8_t>((layers[frame100 + 1] & ~0x06) | 0x04);  // layer II
  std::vector<uint8_t> joined(tagged.begin(), tagged.end() - Id3v1Size);
  joined.insert(joined.end(), k48.begin(), k48.end());
  std::vector<uint8_t> mono = tagged;
  mono[frame100 + 3] |= 0xC0;

  const struct {
    std::string File, Reason;
  } cases[] = {
      {Data("text.mp3"), "no MP3 frame sync at byte 0"},
      {Data("empty.mp3"), "no MP3 frame sync at byte 0"},
      {WriteBytes(dir, "garbage.mp3", garbage), "the frame sync is lost at byte " + std::to_string(frame100)},
      {WriteBytes(dir, "layers.mp3", layers), "the frames mix MPEG layers at byte " + std::to_string(frame100)},
      {WriteBytes(dir, "joined.mp3", joined), "the sample rate changes at byte"},
      {WriteBytes(dir, "mono.mp3", mono), "the channel count changes at byte " + std::to_string(frame100)},
      {dir.File("missing.mp3"), "cannot read the file"},
  };
  for (const auto& c : cases) {
    TMp3Source s;
    EXPECT_FALSE(s.Open(c.File)) << c.File;
    EXPECT_EQ(s.ErrorText().substr(0, c.Reason.size()), c.Reason) << c.File;
    EXPECT_TRUE(s.Frames().empty());
  }
}

TEST(Mp3Source, ReservoirFrameFindsWhereMainDataBegins) {
  const TMp3Source s = Scan(Data("lowrate-16k.mp3"));
  const auto& fr = s.Frames();
  int64_t deepest = 0;
  for (int64_t i = 0; i < static_cast<int64_t>(fr.size()); ++i) {
    const int64_t r = s.ReservoirFrame(i);
    ASSERT_GE(r, 0) << i;
    ASSERT_LE(r, i);
    // The bytes back from frame i's main data reach into frame r and not before it.
    int64_t between = 0;
    for (int64_t j = r + 1; j < i; ++j) between += fr[static_cast<size_t>(j)].MainDataSize;
    if (r < i) {
      EXPECT_LT(between, fr[static_cast<size_t>(i)].MainDataBegin);
      EXPECT_GE(between + fr[static_cast<size_t>(r)].MainDataSize, fr[static_cast<size_t>(i)].MainDataBegin);
    } else {
      EXPECT_EQ(fr[static_cast<size_t>(i)].MainDataBegin, 0);
    }
    deepest = std::max(deepest, i - r);
  }
  // Small frames: the reservoir spans many of them.
  EXPECT_GE(deepest, 3);
}

TEST(SideInfo, CrcOfProtectedFramesMatchesTheStoredOne) {
  const TMp3Source s = Scan(Data("crc-8k.mp3"));
  const std::vector<uint8_t> bytes = ReadAll(Data("crc-8k.mp3"));
  for (const TMp3Frame& f : s.Frames()) {
    const uint8_t* p = &bytes[static_cast<size_t>(f.Offset)];
    TMp3Header h;
    ASSERT_TRUE(ParseHeader(p, h));
    ASSERT_EQ(ComputeFrameCrc(h, p), p[4] << 8 | p[5]) << f.Offset;
  }
}

TEST(SideInfo, GlobalGainRewriteTouchesOnlyItsBitsAndRenewsTheCrc) {
  const TMp3Source s = Scan(Data("crc-8k.mp3"));
  std::vector<uint8_t> bytes = ReadAll(Data("crc-8k.mp3"));
  uint8_t* p = &bytes[static_cast<size_t>(s.Frames()[10].Offset)];
  TMp3Header h;
  ASSERT_TRUE(ParseHeader(p, h));
  const std::vector<uint8_t> before(p, p + 144);
  uint8_t* side = p + h.HeaderSize();
  const int left = GlobalGain(h, side, 0, 0), right = GlobalGain(h, side, 0, 1);
  // Encoders put real gains there: far above 0, at most 255.
  EXPECT_GT(left, 100);
  EXPECT_GT(right, 100);
  SetGlobalGain(h, side, 0, 0, left - 7);
  EXPECT_EQ(GlobalGain(h, side, 0, 0), left - 7);
  EXPECT_EQ(GlobalGain(h, side, 0, 1), right);
  EXPECT_EQ(MainDataBegin(h, side), MainDataBegin(h, before.data() + 6));
  int changedBits = 0;
  for (size_t i = 6; i < before.size(); ++i) changedBits += __builtin_popcount(before[i] ^ p[i]);
  EXPECT_EQ(changedBits, __builtin_popcount(static_cast<unsigned>(left ^ (left - 7))));
  EXPECT_NE(ComputeFrameCrc(h, p), p[4] << 8 | p[5]);
  UpdateFrameCrc(h, p);
  EXPECT_EQ(ComputeFrameCrc(h, p), p[4] << 8 | p[5]);
}

TEST(SideInfo, GlobalGainPositionsForEveryLayout) {
  // Start of each granule/channel block + 21: MPEG-1 stereo blocks start after 20 bits,
  // MPEG-1 mono after 18, MPEG-2 stereo after 10, mono after 9.
  TMp3Header h;
  const uint8_t mpeg1Stereo[4] = {0xFF, 0xFB, 0x90, 0x44}, mpeg1Mono[4] = {0xFF, 0xFB, 0x90, 0xC4};
  const uint8_t mpeg2Stereo[4] = {0xFF, 0xF3, 0x90, 0x44}, mpeg2Mono[4] = {0xFF, 0xF3, 0x90, 0xC4};
  ASSERT_TRUE(ParseHeader(mpeg1Stereo, h));
  EXPECT_EQ(GlobalGainBit(h, 0, 0), 41);
  EXPECT_EQ(GlobalGainBit(h, 1, 1), 20 + 3 * 59 + 21);
  EXPECT_EQ(h.SideInfoSize(), 32);
  ASSERT_TRUE(ParseHeader(mpeg1Mono, h));
  EXPECT_EQ(GlobalGainBit(h, 1, 0), 18 + 59 + 21);
  EXPECT_EQ(h.SideInfoSize(), 17);
  ASSERT_TRUE(ParseHeader(mpeg2Stereo, h));
  EXPECT_EQ(GlobalGainBit(h, 0, 1), 10 + 63 + 21);
  EXPECT_EQ(h.SideInfoSize(), 17);
  ASSERT_TRUE(ParseHeader(mpeg2Mono, h));
  EXPECT_EQ(GlobalGainBit(h, 0, 0), 9 + 21);
  EXPECT_EQ(h.SamplesPerFrame(), 576);
}

TEST(EncoderTag, RebuildingTheEncodersOwnInfoFrameGivesItsBytes) {
  // LAME wrote these frames; ours from the same figures must match them field by field.
  for (const char* name : {"tagged.mp3", "notags-48k.mp3", "mono-vbr.mp3", "cover.mp3"}) {
    SCOPED_TRACE(name);
    const TMp3Source s = Scan(Data(name));
    const std::vector<uint8_t> bytes = ReadAll(Data(name));
    const uint8_t* frame = &bytes[static_cast<size_t>(s.TagFrameOffset())];
    const int size = static_cast<int>(s.Frames()[0].Offset - s.TagFrameOffset());
    TMp3Header h;
    ASSERT_TRUE(ParseHeader(frame, h));
    TInfoFrameFields f;
    f.Xing = s.Tag().Xing;
    f.Frames = s.Tag().Frames;
    f.Bytes = s.Tag().Bytes;
    f.Quality = s.Tag().Quality;
    f.Lame = s.Tag().Lame;
    f.Delay = s.Tag().Delay;
    f.Padding = s.Tag().Padding;
    f.MusicCrc = static_cast<uint16_t>(s.Tag().Lame[32] << 8 | s.Tag().Lame[33]);
    const int tocAt = 4 + h.SideInfoSize() + 16;
    std::copy(frame + tocAt, frame + tocAt + 100, f.Toc.begin());
    const std::vector<uint8_t> built = BuildInfoFrame(h, size, f);
    EXPECT_EQ(built, std::vector<uint8_t>(frame, frame + size));
    // The music CRC is the encoder tag's CRC over all audio frames.
    const size_t audio = static_cast<size_t>(s.Frames()[0].Offset);
    const size_t end = static_cast<size_t>(s.Frames().back().Offset + s.Frames().back().Size);
    EXPECT_EQ(TagCrc(&bytes[audio], end - audio), f.MusicCrc);
    // Taken in pieces of every length, as the cut feeds it frame by frame.
    uint16_t pieces = 0;
    for (size_t at = audio, n = 1; at < end; at += n, n = n % 17 + 1)
      pieces = TagCrc(&bytes[at], std::min(n, end - at), pieces);
    EXPECT_EQ(pieces, f.MusicCrc);
    TEncoderTag back;
    ASSERT_TRUE(ParseEncoderTag(h, built.data(), size, back));
    EXPECT_EQ(back.Delay, s.Tag().Delay);
    EXPECT_EQ(back.Padding, s.Tag().Padding);
  }
}

TEST(EncoderTag, SmallFramesDropTheSeekTableAndKeepTheCrc) {
  TMp3Header h;
  const uint8_t mono[4] = {0xFF, 0xFB, 0x00, 0xC4};
  ASSERT_TRUE(ParseHeader(mono, h));
  const int size = InfoFrameNeeds(h, false);
  TInfoFrameFields f;
  f.Frames = 12;
  f.Bytes = 3456;
  f.Delay = 4095;
  f.Padding = 1234;
  std::copy_n("LAME3.100", 9, f.Lame.begin());
  const std::vector<uint8_t> frame = BuildInfoFrame(h, size, f);
  TEncoderTag tag;
  ASSERT_TRUE(ParseEncoderTag(h, frame.data(), size, tag));
  EXPECT_EQ(tag.Frames, 12u);
  EXPECT_EQ(tag.Bytes, 3456u);
  EXPECT_TRUE(tag.HasGapless);
  EXPECT_EQ(tag.Delay, 4095);
  EXPECT_EQ(tag.Padding, 1234);
  EXPECT_EQ(TagCrc(frame.data(), static_cast<size_t>(size - 2)), frame[size - 2] << 8 | frame[size - 1]);
  // A frame one byte short holds no tag at all.
  EXPECT_TRUE(BuildInfoFrame(h, size - 1, f).empty());
}

TEST(Id3Tags, DropsTheLengthFrameAndKeepsTheTagSize) {
  const std::vector<uint8_t> bytes = ReadAll(Data("tagged.mp3"));
  ASSERT_EQ(Id3v2TagSize(bytes.data(), bytes.size()), 230);
  std::vector<uint8_t> tag(bytes.begin(), bytes.begin() + 230);
  const std::string before(tag.begin(), tag.end());
  ASSERT_NE(before.find("TLEN"), std::string::npos);
  ASSERT_TRUE(DropId3v2Frame(tag, "TLEN"));
  const std::string after(tag.begin(), tag.end());
  EXPECT_EQ(tag.size(), 230u);
  EXPECT_EQ(after.find("TLEN"), std::string::npos);
  // Frames before it stay in place, those after it move up; zeros fill the end.
  const size_t tlen = before.find("TLEN");
  EXPECT_EQ(after.substr(0, tlen), before.substr(0, tlen));
  const size_t tlenSize = 10 + 6;  // "12000" with its encoding byte
  EXPECT_EQ(after.substr(tlen, 230 - tlen - tlenSize), before.substr(tlen + tlenSize));
  EXPECT_EQ(after.substr(230 - tlenSize), std::string(tlenSize, '\0'));
  EXPECT_FALSE(DropId3v2Frame(tag, "TLEN"));
  EXPECT_TRUE(IsId3v1(&bytes[bytes.size() - Id3v1Size]));
  EXPECT_EQ(Id3v2TagSize(reinterpret_cast<const uint8_t*>("ID3\4\0\x10\0\0\1\0"), 10), 10 + 128 + 10);
}
