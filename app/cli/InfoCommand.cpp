#include <cstdio>
#include <cstring>

#include "Commands.h"
#include "app/core/FileInfoText.h"
#include "media/binding/FFLog.h"
#include "media/base/MyUtils.h"
#include "media/info/FFDecode.h"

namespace sw::cli {

namespace {

const char* const LevelNames[] = {"quiet", "panic", "fatal", "error", "warning", "info", "verbose", "debug"};

}  // namespace

int InfoCommand(const TArgs& args) {
  std::string file, level;
  bool wellFormed = true;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--log" && i + 1 < args.size())
      level = args[++i];
    else if (file.empty())
      file = args[i];
    else
      wellFormed = false;
  }
  if (file.empty() || !wellFormed) {
    return UsageError("info");
  }
  TFFLogger logger;
  if (!level.empty()) {
    try {
      logger.SetLogLevelText(level);
    } catch (const std::exception&) {
      std::fprintf(stderr, "Invalid log level: %s\n", level.c_str());
      return 2;
    }
    logger.OnLog = [](void*, uint32_t, TLogLevel lvl, const std::string& msg) {
      std::fprintf(stderr, "[%s] %s\n", LevelNames[lvl], PrintableText(msg).c_str());
    };
  } else {
    logger.SetLogLevel(llQuiet);
  }
  TFFDecoder decoder;
  if (!decoder.LibrariesReady() && !decoder.LoadLibrariesFrom(ExecutableFolder())) {
    std::printf("Failed to load audio library, error message: %s\n", decoder.ErrorText().c_str());
    return 1;
  }
  if (!decoder.OpenMediaFile(file, "")) {
    std::printf("Failed to load file, error message: %s\n", PrintableText(decoder.ErrorText()).c_str());
    return 1;
  }
  for (const std::string& line : FileInfoLines(ReadFileFacts(decoder, file))) std::printf("%s\n", line.c_str());
  return 0;
}

}  // namespace sw::cli
