#include <gtest/gtest.h>

#include "../../TempDir.h"
#include "EngineTask.h"
#include "media/info/FFDecode.h"

using namespace sw;
using Engine = WithLibraries;

TEST_F(Engine, Smoke) {
  TTempDir dir;
  TCustomFFmpeg engine;
  AddInput(engine, TestData("tagged.mp3"));
  AddOutput(engine, dir.File("out.mp3"), "libmp3lame", 44100, 2, 128000);
  engine.Transcode();
  engine.CleanUp();
  TFFDecoder d;
  ASSERT_TRUE(d.OpenMediaFile(dir.File("out.mp3"), "")) << d.ErrorText();
  TFileStreamInfo info;
  d.FillStreamInfo(info);
  printf("duration %ld bitrate %d size %ld\n", info.Duration, info.BitRate, d.FileSize());
}
