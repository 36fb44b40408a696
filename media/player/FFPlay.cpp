#include "FFPlay.h"

#include <algorithm>

#include "media/binding/FFLoad.h"
#include "media/binding/FFLog.h"

namespace sw {

struct PlayContext {};
class TPlayerEvents {};
class TEventThread {};

TCustomPlayer::TCustomPlayer() : FLastReportedPosition(INT64_MIN) { FVersion = "2.6a"; }

TCustomPlayer::~TCustomPlayer() {
  OnPosition = nullptr;
  OnState = nullptr;
  OnAudioHook = nullptr;
  OnVideoHook = nullptr;
  Stop(true);
}

bool TCustomPlayer::LibrariesReady() const { return FFLoader().LibrarySetLoaded(PlayerLibraries); }

bool TCustomPlayer::LoadLibrariesFrom(const std::string& folder) {
  FFLoader().SetLibraryFolder(folder);
  const bool loaded = FFLoader().LoadLibrarySet(PlayerLibraries);
  if (!loaded) FErrorText = FFLoader().GetLastErrorText();
  return loaded;
}

void TCustomPlayer::ReportError(const std::string& text, bool keep) {
  GetLogger().Log(this, llError, text);
  if (keep) FErrorText = text;
}

bool TCustomPlayer::OpenMedia(const std::string&, TWindowHandle, bool) {
  if (!LibrariesReady()) {
    ReportError("libav or libsdl not loaded.", true);
    return false;
  }
  ReportError("playback is not available in this build yet", true);
  return false;
}

void TCustomPlayer::Stop(bool) {}
void TCustomPlayer::Pause() {}
void TCustomPlayer::Resume() {}
void TCustomPlayer::Seek(uint8_t, bool, int64_t) {}

void TCustomPlayer::SetAudioVolume(TAudioVolume v) { FAudioVolume.store(std::clamp(v, 0, 255)); }
int64_t TCustomPlayer::Duration() const { return -1; }
bool TCustomPlayer::Playing() const { return false; }
bool TCustomPlayer::Paused() const { return false; }
void TCustomPlayer::StoreAspectRatio(float v) { FAspectRatio = v; }

}  // namespace sw
