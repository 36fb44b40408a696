#include "FFUtils.h"

#include <cstdio>
#include <cstring>

#include "media/base/SafeOutput.h"
#include "media/binding/CRTStubs.h"

namespace sw {

std::string FormatFileSize(int64_t bytes) {
  char text[64];
  if (bytes > (int64_t{1} << 30))
    std::snprintf(text, sizeof text, "%.2f GB", bytes / 1073741824.0);
  else if (bytes > (int64_t{1} << 20))
    std::snprintf(text, sizeof text, "%.2f MB", bytes / 1048576.0);
  else if (bytes > 1024)
    std::snprintf(text, sizeof text, "%.2f KB", bytes / 1024.0);
  else
    std::snprintf(text, sizeof text, "%d Byte", static_cast<int>(bytes));
  return text;
}

std::string FormatTimestamp(int64_t microseconds) {
  if (microseconds == NoTime) return "N/A";
  const int64_t seconds = microseconds / 1000000;
  const int64_t millis = (microseconds % 1000000) * 1000 / 1000000;
  char text[64];
  std::snprintf(text, sizeof text, "%.2lld:%.2lld:%.2lld.%.3lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>((seconds / 60) % 60), static_cast<long long>(seconds % 60),
                static_cast<long long>(millis));
  return text;
}

namespace {

// The library's words for the codes it names; nullptr for the others.
const char* ErrorWords(int code) {
  for (const TNotAFile kind : {nfNamedPipe, nfDevice, nfSocket})
    if (code == NotAFileError(kind)) return NotAFileWords(kind);
  switch (code) {
    case AVERROR_PATCHWELCOME: return "Not yet implemented in FFmpeg";
    case -10043:
    case AVERROR_PROTOCOL_NOT_FOUND: return "Unsupported network protocol";
    case -42:
    case AVERROR_DEMUXER_NOT_FOUND: return "Unknown format";
    case -33: return "Number syntax expected in filename";
    case -32:
    case AVERROR_EOF: return "End of file";
    case -22:
    case AVERROR_INVALIDDATA: return "Invalid data found when processing input";
    case -12: return "Not enough memory";
    case -5: return "I/O error";
    case -2: return "No such file or directory";
    case ErrorTargetExists: return TargetExistsWords;
    case ErrorTargetAppeared: return TargetAppearedWords;
    case ErrorHugeHeader: return "Damaged or not a media file: a header in it declares a size no file of this kind has";
  }
  return nullptr;
}

}  // namespace

std::string LibraryErrorText(const std::string& fileName, int code) {
  if (const char* words = ErrorWords(code)) return fileName + ": " + words;
  char text[64];
  std::snprintf(text, sizeof text, "Error number %d occurred", code);
  return fileName + ": " + text;
}

std::string SystemErrorText(const std::string& fileName, int code) {
  if (ErrorWords(code) || code >= 0 || code < -4095) return LibraryErrorText(fileName, code);
  return fileName + ": " + std::strerror(-code);
}

std::string MediaTypeName(int type) {
  static const char* const names[] = {"Video", "Audio", "Data", "Subtitle", "Attachment"};
  return type >= 0 && type < 5 ? names[type] : "Unknown";
}

std::string MetadataValue(const AVDictionary* metadata, const char* key, const std::string& def) {
  const AVDictionaryEntry* e = ff::av_dict_get(metadata, key, nullptr, 0);
  return e && e->value ? std::string(e->value) : def;
}

int ReadWholeFile(const std::string& name, TLibraryBuffer<char>& buffer, int64_t& size) {
  std::unique_ptr<FILE, int (*)(FILE*)> f(ff::fopen(name.c_str(), "rb"), ff::fclose);
  if (!f) return -1;
  ff::fseek(f.get(), 0, SEEK_END);
  const long length = ff::ftell(f.get());
  ff::fseek(f.get(), 0, SEEK_SET);
  if (length < 0) return -1;
  buffer.reset(static_cast<char*>(ff::av_malloc(static_cast<size_t>(length) + 1)));
  if (!buffer) return -12;
  const size_t got = ff::fread(buffer.get(), 1, static_cast<size_t>(length), f.get());
  buffer.get()[got] = '\0';
  size = static_cast<int64_t>(got) + 1;
  return 0;
}

}  // namespace sw
