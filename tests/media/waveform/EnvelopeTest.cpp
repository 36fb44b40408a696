#include <gtest/gtest.h>

#include <vector>

#include "media/waveform/Envelope.h"
#include "media/waveform/SampleMix.h"

using namespace sw;

namespace {

std::vector<float> Constant(int n, float v) { return std::vector<float>(static_cast<size_t>(n), v); }

}  // namespace

TEST(EnvelopeBuilder, PlacesSamplesByTheirTimeAcrossRateChanges) {
  // One second over ten columns: 0.1 s at 1000 Hz per step, then the same at 8000 Hz.
  TEnvelopeBuilder b(10, 1000000);
  for (int i = 0; i < 5; ++i) b.Add(Constant(100, 0.1f * (i + 1)).data(), 100, 1000);
  EXPECT_EQ(b.Envelope().Filled, 4);  // the fifth column could still grow
  for (int i = 5; i < 10; ++i) b.Add(Constant(800, -0.1f * (i + 1)).data(), 800, 8000);
  EXPECT_EQ(b.Envelope().DecodedDuration, 1000000);
  b.Finish();
  const TEnvelope& e = b.Envelope();
  ASSERT_TRUE(e.Complete());
  for (int i = 0; i < 10; ++i) {
    const float v = (i < 5 ? 0.1f : -0.1f) * (i + 1);
    EXPECT_FLOAT_EQ(e.Columns[i].Min, v) << i;
    EXPECT_FLOAT_EQ(e.Columns[i].Max, v) << i;
  }
}

TEST(EnvelopeBuilder, KeepsExtremesAcrossCallsAndPutsOverrunInTheLastColumn) {
  TEnvelopeBuilder b(4, 4000);  // 4 ms, 1 ms per column at 1000 Hz: one sample each
  const float first[] = {0.5f, -0.25f};
  b.Add(first, 1, 1000);
  b.Add(first + 1, 1, 1000);
  const float rest[] = {0.0f, 0.3f, -0.9f, 0.7f};  // the last two lie past the length
  b.Add(rest, 4, 1000);
  b.Finish();
  const TEnvelope& e = b.Envelope();
  EXPECT_FLOAT_EQ(e.Columns[0].Max, 0.5f);
  EXPECT_FLOAT_EQ(e.Columns[1].Min, -0.25f);
  EXPECT_FLOAT_EQ(e.Columns[2].Max, 0.0f);
  EXPECT_FLOAT_EQ(e.Columns[3].Min, -0.9f);
  EXPECT_FLOAT_EQ(e.Columns[3].Max, 0.7f);
  EXPECT_EQ(e.DecodedDuration, 6000);
}

TEST(EnvelopeBuilder, FindsExtremesAnywhereInALongRun) {
  for (int at = 0; at < 11; ++at) {
    std::vector<float> s(11, 0.1f);
    s[at] = -0.7f;
    s[10 - at] = at == 5 ? -0.7f : 0.6f;
    TEnvelopeBuilder b(1, 11000);
    b.Add(s.data(), 11, 1000);
    EXPECT_FLOAT_EQ(b.Envelope().Columns[0].Min, -0.7f) << at;
    EXPECT_FLOAT_EQ(b.Envelope().Columns[0].Max, at == 5 ? 0.1f : 0.6f) << at;
  }
}

TEST(EnvelopeBuilder, ColumnsTheAudioNeverReachedStaySilentAfterFinish) {
  TEnvelopeBuilder b(8, 8000);
  b.Add(Constant(2, 1.0f).data(), 2, 1000);
  EXPECT_FALSE(b.Envelope().Complete());
  b.Finish();
  EXPECT_TRUE(b.Envelope().Complete());
  EXPECT_FLOAT_EQ(b.Envelope().Columns[1].Max, 1.0f);
  for (int i = 2; i < 8; ++i) EXPECT_EQ(b.Envelope().Columns[i].Max, 0.0f);
}

TEST(MixDown, AveragesChannelsOfPlanarAndInterleavedFormats) {
  AVFrame f{};
  f.nb_samples = 2;
  f.ch_layout.nb_channels = 2;
  std::vector<float> out;

  int16_t packed[] = {16384, -16384, 32767, 32767};
  uint8_t* packedData[] = {reinterpret_cast<uint8_t*>(packed)};
  f.extended_data = packedData;
  f.format = AV_SAMPLE_FMT_S16;
  ASSERT_TRUE(MixDown(f, out));
  EXPECT_FLOAT_EQ(out[0], 0.0f);
  EXPECT_NEAR(out[1], 1.0f, 1e-4);

  float left[] = {0.5f, -1.0f}, right[] = {0.25f, 0.0f};
  uint8_t* planes[] = {reinterpret_cast<uint8_t*>(left), reinterpret_cast<uint8_t*>(right)};
  f.extended_data = planes;
  f.format = AV_SAMPLE_FMT_FLTP;
  ASSERT_TRUE(MixDown(f, out));
  EXPECT_FLOAT_EQ(out[0], 0.375f);
  EXPECT_FLOAT_EQ(out[1], -0.5f);

  uint8_t unsignedBytes[] = {128, 0, 255, 255};
  uint8_t* u8Data[] = {unsignedBytes};
  f.extended_data = u8Data;
  f.format = AV_SAMPLE_FMT_U8;
  ASSERT_TRUE(MixDown(f, out));
  EXPECT_FLOAT_EQ(out[0], -0.5f);
  EXPECT_NEAR(out[1], 1.0f, 0.01);

  f.format = AV_SAMPLE_FMT_NONE;
  EXPECT_FALSE(MixDown(f, out));
}
