#pragma once
// The window's preview player, reached without the player's header: that header and the
// encoder's declare event types of the same names, so one file cannot include both.
#include <memory>

namespace sw {

class TFFPlayer;
struct TPlayerDeleter {
  void operator()(TFFPlayer* player) const;
};
using TPlayerPtr = std::unique_ptr<TFFPlayer, TPlayerDeleter>;

TPlayerPtr CreatePreviewPlayer();
// Stop (false): returns at once; the player closes on its own threads.
void StopWithoutWaiting(TFFPlayer& player);

}  // namespace sw
