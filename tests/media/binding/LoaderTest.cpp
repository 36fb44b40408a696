#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cfenv>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../../TempDir.h"
#include "media/binding/AVCodecStubs.h"
#include "media/binding/AVFormatStubs.h"
#include "media/binding/AVUtilStubs.h"
#include "media/binding/FFLoad.h"
#include "media/binding/FFLog.h"
#include "media/binding/SwScaleStubs.h"

using namespace sw;

namespace {

bool ModuleResident(const std::string& path) {
  void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (h) ::dlclose(h);
  return h != nullptr;
}

}  // namespace

TEST(Loader, FileNamesFollowTheInstalledMajorVersions) {
  const char* expected[LibraryCount] = {"libavcodec.so.59", "libswresample.so.4", "libavdevice.so.59",
                                        "libavfilter.so.8", "libavformat.so.59", "libavutil.so.57",
                                        "libswscale.so.6", "libc.so.6", "libSDL2-2.0.so.0"};
  for (int i = 0; i < LibraryCount; ++i)
    EXPECT_EQ(TFFLoader::LibraryFileName(static_cast<TFFLibrary>(i)), expected[i]);
}

TEST(Loader, AllLibrariesLoadAndBindTheirSlots) {
  TFFLoader loader;
  ASSERT_TRUE(loader.LoadLibrarySet(AllLibraries)) << loader.GetLastErrorText();
  EXPECT_TRUE(loader.LibrarySetLoaded(PlayerLibraries));
  EXPECT_NE(ff::avcodec_open2, nullptr);
  ASSERT_NE(ff::av_util_ffversion, nullptr);
  EXPECT_EQ(std::strncmp(ff::av_util_ffversion, "FFmpeg version", 14), 0);
  // The slots call into the real library.
  EXPECT_STREQ(ff::avcodec_get_name(AV_CODEC_ID_MP3), "mp3");

  loader.UnloadLibrarySet(AllLibraries);
  EXPECT_FALSE(loader.LibraryLoaded(flAVCodec));
  EXPECT_EQ(ff::avcodec_open2, nullptr);
  EXPECT_EQ(ff::av_util_ffversion, nullptr);
}

TEST(Loader, NonLibraryFileInTheFolderNamesThePathTried) {
  TTempDir dir;
  dir.Write("libavcodec.so.59", "not a shared library\n");
  TFFLoader loader;
  loader.SetLibraryFolder(dir.Path());  // no trailing "/": the loader adds it
  EXPECT_FALSE(loader.LoadOneLibrary(flAVCodec));
  const std::string path = dir.Path() + "/libavcodec.so.59";
  const std::string text = loader.GetLastErrorText();
  EXPECT_EQ(text.rfind("Load library " + path + " error: ", 0), 0u) << text;
  // The dynamic linker's own words follow (they name the file and what is wrong).
  EXPECT_NE(text.find(path + ": "), std::string::npos) << text;
  EXPECT_FALSE(loader.LibraryLoaded(flAVCodec));
}

TEST(Loader, FolderGoesInFrontOfTheSearchPathOnce) {
  TTempDir dir;
  dir.Write("libavutil.so.57", "junk");
  ::setenv("LD_LIBRARY_PATH", "/opt/elsewhere", 1);
  TFFLoader loader;
  loader.SetLibraryFolder(dir.Path() + "/");
  EXPECT_FALSE(loader.LoadOneLibrary(flAVUtil));
  EXPECT_STREQ(std::getenv("LD_LIBRARY_PATH"), (dir.Path() + ":/opt/elsewhere").c_str());
  EXPECT_FALSE(loader.LoadOneLibrary(flAVUtil));
  EXPECT_STREQ(std::getenv("LD_LIBRARY_PATH"), (dir.Path() + ":/opt/elsewhere").c_str());
}

TEST(Loader, MissingEntryPointNamesItAndReleasesTheLibrary) {
  TFFLoader loader;
  loader.SetLibraryFolder(FAKE_LIB_DIR);
  EXPECT_FALSE(loader.LoadOneLibrary(flSwScale));
  const std::string text = loader.GetLastErrorText();
  EXPECT_EQ(text.rfind("Load function sws_getCachedContext@libswscale.so.6 error: ", 0), 0u) << text;
  EXPECT_NE(text.find("sws_getCachedContext"), text.rfind("sws_getCachedContext")) << "dlerror text missing";
  EXPECT_EQ(loader.Handle(flSwScale), nullptr);
  EXPECT_FALSE(ModuleResident(std::string(FAKE_LIB_DIR) + "/libswscale.so.6"));
  EXPECT_EQ(ff::sws_getContext, nullptr);
}

