#include "UnicodeProtocol.h"

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "FFUtils.h"
#include "media/base/SafeOutput.h"
#include "media/base/StopReads.h"

namespace sw {

namespace {

// Converts text between character sets; false when any character does not convert.
bool Convert(const char* to, const char* from, const std::string& in, std::string& out) {
  iconv_t cd = ::iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.assign(in.size() * 4 + 16, '\0');
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  const bool ok = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1) && srcLeft == 0;
  ::iconv_close(cd);
  out.resize(out.size() - dstLeft);
  return ok;
}

struct TUnicodeFile {
  int Fd;
  bool Writing = false;
  TOutputTarget Output;  // writing: where the bytes go and where they end up
};

// Schemes that may reach the library as protocols, and only in their "scheme://" form:
// any other name with a colon is a local file.
const char* const AllowedProtocols[] = {"gopher", "http", "https", "rtp", "rtsp", "tcp", "udp"};

// A name whose leading letters end in ":" (pipe:2.mp3, concat:a|b) would be taken by the
// library as a protocol.
bool LooksLikeProtocol(const std::string& name) {
  const auto colon = name.find(':');
  return colon != std::string::npos && name.find('/') > colon;
}

int LibraryError() { return AVERROR(errno ? errno : EIO); }

// The interrupt callback of an input that has none of its own.
int InterruptStoppedRead(void*) { return AllReadsStopped() ? 1 : 0; }

}  // namespace

bool IsProtocolUrl(const std::string& name) {
  if (IsUnicodeUrl(name)) return true;
  const auto colon = name.find("://");
  if (colon == std::string::npos) return false;
  for (const char* scheme : AllowedProtocols)
    if (name.compare(0, colon, scheme) == 0) return true;
  return false;
}

bool NeedsUnicodeRoute(const std::string& fileName) {
  if (IsProtocolUrl(fileName)) return false;
  if (LooksLikeProtocol(fileName)) return true;
  // The name is bytes on disk: it goes to the library unchanged when it survives the
  // round trip through the locale's character set.
  const char* codeset = ::nl_langinfo(CODESET);
  std::string narrow, back;
  return !Convert(codeset, "UTF-8", fileName, narrow) || !Convert("UTF-8", codeset, narrow, back) ||
         back != fileName;
}

std::string MediaUrl(const std::string& fileName) {
  std::string url = NeedsUnicodeRoute(fileName) ? UnicodeUrlPrefix + fileName : fileName;
  if (url.size() >= MaxMediaUrl)
    throw EMediaUrlError("File name too long for the media library: " + std::to_string(url.size()) +
                         " bytes, at most " + std::to_string(MaxMediaUrl - 1));
  return url;
}

bool IsUnicodeUrl(const std::string& url) {
  return url.size() >= 14 && url.compare(0, 13, UnicodeUrlPrefix) == 0;
}

std::string UrlToFileName(const std::string& url) {
  std::string rest = url;
  for (int i = 0; i < 2; ++i) {
    const auto colon = rest.find(':');
    rest = colon == std::string::npos ? std::string() : rest.substr(colon + 1);
  }
  return rest;
}

std::string MediaUrlToFileName(const std::string& url) { return IsUnicodeUrl(url) ? UrlToFileName(url) : url; }

namespace {

void* OpenLocalFile(const std::string& name, int avioFlags, bool replace) {
  const bool writing = (avioFlags & AVIO_FLAG_WRITE) != 0;
  TOutputTarget output;
  const int fd = writing ? CreateOutputTarget(name, (avioFlags & AVIO_FLAG_READ) != 0, replace, output)
                         : ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    DiscardOutputTarget(output);
    errno = EISDIR;
    return nullptr;
  }
  return new TUnicodeFile{fd, writing, std::move(output)};
}

// Closes the file; a finished output is put in place, any other loses its temporary file.
int FinishLocalFile(void* file, bool keep) {
  auto* f = static_cast<TUnicodeFile*>(file);
  int result = 0;
  // The bytes are on the disk before the name points at them.
  if (keep && !f->Output.Temporary.empty() && ::fdatasync(f->Fd) != 0) result = LibraryError();
  if (::close(f->Fd) != 0 && result == 0) result = LibraryError();
  if (f->Writing) {
    if (keep && result == 0 && CommitOutputTarget(f->Output) != 0)
      result = errno == EEXIST ? ErrorTargetAppeared : LibraryError();
    if (!keep || result != 0) DiscardOutputTarget(f->Output);
  }
  delete f;
  return result;
}

}  // namespace

void* UnicodeOpen(const std::string& url, int avioFlags, bool replace) {
  return OpenLocalFile(UrlToFileName(url), avioFlags, replace);
}

namespace {
std::atomic<TReadCall> ReadCall{nullptr};
}  // namespace

void SetInputReadCall(TReadCall call) { ReadCall = call; }

int UnicodeRead(void* file, uint8_t* buffer, int size) {
  if (AllReadsStopped()) return AVERROR_EXIT;
  const TReadCall call = ReadCall.load();
  ssize_t n;
  do n = (call ? call : ::read)(static_cast<TUnicodeFile*>(file)->Fd, buffer, static_cast<size_t>(size));
  while (n < 0 && errno == EINTR);
  if (n < 0) return LibraryError();
  return n == 0 ? AVERROR_EOF : static_cast<int>(n);
}

// The library takes any answer that is not an error for the whole buffer.
int UnicodeWrite(void* file, uint8_t* buffer, int size) {
  return WriteAll(static_cast<TUnicodeFile*>(file)->Fd, buffer, static_cast<size_t>(size)) == 0 ? size
                                                                                                : LibraryError();
}

