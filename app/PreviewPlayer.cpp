#include "PreviewPlayer.h"

#include "media/player/FFPlay.h"

namespace sw {

void TPlayerDeleter::operator()(TFFPlayer* player) const { delete player; }

TPlayerPtr CreatePreviewPlayer() { return TPlayerPtr(new TFFPlayer); }

void StopWithoutWaiting(TFFPlayer& player) { player.Stop(false); }

}  // namespace sw