TEST(Loader, FailingSetGivesBackOnlyWhatItLoaded) {
  TFFLoader loader;
  ASSERT_TRUE(loader.LoadLibrarySet(DecoderLibraries)) << loader.GetLastErrorText();
  TTempDir dir;
  dir.Write("libSDL2-2.0.so.0", "junk");
  loader.SetLibraryFolder(dir.Path());
  EXPECT_FALSE(loader.LoadLibrarySet(PlayerLibraries));
  EXPECT_NE(loader.GetLastErrorText().find("libSDL2-2.0.so.0"), std::string::npos);
  // The reader's libraries stay, with their slots, for the objects made from them.
  EXPECT_TRUE(loader.LibrarySetLoaded(DecoderLibraries));
  for (TFFLibrary lib : {flAVCodec, flAVCore, flAVFormat, flAVUtil, flSwScale, flMSVCRT})
    EXPECT_EQ(loader.UseCount(lib), 1) << TFFLoader::LibraryFileName(lib);
  EXPECT_NE(ff::avcodec_open2, nullptr);
  // What only the failing set wanted is released again.
  EXPECT_FALSE(loader.LibraryLoaded(flAVFilter));
  EXPECT_EQ(loader.UseCount(flAVFilter), 0);
  EXPECT_FALSE(ModuleResident("libavfilter.so.8"));
  // The error text outlives later successes.
  loader.SetLibraryFolder("");
  ASSERT_TRUE(loader.LoadLibrarySet(PlayerLibraries));
  EXPECT_NE(loader.GetLastErrorText().find("libSDL2-2.0.so.0"), std::string::npos);
}

TEST(Loader, SharedMembersStayUntilTheirLastUserUnloads) {
  TFFLoader loader;
  ASSERT_TRUE(loader.LoadLibrarySet(DecoderLibraries));
  ASSERT_TRUE(loader.LoadLibrarySet(EncoderLibraries));
  EXPECT_EQ(loader.UseCount(flAVCodec), 2);
  EXPECT_EQ(loader.UseCount(flAVFilter), 1);
  loader.UnloadLibrarySet(DecoderLibraries);
  EXPECT_TRUE(loader.LibrarySetLoaded(EncoderLibraries));
  EXPECT_STREQ(ff::avcodec_get_name(AV_CODEC_ID_MP3), "mp3");
  loader.UnloadLibrarySet(EncoderLibraries);
  for (int i = 0; i < LibraryCount; ++i) EXPECT_EQ(loader.Handle(static_cast<TFFLibrary>(i)), nullptr);
  EXPECT_EQ(ff::avcodec_open2, nullptr);
  EXPECT_FALSE(ModuleResident("libavcodec.so.59"));
  // Unloading what nobody uses changes nothing.
  loader.UnloadOneLibrary(flAVUtil);
  EXPECT_EQ(loader.UseCount(flAVUtil), 0);
}

TEST(Loader, LoadingTwiceKeepsOneModuleReference) {
  TFFLoader loader;
  ASSERT_TRUE(loader.LoadOneLibrary(flAVUtil));
  void* first = loader.Handle(flAVUtil);
  ASSERT_TRUE(loader.LoadOneLibrary(flAVUtil));
  EXPECT_EQ(loader.Handle(flAVUtil), first);
  EXPECT_EQ(loader.UseCount(flAVUtil), 2);
  loader.UnloadOneLibrary(flAVUtil);
  EXPECT_TRUE(loader.LibraryLoaded(flAVUtil));
  loader.UnloadOneLibrary(flAVUtil);
  // The module goes with the last use: the second load took no extra reference.
  EXPECT_FALSE(ModuleResident("libavutil.so.57"));
}

TEST(Loader, DestroyingTheLoaderReleasesLibrariesStillInUse) {
  {
    TFFLoader loader;
    ASSERT_TRUE(loader.LoadLibrarySet(DecoderLibraries));
    ASSERT_TRUE(loader.LoadLibrarySet(DecoderLibraries));
  }
  EXPECT_EQ(ff::avformat_open_input, nullptr);
  EXPECT_FALSE(ModuleResident("libavformat.so.59"));
}

TEST(Loader, AVUtilLoadsRouteLibraryLogsToTheBridgeWhileInstallLogBridgeIsSet) {
  TFFLogger logger;
  logger.SetTriggerEventInMainThread(false);
  std::vector<std::string> lines;
  logger.OnLog = [&](void*, uint32_t, TLogLevel, const std::string& text) { lines.push_back(text); };
  TFFLoader loader;
  ASSERT_TRUE(loader.LoadOneLibrary(flAVUtil));
  ff::av_log(nullptr, AV_LOG_ERROR, "first\n");
  // Every load installs it again, also over a callback someone else set meanwhile.
  ff::av_log_set_callback(ff::av_log_default_callback);
  ASSERT_TRUE(loader.LoadOneLibrary(flAVUtil));
  ff::av_log(nullptr, AV_LOG_ERROR, "second\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"first", "second"}));

  loader.UnloadOneLibrary(flAVUtil);  // one use per load
  loader.UnloadOneLibrary(flAVUtil);
  ASSERT_FALSE(ModuleResident("libavutil.so.57"));
  loader.SetInstallLogBridge(false);
  ASSERT_TRUE(loader.LoadOneLibrary(flAVUtil));  // a fresh copy with the default callback
  ff::av_log_set_level(AV_LOG_QUIET);            // keep the default callback's output off stderr
  ff::av_log(nullptr, AV_LOG_PANIC, "third\n");
  EXPECT_EQ(lines.size(), 2u);
}

TEST(Loader, ProcessLoaderMasksFloatingPointTraps) {
  ::feenableexcept(FE_DIVBYZERO | FE_INVALID);
  FFLoader();
  EXPECT_EQ(::fegetexcept(), 0);
  EXPECT_EQ(std::fegetround(), FE_TONEAREST);
  std::lock_guard<std::recursive_mutex> outer(CodecLock());
  std::lock_guard<std::recursive_mutex> inner(CodecLock());  // re-entrant
}
