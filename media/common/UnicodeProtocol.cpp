#include "UnicodeProtocol.h"

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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
};

int LibraryError() { return AVERROR(errno ? errno : EIO); }

}  // namespace

bool NeedsUnicodeRoute(const std::string& fileName) {
  const auto colon = fileName.find(':');
  if (colon != std::string::npos) {
    const std::string scheme = ":" + fileName.substr(0, colon) + ":";
    if (std::string(":unicode:stream:gopher:http:pipe:rtp:tcp:udp:").find(scheme) != std::string::npos)
      return false;
  }
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

void* UnicodeOpen(const std::string& url, int avioFlags) {
  int mode = O_RDONLY;
  if ((avioFlags & AVIO_FLAG_READ_WRITE) == AVIO_FLAG_READ_WRITE)
    mode = O_RDWR | O_CREAT | O_TRUNC;
  else if (avioFlags & AVIO_FLAG_WRITE)
    mode = O_WRONLY | O_CREAT | O_TRUNC;
  const int fd = ::open(UrlToFileName(url).c_str(), mode | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return nullptr;
  }
  return new TUnicodeFile{fd};
}

int UnicodeRead(void* file, uint8_t* buffer, int size) {
  ssize_t n;
  do n = ::read(static_cast<TUnicodeFile*>(file)->Fd, buffer, static_cast<size_t>(size));
  while (n < 0 && errno == EINTR);
  if (n < 0) return LibraryError();
  return n == 0 ? AVERROR_EOF : static_cast<int>(n);
}

int UnicodeWrite(void* file, uint8_t* buffer, int size) {
  ssize_t n;
  do n = ::write(static_cast<TUnicodeFile*>(file)->Fd, buffer, static_cast<size_t>(size));
  while (n < 0 && errno == EINTR);
  return n < 0 ? LibraryError() : static_cast<int>(n);
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

int UnicodeClose(void* file) {
  auto* f = static_cast<TUnicodeFile*>(file);
  const int result = ::close(f->Fd);
  delete f;
  return result;
}

AVIOContext* OpenUnicodeIO(const std::string& url, int avioFlags) {
  void* file = UnicodeOpen(url, avioFlags);
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
  }
  return io;
}

bool IsUnicodeIO(const AVIOContext* io) { return io && io->seek == UnicodeSeek; }

void CloseUnicodeIO(AVIOContext* io) {
  if (!io) return;
  if (io->write_flag) ff::avio_flush(io);
  UnicodeClose(io->opaque);
  ff::av_freep(&io->buffer);
  ff::avio_context_free(&io);
}

int OpenInputFormat(AVFormatContext** context, const std::string& url, const AVInputFormat* format,
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

void CloseInputFormat(AVFormatContext** context) {
  if (!*context) return;
  AVIOContext* io = ((*context)->flags & AVFMT_FLAG_CUSTOM_IO) && IsUnicodeIO((*context)->pb) ? (*context)->pb : nullptr;
  ff::avformat_close_input(context);
  CloseUnicodeIO(io);
}

int OpenOutputIO(AVIOContext** io, const std::string& url, int avioFlags) {
  if (!IsUnicodeUrl(url)) return ff::avio_open(io, url.c_str(), avioFlags);
  *io = OpenUnicodeIO(url, avioFlags);
  return *io ? 0 : AVERROR(errno);
}

void CloseOutputIO(AVIOContext** io) {
  if (IsUnicodeIO(*io)) {
    CloseUnicodeIO(*io);
    *io = nullptr;
  } else if (*io) {
    ff::avio_closep(io);
  }
}

}  // namespace sw
