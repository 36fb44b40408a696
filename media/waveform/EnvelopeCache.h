#pragma once
// Envelopes kept in the per-user cache folder, so a file opened again shows its overview
// at once. An entry holds the file's path, size and modification time; a file that
// changed in any of them misses.
#include <cstdint>
#include <string>

#include "Envelope.h"

namespace sw {

struct TEnvelopeKey {
  std::string Path;  // absolute
  int64_t Size = -1;
  int64_t ModifiedNs = 0;
  int Columns = 0;
};

// $XDG_CACHE_HOME/snipwave/waveforms, else ~/.cache/snipwave/waveforms; empty when
// neither is known.
std::string EnvelopeCacheFolder();

// False when the file cannot be examined.
bool EnvelopeKeyOf(const std::string& fileName, int columns, TEnvelopeKey& key);

// Only complete envelopes are stored; a store writes beside the entry and renames.
bool LoadEnvelope(const std::string& folder, const TEnvelopeKey& key, TEnvelope& envelope);
bool StoreEnvelope(const std::string& folder, const TEnvelopeKey& key, const TEnvelope& envelope);

}  // namespace sw
