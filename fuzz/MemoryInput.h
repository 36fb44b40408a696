#pragma once
// An input format context over bytes in memory: the format library reads them through an
// I/O context of ours (read and seek callbacks over the buffer), never through a file.
#include <cstddef>
#include <cstdint>

#include "media/binding/AVFormatStubs.h"

namespace sw::fuzz {

class TMemoryInput {
 public:
  TMemoryInput(const uint8_t* data, size_t size);
  ~TMemoryInput();  // frees the I/O context; the format context must be closed before
  TMemoryInput(const TMemoryInput&) = delete;
  TMemoryInput& operator=(const TMemoryInput&) = delete;

  // Probes and opens the bytes; nullptr when the library refuses them. The caller closes
  // the context with avformat_close_input (which leaves our I/O context alone).
  AVFormatContext* Open();

 private:
  static int Read(void* opaque, uint8_t* buffer, int size);
  static int64_t Seek(void* opaque, int64_t offset, int whence);

  const uint8_t* FData;
  size_t FSize;
  size_t FPosition = 0;
  AVIOContext* FIO = nullptr;
};

}  // namespace sw::fuzz
