#include <gtest/gtest.h>

#include "../../LoadedLibraries.h"
#include "media/binding/FFLog.h"
#include "media/common/OptionSet.h"

using namespace sw;

TEST_F(WithLibraries, OptionsAreTriedByMediaTypeAndRecorded) {
  auto set = CreateOptionSet(SWS_BICUBIC);
  EXPECT_TRUE(set->SetLibraryOption("b", " 96000 "));  // blanks around the value are trimmed
  EXPECT_EQ(set->CodecContext(AVMEDIA_TYPE_VIDEO)->bit_rate, 96000);
  EXPECT_EQ(set->CodecContext(AVMEDIA_TYPE_AUDIO)->bit_rate, 96000);
  // An audio-only option does not reach the video context.
  EXPECT_TRUE(set->SetLibraryOption("ar", "22050"));
  EXPECT_EQ(set->CodecContext(AVMEDIA_TYPE_AUDIO)->sample_rate, 22050);
  EXPECT_EQ(set->CodecContext(AVMEDIA_TYPE_VIDEO)->sample_rate, 0);
  // Format and scaler contexts come next.
  EXPECT_TRUE(set->SetLibraryOption("probesize", "5000"));
  EXPECT_EQ(set->FormatContext()->probesize, 5000);
  EXPECT_EQ(set->Names(), (std::vector<std::string>{"b", "ar", "probesize"}));
}

TEST_F(WithLibraries, PrefixedNameFallsBackToItsMediaType) {
  auto set = CreateOptionSet(SWS_BICUBIC);
  EXPECT_TRUE(set->SetLibraryOption("vg", "30"));  // "g" on the video context
  EXPECT_EQ(set->CodecContext(AVMEDIA_TYPE_VIDEO)->gop_size, 30);
  EXPECT_NE(set->CodecContext(AVMEDIA_TYPE_AUDIO)->gop_size, 30);
}

TEST_F(WithLibraries, UnknownEmptyAndRefusedOptionsAreNotRecorded) {
  auto set = CreateOptionSet(SWS_BICUBIC);
  EXPECT_FALSE(set->SetLibraryOption("surely_no_such_option", "1"));
  EXPECT_FALSE(set->SetLibraryOption("b", "  "));
  EXPECT_FALSE(set->SetLibraryOption("", "1"));
  EXPECT_FALSE(set->SetLibraryOption("b", "not-a-number"));
  // A name with a blank around it (a line "ab = 1") is no option's name.
  EXPECT_FALSE(set->SetLibraryOption("b ", "64000"));
  EXPECT_FALSE(set->SetLibraryOption(" b", "64000"));
  EXPECT_EQ(set->CodecContext(AVMEDIA_TYPE_AUDIO)->bit_rate, CreateOptionSet(SWS_BICUBIC)->CodecContext(AVMEDIA_TYPE_AUDIO)->bit_rate);
  EXPECT_TRUE(set->Names().empty());
}

TEST_F(WithLibraries, ApplyCopiesOnlyOptionsWithTheWantedFlags) {
  auto set = CreateOptionSet(SWS_BICUBIC);
  ASSERT_TRUE(set->SetLibraryOption("b", "128000"));
  ASSERT_TRUE(set->SetLibraryOption("g", "25"));  // a video-only option
  TCodecContextPtr audio(ff::avcodec_alloc_context3(nullptr));
  set->ApplyLibraryOptions(audio.get(), set->CodecContext(AVMEDIA_TYPE_AUDIO),
                           AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
  EXPECT_EQ(audio->bit_rate, 128000);
  EXPECT_NE(audio->gop_size, 25);
}

TEST_F(WithLibraries, DebugSettingsRaiseTheLogBridgeToDebug) {
  TFFLogger logger;
  struct TCase {
    const char* Name;
    const char* Value;
    TLogLevel Expected;
  };
  const TCase cases[] = {
      {"b", "64000", llInfo},       // no debug setting: the level stays
      {"debug", "0", llInfo},       // a debug setting of nothing stays too
      {"debug", "mb_type", llDebug},  // on the video codec context
      {"fdebug", "ts", llDebug},      // on the format context
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name + std::string("=") + c.Value);
    logger.SetLogLevel(llInfo);
    auto set = CreateOptionSet(SWS_BICUBIC);
    ASSERT_TRUE(set->SetLibraryOption(c.Name, c.Value));
    EXPECT_EQ(logger.LogLevel(), c.Expected);
    EXPECT_EQ(ff::av_log_get_level(), c.Expected == llDebug ? AV_LOG_DEBUG : AV_LOG_INFO);
  }
}
