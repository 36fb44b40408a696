#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "Commands.h"
#include "StopSignals.h"
#include "TimeArgument.h"
#include "VolumeArgument.h"
#include "app/core/VolumeScales.h"
#include "media/base/MainThread.h"
#include "media/base/MyUtils.h"
#include "media/binding/FFLog.h"
#include "media/common/FFUtils.h"
#include "media/player/FFPlay.h"

namespace sw::cli {

namespace {

void DrawClock(int64_t position, int64_t duration) {
  const std::string now = FormatTimestamp(position);
  if (duration > 0)
    std::fprintf(stderr, "\r%s / %s", now.c_str(), FormatTimestamp(duration).c_str());
  else
    std::fprintf(stderr, "\r%s", now.c_str());
  std::fflush(stderr);
}

}  // namespace

int PlayCommand(const TArgs& args) {
  std::string file;
  int64_t start = 0, end = -1;
  int volume = PlayerUnityVolume;  // without --volume the sound plays as recorded
  bool mute = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if ((a == "--start" || a == "--end") && hasValue) {
      if (!ParseTimeArgument(args[++i], a == "--start" ? start : end)) return ValueError("play", a, args[i], TimeExpected);
    } else if (a == "--volume" && hasValue) {
      int slider = 0;
      if (!ParseVolumeArgument(args[++i], slider)) return ValueError("play", a, args[i], VolumeExpected);
      volume = PreviewVolume(slider);
    } else if (a == "--mute") {
      mute = true;
    } else if (file.empty() && a.rfind("--", 0) != 0) {
      file = a;
    } else {
      return UsageError("play");
    }
  }
  if (file.empty() || (end >= 0 && end <= start)) return UsageError("play");

  SetMainThread();
  TFFLogger logger;
  logger.SetLogLevel(llQuiet);
  TFFPlayer player;
  if (!player.LibrariesReady() && !player.LoadLibrariesFrom(ExecutableFolder())) {
    std::fprintf(stderr, "Failed to load audio library, error message: %s\n", player.ErrorText().c_str());
    return 1;
  }
  // A command-line tool shows a clock, not a picture.
  player.SetDisableDisplay(true);
  player.SetAudioVolume(volume);
  player.SetMute(mute);

  // Every handler runs on this thread, from the loop below.
  bool reachedEnd = false, stopped = false;
  int64_t duration = -1;
  player.OnPosition = [&](TCustomPlayer* p, int64_t pts) {
    DrawClock(pts, duration);
    // As the preview does at the segment end.
    if (end >= 0 && pts >= end && !reachedEnd) {
      reachedEnd = true;
      p->Stop(false);
    }
  };
  player.OnState = [&](TCustomPlayer* p, TPlayState state) {
    if (state == psEnd && !reachedEnd) {
      reachedEnd = true;
      p->Stop(false);
    }
    if (state == psStop) stopped = true;
  };
  CatchStopSignals();
  if (!player.OpenMedia(file, 0, true)) {
    if (StopSignal() != 0) {  // the stop ended the reading
      std::fputs("Stopped.\n", stderr);
      return 128 + StopSignal();
    }
    std::fprintf(stderr, "%s\n", player.ErrorText().c_str());
    return 1;
  }
  duration = player.Duration();
  // As the cut does: a start past the end is refused, not played as nothing.
  if (duration > 0 && start >= duration) {
    player.Stop(true);
    std::fprintf(stderr, "The start must lie within the file's %lld seconds.\n",
                 static_cast<long long>(duration / 1000000));
    return 1;
  }
  player.Seek(0, false, start);
  player.Resume();

  bool stopping = false;
  while (!stopped) {
    WaitForPendingMessages(std::chrono::milliseconds(50));
    if (StopRequested() && !stopping) {
      stopping = true;
      player.Stop(false);
    }
  }
  player.Stop(true);
  std::fputs("\n", stderr);
  if (reachedEnd) return 0;
  // Stopped from outside, as a shell reports a program that a signal ended.
  if (StopSignal() != 0) {
    std::fputs("Stopped.\n", stderr);
    return 128 + StopSignal();
  }
  if (!player.ErrorText().empty()) std::fprintf(stderr, "%s\n", player.ErrorText().c_str());
  else std::fputs("Stopped before the end.\n", stderr);
  return 1;
}

}  // namespace sw::cli
