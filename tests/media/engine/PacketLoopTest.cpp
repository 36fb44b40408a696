// What the packet loop and the audio path tell and ask: packets with several frames, the
// packet dump, and the channel count asked of a decoder.
#include <gtest/gtest.h>

#include <set>

#include "../../TempDir.h"
#include "../encoder/LogCapture.h"
#include "DecodeFile.h"
#include "EngineTask.h"
#include "RemuxFile.h"

using namespace sw;
using PacketLoop = WithLibraries;

TEST_F(PacketLoop, PacketsWithSeveralFramesAreDecodedWholeAndToldOfAndDumpsShowPayloads) {
  TTempDir dir;
  // Packets of two MP3 frames each, in a container that does not split them again.
  ASSERT_TRUE(RemuxFile(TestData("tagged.mp3"), dir.File("pairs.nut"), 1, 2));
  TDecodedAudio reference;
  ASSERT_TRUE(DecodeFile(TestData("tagged.mp3"), reference));
  for (int verbosity : {0, 1, 2}) {
    SCOPED_TRACE(verbosity);
    TLogCapture log;
    TCustomFFmpeg engine;
    AddInput(engine, dir.File("pairs.nut"));
    AddOutput(engine, dir.File("out.wav"), "pcm_s16le", 44100, 2, 0, "wav");
    engine.Settings().Verbosity = verbosity;
    engine.Settings().PacketDump = verbosity == 2;
    engine.Settings().HexDump = verbosity == 2;
    int64_t hooked = 0;
    engine.OnAudioHook = [&](TCustomFFmpeg*, uint8_t*, int64_t, int bytes, int, int channels, int) {
      hooked += bytes / 2 / channels;
    };
    engine.Transcode();
    engine.CleanUp();
    // Both frames of every packet reach the output.
    EXPECT_GT(hooked, reference.Frames() - 1152);
    const std::string text = "Multiple frames in a packet from stream 0";
    const size_t told = log.Count(llError, text);
    // Once above verbosity 0, at every packet above 1.
    const size_t expected[] = {0, 1, 230};  // 461 frames in 231 packets
    EXPECT_EQ(told, expected[verbosity]);
    // The dump names the stream and shows the payload: two frame headers (ff fb) per packet.
    EXPECT_EQ(log.Find("stream #0:") >= 0, verbosity == 2);
    EXPECT_EQ(log.Find("ff fb") >= 0, verbosity == 2);
  }
}

TEST_F(PacketLoop, DecoderIsAskedForTheEncodersChannelCount) {
  TTempDir dir;
  {
    // Stereo AC-3: its decoder can mix down on request.
    TCustomFFmpeg engine;
    AddInput(engine, TestData("tagged.mp3"));
    AddOutput(engine, dir.File("stereo.ac3"), "ac3", 44100, 2, 192000, "ac3");
    engine.Transcode();
    engine.CleanUp();
  }
  for (int channels : {1, 2}) {
    TCustomFFmpeg engine;
    AddInput(engine, dir.File("stereo.ac3"));
    AddOutput(engine, dir.File("out.wav"), "pcm_s16le", 44100, channels, 0, "wav");
    std::set<int> decoded;
    engine.OnAudioHook = [&](TCustomFFmpeg*, uint8_t*, int64_t, int, int, int c, int) { decoded.insert(c); };
    engine.Transcode();
    engine.CleanUp();
    EXPECT_EQ(decoded, std::set<int>{channels});
  }
}
