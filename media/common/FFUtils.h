#pragma once
// Shared formatting and library helper routines of the media components.
#include <cstdint>
#include <string>

#include "FFHandles.h"

namespace sw {

// The no-time value of the libraries.
inline constexpr int64_t NoTime = INT64_MIN;

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
