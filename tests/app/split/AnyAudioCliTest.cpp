// Sources other than MP3 through the built program: WAV, FLAC, Ogg Vorbis, Opus and M4A
// made here by the engine, with tags. Their nine information lines, a preview on the
// dummy sound driver, a cut to an MP3 of the segment's exact length with the tags mapped
// to ID3, and the refusal of the cuts that copy MP3 frames.
#include <gtest/gtest.h>

#include "media/info/FFDecode.h"
#include "tests/LoadedLibraries.h"
#include "tests/RunProgram.h"
#include "tests/TempDir.h"
#include "tests/media/encoder/RunConvert.h"
#include "tests/media/engine/DecodeFile.h"

namespace {

struct TFormat {
  const char* Extension;
  const char* Codec;
  int Rate;
};

const TFormat Formats[] = {
    {"wav", "pcm_s16le", 44100}, {"flac", "flac", 44100}, {"ogg", "libvorbis", 44100},
    {"opus", "libopus", 48000},  {"m4a", "aac", 44100},
};

std::string Cli(const std::string& args) { return std::string(SNIPWAVE_CLI) + " " + args + " 2>&1"; }

}  // namespace

class AnyAudioCli : public WithLibraries {
 protected:
  TTempDir Dir;
};

TEST_F(AnyAudioCli, OtherFormatsShowTheirLinesPreviewAndCutToAnExactMp3) {
  for (const TFormat& f : Formats) {
    SCOPED_TRACE(f.Extension);
    const std::string source = Dir.File(std::string("source.") + f.Extension);
    ASSERT_EQ(RunConvert("sine=frequency=523:sample_rate=" + std::to_string(f.Rate) + ":duration=6", "lavfi", source,
                         {}, {std::string("acodec=") + f.Codec, "ac=2", "metadata=title=Phone Memo",
                              "metadata=artist=Korvane Lab", "metadata=album=Recorder", "metadata=date=2025"}),
              "");
    TProgramRun run = RunProgram(Cli("info '" + source + "'"));
    ASSERT_EQ(run.Status, 0) << run.Output;
    for (const char* line : {"Title: Phone Memo\n", "Artist: Korvane Lab\n", "Album: Recorder\n", "Year: 2025\n",
                             "Duration: 00:00:06.\n"})
      EXPECT_NE(run.Output.find(line), std::string::npos) << line << " in\n" << run.Output;
    EXPECT_EQ(std::count(run.Output.begin(), run.Output.end(), '\n'), 9) << run.Output;

    run = RunProgram("SDL_AUDIODRIVER=dummy " + Cli("play '" + source + "' --start 1 --end 1.5"));
    EXPECT_EQ(run.Status, 0) << run.Output;

    // 1.25 s to 3.75 s, at the source's rate; the MP3 keeps that rate.
    run = RunProgram(Cli("cut '" + source + "' --start 1.25 --end 3.75 --yes --folder " + Dir.Path() + " --name cut"));
    ASSERT_EQ(run.Status, 0) << run.Output;
    TDecodedAudio cut;
    ASSERT_TRUE(DecodeFile(Dir.File("cut.mp3"), cut));
    EXPECT_EQ(cut.SampleRate, f.Rate);
    EXPECT_EQ(cut.Frames(), f.Rate * 5 / 2);
    EXPECT_EQ(FileContent(Dir.File("cut.mp3")).substr(0, 3), "ID3");
    sw::TFFDecoder reader;
    ASSERT_TRUE(reader.OpenMediaFile(Dir.File("cut.mp3"), ""));
    sw::TFileStreamInfo tags;
    reader.FillStreamInfo(tags);
    EXPECT_EQ(tags.Title, "Phone Memo");
    EXPECT_EQ(tags.Author, "Korvane Lab");
    EXPECT_EQ(tags.Album, "Recorder");
    EXPECT_EQ(tags.Year, 2025);

    // Copying frames is for MP3 only; the reason names what the file is.
    for (const std::string& args : {"cut '" + source + "' --start 1 --end 2 --lossless --yes --folder " + Dir.Path(),
                                    "split '" + source + "' --at 3 --lossless --yes --folder " + Dir.Path()}) {
      run = RunProgram(Cli(args));
      EXPECT_EQ(run.Status, 1) << run.Output;
      EXPECT_NE(run.Output.find("audio, not MP3, and only MP3 frames can be copied"), std::string::npos) << run.Output;
    }
  }
}