int64_t UnicodeSeek(void* file, int64_t position, int whence) {
  const int fd = static_cast<TUnicodeFile*>(file)->Fd;
  if (whence & AVSEEK_SIZE) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : LibraryError();
  }
  const off_t at = ::lseek(fd, static_cast<off_t>(position), whence & ~AVSEEK_FORCE);
  return at < 0 ? LibraryError() : static_cast<int64_t>(at);
}

int UnicodeClose(void* file) { return FinishLocalFile(file, false); }

namespace {

AVIOContext* OpenLocalIO(const std::string& name, int avioFlags, bool replace) {
  void* file = OpenLocalFile(name, avioFlags, replace);
  if (!file) return nullptr;
  constexpr int BufferSize = 64 * 1024;
  auto* buffer = static_cast<unsigned char*>(ff::av_malloc(BufferSize));
  const bool writing = (avioFlags & AVIO_FLAG_WRITE) != 0;
  AVIOContext* io = buffer ? ff::avio_alloc_context(buffer, BufferSize, writing ? 1 : 0, file, UnicodeRead,
                                                    writing ? UnicodeWrite : nullptr, UnicodeSeek)
                           : nullptr;
  if (!io) {
    ff::av_free(buffer);
    UnicodeClose(file);
    errno = ENOMEM;
  } else if (::lseek(static_cast<TUnicodeFile*>(file)->Fd, 0, SEEK_CUR) < 0) {
    io->seekable = 0;  // a pipe: muxers then write no headers that need to go back
  }
  return io;
}

// Flushes and closes the I/O context; keep puts a written file in place. 0 or the first
// error met.
int FinishUnicodeIO(AVIOContext* io, bool keep) {
  int result = 0;
  if (io->write_flag) {
    ff::avio_flush(io);
    result = io->error;
  }
  const int closed = FinishLocalFile(io->opaque, keep && result == 0);
  ff::av_freep(&io->buffer);
  ff::avio_context_free(&io);
  return result != 0 ? result : closed;
}

}  // namespace

AVIOContext* OpenUnicodeIO(const std::string& url, int avioFlags, bool replace) {
  return OpenLocalIO(UrlToFileName(url), avioFlags, replace);
}

bool IsUnicodeIO(const AVIOContext* io) { return io && io->seek == UnicodeSeek; }

void CloseUnicodeIO(AVIOContext* io) {
  if (io) FinishUnicodeIO(io, false);
}

namespace {

int OpenInputByRoute(AVFormatContext** context, const std::string& url, const AVInputFormat* format,
                     AVDictionary** options) {
  if (!IsUnicodeUrl(url)) return ff::avformat_open_input(context, url.c_str(), format, options);
  if (!*context && !(*context = ff::avformat_alloc_context())) return AVERROR(ENOMEM);
  AVIOContext* io = OpenUnicodeIO(url, AVIO_FLAG_READ);
  if (!io) {
    const int error = AVERROR(errno);
    ff::avformat_free_context(*context);
    *context = nullptr;
    return error;
  }
  (*context)->pb = io;
  (*context)->flags |= AVFMT_FLAG_CUSTOM_IO;
  const int result = ff::avformat_open_input(context, url.c_str(), format, options);
  if (result < 0) CloseUnicodeIO(io);  // the library freed the context, not our I/O
  return result;
}

}  // namespace

int OpenInputFormat(AVFormatContext** context, const std::string& url, const AVInputFormat* format,
                    AVDictionary** options) {
  // A device format opens its own kind of name; a local name is looked at first.
  const bool local = !(format && (format->flags & AVFMT_NOFILE)) && (IsUnicodeUrl(url) || !IsProtocolUrl(url));
  if (const int refused = local ? NotAFileError(NotAFile(MediaUrlToFileName(url), false)) : 0) {
    ff::avformat_free_context(*context);  // as a failed open does
    *context = nullptr;
    return refused;
  }
  // The library's own file reads ask the interrupt callback before each read.
  if (!*context && !(*context = ff::avformat_alloc_context())) return AVERROR(ENOMEM);
  if (!(*context)->interrupt_callback.callback) (*context)->interrupt_callback.callback = InterruptStoppedRead;
  const int result = OpenInputByRoute(context, url, format, options);
  // A file's probe runs out of memory when a damaged header declares a huge size.
  return result == AVERROR(ENOMEM) && local ? ErrorHugeHeader : result;
}

void CloseInputFormat(AVFormatContext** context) {
  if (!*context) return;
  AVIOContext* io = ((*context)->flags & AVFMT_FLAG_CUSTOM_IO) && IsUnicodeIO((*context)->pb) ? (*context)->pb : nullptr;
  ff::avformat_close_input(context);
  CloseUnicodeIO(io);
}

int OpenOutputIO(AVIOContext** io, const std::string& url, int avioFlags, bool replace) {
  if (IsProtocolUrl(url) && !IsUnicodeUrl(url)) return ff::avio_open(io, url.c_str(), avioFlags);
  const std::string name = MediaUrlToFileName(url);
  if (const int refused = NotAFileError(NotAFile(name, true))) return refused;
  *io = OpenLocalIO(name, avioFlags, replace);
  if (*io) return 0;
  return errno == EEXIST ? ErrorTargetExists : AVERROR(errno);
}

void CloseOutputIO(AVIOContext** io) {
  if (IsUnicodeIO(*io)) {
    CloseUnicodeIO(*io);
    *io = nullptr;
  } else if (*io) {
    ff::avio_closep(io);
  }
}

int CommitOutputIO(AVIOContext** io) {
  if (!*io) return 0;
  if (!IsUnicodeIO(*io)) return ff::avio_closep(io);
  const int result = FinishUnicodeIO(*io, true);
  *io = nullptr;
  return result;
}

}  // namespace sw
