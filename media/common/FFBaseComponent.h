#pragma once
// Common base of the media components (information reader, encoder, player, logger).
#include <string>

namespace sw {

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
