#pragma once
// The library option block: generic codec, format and scaler option objects on which
// named options are tried and recorded, to be copied later onto the real contexts.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "FFHandles.h"

namespace sw {

using TOptionValue = std::pair<std::string, std::string>;  // name, value

class TLibraryOptionSet {
 public:
  explicit TLibraryOptionSet(int scalerFlags);  // one codec context per media type 0..4
  ~TLibraryOptionSet();
  TLibraryOptionSet(const TLibraryOptionSet&) = delete;
  TLibraryOptionSet& operator=(const TLibraryOptionSet&) = delete;

  AVCodecContext* CodecContext(int mediaType) const { return FCodec[mediaType].get(); }
  AVFormatContext* FormatContext() const { return FFormat.get(); }
  SwsContext* ScalerContext() const { return FScaler.get(); }
  const std::vector<std::string>& Names() const { return FNames; }

  // Tries the name on the codec contexts by media type, then the format and scaler
  // contexts, then without its a/v/s prefix on that type's codec context. False when no
  // object knows the name or one refused the value (that is logged). The value is
  // trimmed, the name is not: a name with a blank around it is nobody's. Once the video
  // codec or the format context has a debug setting, the log bridge's level becomes llDebug.
  bool SetLibraryOption(const std::string& name, const std::string& value);
  // Every recorded option whose flags contain all of flags, with its value in tmpl.
  std::vector<TOptionValue> LibraryOptionValues(void* tmpl, int flags) const;
  // Copies those values from tmpl to target.
  void ApplyLibraryOptions(void* target, void* tmpl, int flags) const;

 private:
  std::vector<std::string> FNames;
  TCodecContextPtr FCodec[5];
  TFormatContextPtr FFormat;
  TScalerPtr FScaler;
};

std::unique_ptr<TLibraryOptionSet> CreateOptionSet(int scalerFlags);

}  // namespace sw
