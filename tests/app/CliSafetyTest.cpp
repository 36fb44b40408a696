// The command-line cut and info as a user meets them: names, places and tag text.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "../LoadedLibraries.h"
#include "../LocalPort.h"
#include "../RunProgram.h"
#include "../TempDir.h"

namespace {

TProgramRun Cli(const std::string& folder, const std::string& args) {
  return RunProgram("cd '" + folder + "' && " + std::string(SNIPWAVE_CLI) + " " + args + " 2>/dev/null");
}

// An ID3v2.3 tag with one text frame (Latin-1) in front of a file without tags.
std::string WithTitle(const TTempDir& dir, const std::string& title) {
  const std::string body = '\0' + title;
  const auto be = [](uint32_t v, int shift) {
    std::string t;
    for (int i = 3; i >= 0; --i) t += static_cast<char>((v >> (shift * i)) & (shift == 7 ? 0x7f : 0xff));
    return t;
  };
  const std::string frame = "TIT2" + be(static_cast<uint32_t>(body.size()), 8) + std::string(2, '\0') + body;
  const std::string tag = std::string("ID3\x03\0\0", 6) + be(static_cast<uint32_t>(frame.size()), 7) + frame;
  return dir.Write("titled.mp3", tag + FileContent(TestData("notags-48k.mp3")));
}

}  // namespace

TEST(CliSafety, ABareSourceNameIsCutIntoTheCurrentFolder) {
  TTempDir dir;
  std::filesystem::copy_file(TestData("tagged.mp3"), dir.File("song.mp3"));
  const TProgramRun run = Cli(dir.Path(), "cut song.mp3 --start 1 --end 3 --yes");
  EXPECT_EQ(run.Status, 0) << run.Output;
  const std::string out = std::filesystem::canonical(dir.Path()).string() + "/song_new.mp3";
  EXPECT_NE(run.Output.find("Output:" + out), std::string::npos) << run.Output;
  EXPECT_TRUE(std::filesystem::exists(dir.File("song_new.mp3")));
}

TEST(CliSafety, NamesLeavingTheFolderAreRefusedAndNothingIsWritten) {
  TTempDir dir;
  std::filesystem::create_directory(dir.File("in"));
  std::filesystem::copy_file(TestData("tagged.mp3"), dir.File("in/song.mp3"));
  for (const std::string name : {"../../x", "..", ".", "a/", "'two\nlines'"}) {
    const TProgramRun run = Cli(dir.File("in"), "cut song.mp3 --start 1 --end 3 --yes --name " +
                                                   (name[0] == '\'' ? name : "'" + name + "'"));
    EXPECT_EQ(run.Status, 1) << name;
    EXPECT_NE(run.Output.find("cannot be used"), std::string::npos) << run.Output;
  }
  EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(dir.Path()), {}), 2);
}

TEST(CliSafety, AFolderThatIsAUrlIsRefusedAndNothingConnects) {
  TTempDir dir;
  TLocalPort port;
  ASSERT_NE(port.Port(), 0);
  const std::string url = "http://127.0.0.1:" + std::to_string(port.Port());
  for (const std::string way : {"", " --lossless"}) {
    const TProgramRun run =
        Cli(dir.Path(), "cut " + TestData("tagged.mp3") + " --start 1 --end 3 --name x --folder " + url + way);
    EXPECT_EQ(run.Status, 1) << way;
    EXPECT_NE(run.Output.find("The folder \"" + url + "\" is not a local folder"), std::string::npos) << run.Output;
  }
  EXPECT_FALSE(port.Connected());
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(CliSafety, ACutOntoItsSourceFailsAndKeepsIt) {
  TTempDir dir;
  const std::string source = dir.File("s.mp3");
  std::filesystem::copy_file(TestData("tagged.mp3"), source);
  const TProgramRun run =
      Cli(dir.Path(), "cut " + source + " --start 5 --end 11 --folder " + dir.Path() + " --name s.mp3 --yes");
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Output.find("Completed to cut mp3 file."), std::string::npos) << run.Output;
  EXPECT_NE(run.Output.find("\" is the source itself: a cut may not overwrite its source."), std::string::npos)
      << run.Output;
  EXPECT_EQ(FileContent(source), FileContent(TestData("tagged.mp3")));
}

TEST(CliSafety, TagTextWithControlCharactersIsShownEscaped) {
  TTempDir dir;
  const std::string file = WithTitle(dir, "Evil\n\x1b[2Jtitle\x07");
  const TProgramRun run = Cli(dir.Path(), "info " + file);
  EXPECT_EQ(run.Status, 0);
  EXPECT_NE(run.Output.find("\nTitle: Evil\\n\\x1b[2Jtitle\\x07\nArtist: \n"), std::string::npos) << run.Output;
  EXPECT_EQ(run.Output.find('\x1b'), std::string::npos);
}
