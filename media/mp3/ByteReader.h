#pragma once
// Reads a file through a small window that moves forward with the caller, so that
// scanning or copying an hour of audio keeps only that window in memory.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace sw::mp3 {

class TByteReader {
 public:
  TByteReader() = default;
  ~TByteReader();
  TByteReader(const TByteReader&) = delete;
  TByteReader& operator=(const TByteReader&) = delete;

  bool Open(const std::string& path);
  int64_t Size() const { return FSize; }
  // Pointer to count bytes at offset, valid until the next call; null past the end of
  // the file or on a read error.
  const uint8_t* Peek(int64_t offset, std::size_t count);
  bool ReadError() const { return FReadError; }

 private:
  std::FILE* FFile = nullptr;
  int64_t FSize = 0;
  std::vector<uint8_t> FWindow;
  int64_t FWindowStart = 0;
  std::size_t FWindowLength = 0;
  bool FReadError = false;
};

}  // namespace sw::mp3
