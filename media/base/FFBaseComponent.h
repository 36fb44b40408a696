#pragma once
// Common base of the media components (information reader, encoder, player, logger).
#include <stdexcept>
#include <string>

namespace sw {

// A component was used while a media library it needs is not loaded.
class ELibraryNotLoaded : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TFFBaseComponent {
 public:
  virtual ~TFFBaseComponent() = default;
  const std::string& About() const { return FAbout; }
  void SetAbout(const std::string& v) { FAbout = v; }

 protected:
  std::string FVersion;  // published by the player

 private:
  std::string FAbout;
};

}  // namespace sw
