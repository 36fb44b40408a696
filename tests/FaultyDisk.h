#pragma once
// A disk that takes a given number of bytes more and then fails every write with a given
// error, through the write call behind our own output I/O context; and one that gives a
// given number of bytes more and then fails every read, through our own file route.
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "media/base/SafeOutput.h"
#include "media/common/UnicodeProtocol.h"

class TFaultyDisk {
 public:
  // chunk > 0: at most that many bytes per write call (short writes).
  TFaultyDisk(std::size_t budget, std::size_t chunk, int failure) {
    Budget = budget;
    Chunk = chunk;
    Failure = failure;
    sw::SetOutputWriteCall(&Write);
  }
  ~TFaultyDisk() { sw::SetOutputWriteCall(nullptr); }
  TFaultyDisk(const TFaultyDisk&) = delete;
  TFaultyDisk& operator=(const TFaultyDisk&) = delete;

 private:
  static inline std::size_t Budget = 0, Chunk = 0;
  static inline int Failure = ENOSPC;
  static ssize_t Write(int fd, const void* data, std::size_t size) {
    if (Budget == 0) {
      errno = Failure;
      return -1;
    }
    size = std::min({size, Budget, Chunk ? Chunk : size});
    const ssize_t n = ::write(fd, data, size);
    if (n > 0) Budget -= static_cast<std::size_t>(n);
    return n;
  }
};

class TFaultyReads {
 public:
  explicit TFaultyReads(std::size_t budget) {
    Budget = budget;
    sw::SetInputReadCall(&Read);
  }
  ~TFaultyReads() { sw::SetInputReadCall(nullptr); }
  TFaultyReads(const TFaultyReads&) = delete;
  TFaultyReads& operator=(const TFaultyReads&) = delete;

 private:
  static inline std::size_t Budget = 0;
  static ssize_t Read(int fd, void* data, std::size_t size) {
    if (Budget == 0) {
      errno = EIO;
      return -1;
    }
    const ssize_t n = ::read(fd, data, std::min(size, Budget));
    if (n > 0) Budget -= static_cast<std::size_t>(n);
    return n;
  }
};
