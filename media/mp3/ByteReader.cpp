#include "ByteReader.h"

#include <algorithm>

#include "media/base/StopReads.h"

namespace sw::mp3 {

namespace {
constexpr std::size_t WindowSize = 256 * 1024;
}

TByteReader::~TByteReader() {
  if (FFile) std::fclose(FFile);
}

bool TByteReader::Open(const std::string& path) {
  FFile = std::fopen(path.c_str(), "rb");
  if (!FFile) return false;
  // Our own window does the buffering.
  std::setvbuf(FFile, nullptr, _IONBF, 0);
  if (std::fseek(FFile, 0, SEEK_END) != 0) return false;
  FSize = ftello(FFile);
  return FSize >= 0;
}

const uint8_t* TByteReader::Peek(int64_t offset, std::size_t count) {
  if (!FFile || offset < 0 || offset + static_cast<int64_t>(count) > FSize) return nullptr;
  if (offset >= FWindowStart && offset + static_cast<int64_t>(count) <= FWindowStart + static_cast<int64_t>(FWindowLength))
    return FWindow.data() + (offset - FWindowStart);
  // A process that is ending reads no more: a scan through a huge file stops here.
  if (AllReadsStopped()) {
    FReadError = true;
    return nullptr;
  }
  const std::size_t want = std::max(count, WindowSize);
  if (FWindow.size() < want) FWindow.resize(want);
  if (fseeko(FFile, offset, SEEK_SET) != 0) {
    FReadError = true;
    return nullptr;
  }
  const std::size_t got = std::fread(FWindow.data(), 1, want, FFile);
  FWindowStart = offset;
  FWindowLength = got;
  if (got < count) {
    FReadError = true;
    FWindowLength = 0;
    return nullptr;
  }
  return FWindow.data();
}

}  // namespace sw::mp3
