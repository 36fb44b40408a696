// convert without the window's libraries: the previewer window is a module loaded only for
// --preview, and the device and filter libraries come in only when a conversion needs them.
// The window itself under a real display: preview-e2e.sh.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "../LoadedLibraries.h"
#include "../RunProgram.h"
#include "../TempDir.h"
#include "../media/encoder/DecodeVideo.h"
#include "../media/engine/DecodeFile.h"

namespace {

namespace fs = std::filesystem;

// The tool's standard error, run as program under the environment changes of env (env(1)).
TProgramRun Errors(const std::string& env, const std::string& program, const std::string& args) {
  return RunProgram("env " + env + " " + program + " " + args + " 2>&1 >/dev/null");
}

// The lines that are not progress reports.
std::vector<std::string> Said(const std::string& output) {
  std::vector<std::string> lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);)
    if (line.rfind("file ", 0) != 0) lines.push_back(line);
  return lines;
}

// The shared objects the dynamic linker opened while the command ran (LD_DEBUG=files).
std::string Opened(const std::string& args) {
  return RunProgram("LD_DEBUG=files " + std::string(SNIPWAVE_CLI) + " " + args + " 2>&1 >/dev/null | grep -o 'file=[^ ]*'")
      .Output;
}

}  // namespace

using CliConvertLibraries = WithLibraries;

TEST_F(CliConvertLibraries, LinksNoWindowLibraryAndItsPreviewModuleLiesBesideIt) {
  const TProgramRun linked = RunProgram("ldd " + std::string(SNIPWAVE_CLI));
  ASSERT_EQ(linked.Status, 0);
  ASSERT_NE(linked.Output.find("libc.so"), std::string::npos) << linked.Output;
  EXPECT_EQ(linked.Output.find("libQt6"), std::string::npos) << linked.Output;
  const fs::path module = fs::path(SNIPWAVE_CLI).parent_path() / "modules" / "snipwave-preview.so";
  const TProgramRun window = RunProgram("ldd " + module.string());
  ASSERT_EQ(window.Status, 0) << module;
  EXPECT_NE(window.Output.find("libQt6Widgets"), std::string::npos) << window.Output;
}

// Each way of being without the window says so in one line; the file is made all the same.
TEST_F(CliConvertLibraries, PreviewWithoutDisplayOrModuleSaysSoOnceAndConverts) {
  TTempDir dir;
  // The tool alone in a folder, without its module.
  const std::string alone = dir.File("snipwave-cli");
  fs::copy_file(SNIPWAVE_CLI, alone);
  TDecodedAudio source;
  ASSERT_TRUE(DecodeFile(TestData("tagged.mp3"), source));
  // A display that no server answers (no X server listens on that number).
  const std::string nowhere = "-u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:4711";
  const struct {
    std::string Env, Program, Line;
  } cases[] = {
      {"-u DISPLAY -u WAYLAND_DISPLAY", SNIPWAVE_CLI, "No display: the preview window is not shown."},
      {nowhere, SNIPWAVE_CLI, "No display could be opened: the preview window is not shown."},
      {nowhere, alone, "The preview window's module cannot be loaded (" + dir.File("modules/snipwave-preview.so")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Env + " " + c.Program);
    const std::string out = dir.File("out.mp3");
    fs::remove(out);
    const TProgramRun run = Errors(c.Env, c.Program, "convert --preview " + TestData("tagged.mp3") + " " + out);
    EXPECT_EQ(run.Status, 0) << run.Output;
    const auto said = Said(run.Output);
    ASSERT_EQ(said.size(), 1u) << run.Output;
    EXPECT_EQ(said[0].rfind(c.Line, 0), 0u) << said[0];
    EXPECT_NE(said[0].find("not shown."), std::string::npos) << said[0];
    TDecodedAudio made;
    ASSERT_TRUE(DecodeFile(out, made));
    EXPECT_NEAR(made.Seconds(), source.Seconds(), 0.05);
  }
}

// The filter library (11 MB resident with what it brings) and the device library come in
// only for a conversion that needs them: video pictures, a device's format.
TEST_F(CliConvertLibraries, DevicesAndFiltersAreLoadedOnlyWhenAConversionNeedsThem) {
  TTempDir dir;
  const std::string audio = Opened("convert " + TestData("tagged.mp3") + " " + dir.File("a.mp3"));
  EXPECT_NE(audio.find("libavcodec.so"), std::string::npos) << audio;
  EXPECT_EQ(audio.find("libavfilter.so"), std::string::npos) << audio;
  EXPECT_EQ(audio.find("libavdevice.so"), std::string::npos) << audio;
  ASSERT_TRUE(fs::exists(dir.File("a.mp3")));

  // A device's picture source, scaled by a filter graph ("vf").
  const std::string video = Opened("convert --in f=lavfi testsrc=size=160x120:rate=10:duration=1 " +
                                   dir.File("v.avi") + " vf=scale=80:60");
  EXPECT_NE(video.find("libavdevice.so"), std::string::npos) << video;
  EXPECT_NE(video.find("libavfilter.so"), std::string::npos) << video;
  TDecodedVideo made;
  ASSERT_TRUE(DecodeVideo(dir.File("v.avi"), made));
  EXPECT_EQ(made.Width, 80);
  EXPECT_EQ(made.Height, 60);
  EXPECT_EQ(made.Frames, 10);
}
