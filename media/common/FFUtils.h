#pragma once
// Shared formatting and library helper routines of the media components.
#include <cstdint>
#include <string>

#include "FFHandles.h"
#include "media/base/FileKind.h"

namespace sw {

// The no-time value of the libraries.
inline constexpr int64_t NoTime = INT64_MIN;

// Error codes of our own, in the libraries' form, told in words by LibraryErrorText: an
// output that may not replace the file at its name, found at the start or at the commit.
inline constexpr int ErrorTargetExists = FFERRTAG('S', 'W', 'T', 'E');
inline constexpr int ErrorTargetAppeared = FFERRTAG('S', 'W', 'T', 'A');
// A file whose open ran out of memory: a damaged header that declares a huge size.
inline constexpr int ErrorHugeHeader = FFERRTAG('S', 'W', 'H', 'H');
// A name that NotAFile refuses (a pipe, a device, a socket); 0 for nfNone.
constexpr int NotAFileError(TNotAFile kind) { return kind == nfNone ? 0 : FFERRTAG('S', 'W', 'N', '0' + kind); }

// "%.2f GB" / "%.2f MB" / "%.2f KB" above each power of 1024, else "%d Byte".
std::string FormatFileSize(int64_t bytes);
// "HH:MM:SS.mmm" (hours not limited to two digits); "N/A" for NoTime.
std::string FormatTimestamp(int64_t microseconds);
// file name, ": " and the words for a library error code.
std::string LibraryErrorText(const std::string& fileName, int code);
// LibraryErrorText, except that a system error code the table does not name gets the
// system's own words ("No space left on device", "Permission denied") instead of its number.
std::string SystemErrorText(const std::string& fileName, int code);
// "Video", "Audio", "Data", "Subtitle", "Attachment" or "Unknown".
std::string MediaTypeName(int type);
// Value of the first entry named key, else the default.
std::string MetadataValue(const AVDictionary* metadata, const char* key, const std::string& def);

// Reads a whole file into a library buffer with a NUL appended; size counts the NUL.
// 0 on success, -1 when the file cannot be opened, -12 when memory runs out.
int ReadWholeFile(const std::string& name, TLibraryBuffer<char>& buffer, int64_t& size);

}  // namespace sw
