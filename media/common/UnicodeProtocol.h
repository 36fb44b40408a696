#pragma once
// File names that do not survive the locale's character set, or that the library would
// take for a protocol, reach the format library as "unicode:utf8:" URLs; such a URL is
// opened by us, through an I/O context whose callbacks read and write the file by its
// real name. Every local output is written through that I/O context as well.
#include <sys/types.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "media/binding/AVFormatStubs.h"
#include "media/binding/AVUtilStubs.h"

namespace sw {

inline constexpr const char* UnicodeUrlPrefix = "unicode:utf8:";
inline constexpr std::size_t MaxMediaUrl = 2048;  // the URL must stay below this

class EMediaUrlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An explicit protocol URL of the allowed list ("http://...") or a "unicode:utf8:" URL.
bool IsProtocolUrl(const std::string& name);
bool NeedsUnicodeRoute(const std::string& fileName);
// The name to give the format library; raises EMediaUrlError for a URL of MaxMediaUrl
// bytes or more.
std::string MediaUrl(const std::string& fileName);
bool IsUnicodeUrl(const std::string& url);
std::string UrlToFileName(const std::string& url);
std::string MediaUrlToFileName(const std::string& url);

// The protocol's callbacks. Open answers a file object or nullptr (errno set); read,
// write and seek answer library error codes on failure and AVERROR_EOF at end of file.
// Write writes all or fails. A file opened for writing goes to a temporary file beside
// its target, and close removes that: only CommitOutputIO puts it in place, replacing a
// file of that name only when replace was given at the open.
void* UnicodeOpen(const std::string& url, int avioFlags, bool replace = false);
int UnicodeRead(void* file, uint8_t* buffer, int size);
// The system call behind UnicodeRead; tests put in one that fails part way (nullptr: read).
using TReadCall = ssize_t (*)(int fd, void* data, std::size_t size);
void SetInputReadCall(TReadCall call);
int UnicodeWrite(void* file, uint8_t* buffer, int size);
int64_t UnicodeSeek(void* file, int64_t position, int whence);  // AVSEEK_SIZE: the size
int UnicodeClose(void* file);

// An I/O context over the protocol (nullptr when the file cannot be opened), and its release.
AVIOContext* OpenUnicodeIO(const std::string& url, int avioFlags, bool replace = false);
bool IsUnicodeIO(const AVIOContext* io);
void CloseUnicodeIO(AVIOContext* io);

// Open and close an input format context for any media URL; a "unicode:utf8:" URL gets
// its I/O context from the protocol. Open answers 0 or a library error code; a local
// name that is a pipe, a device or a socket is refused (NotAFileError) without an open.
int OpenInputFormat(AVFormatContext** context, const std::string& url, const AVInputFormat* format,
                    AVDictionary** options);
void CloseInputFormat(AVFormatContext** context);
// Open and close the I/O context of an output file. Anything but an allowed protocol is
// a local file. Close without commit keeps nothing of a local output; commit flushes,
// closes and puts the file in place, answering 0 or the first library error met.
// Without replace, a local output never takes the place of a file: one there at the
// open answers ErrorTargetExists, one that appears before the commit ErrorTargetAppeared.
// A pipe, a block device or a socket is refused (NotAFileError) without an open.
int OpenOutputIO(AVIOContext** io, const std::string& url, int avioFlags, bool replace);
void CloseOutputIO(AVIOContext** io);
int CommitOutputIO(AVIOContext** io);

}  // namespace sw
