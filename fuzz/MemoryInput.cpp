#include "MemoryInput.h"

#include <algorithm>
#include <cstring>

#include "media/binding/AVUtilStubs.h"

namespace sw::fuzz {

namespace {
constexpr int BufferSize = 4096;  // small, so reads cross buffer ends often
}

TMemoryInput::TMemoryInput(const uint8_t* data, size_t size) : FData(data), FSize(size) {
  auto* buffer = static_cast<unsigned char*>(ff::av_malloc(BufferSize));
  if (buffer) FIO = ff::avio_alloc_context(buffer, BufferSize, 0, this, Read, nullptr, Seek);
  if (!FIO) ff::av_free(buffer);
}

TMemoryInput::~TMemoryInput() {
  if (!FIO) return;
  ff::av_freep(&FIO->buffer);  // the library may have replaced the buffer it was given
  ff::avio_context_free(&FIO);
}

AVFormatContext* TMemoryInput::Open() {
  if (!FIO) return nullptr;
  AVFormatContext* context = ff::avformat_alloc_context();
  if (!context) return nullptr;
  context->pb = FIO;
  context->flags |= AVFMT_FLAG_CUSTOM_IO;
  // The open frees the context when it fails.
  if (ff::avformat_open_input(&context, "", nullptr, nullptr) < 0) return nullptr;
  return context;
}

int TMemoryInput::Read(void* opaque, uint8_t* buffer, int size) {
  auto* self = static_cast<TMemoryInput*>(opaque);
  const size_t left = self->FSize - self->FPosition;
  if (left == 0) return AVERROR_EOF;
  const size_t n = std::min(left, static_cast<size_t>(size));
  std::memcpy(buffer, self->FData + self->FPosition, n);
  self->FPosition += n;
  return static_cast<int>(n);
}

int64_t TMemoryInput::Seek(void* opaque, int64_t offset, int whence) {
  auto* self = static_cast<TMemoryInput*>(opaque);
  if (whence & AVSEEK_SIZE) return static_cast<int64_t>(self->FSize);
  int64_t base = 0;
  switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = static_cast<int64_t>(self->FPosition); break;
    case SEEK_END: base = static_cast<int64_t>(self->FSize); break;
    default: return AVERROR(EINVAL);
  }
  // Checked before adding: a wild offset must not overflow.
  if (offset < -base || offset > static_cast<int64_t>(self->FSize) - base) return AVERROR(EINVAL);
  self->FPosition = static_cast<size_t>(base + offset);
  return static_cast<int64_t>(self->FPosition);
}

}  // namespace sw::fuzz
