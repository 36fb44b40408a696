#pragma once
// Path, file, environment and text routines. File names are UTF-8 text and "/" is the
// only path delimiter on this platform.
#include <cstdint>
#include <ctime>
#include <string>

namespace sw {

inline constexpr char PathDelim = '/';

std::string WideIncludeTrailingBackslash(const std::string& path);
// Position (1-based) of the last character of text found in delimiters; 0 when none.
std::size_t WideLastDelimiter(const std::string& delimiters, const std::string& text);
std::string WideExtractFilePath(const std::string& name);   // up to and including the last "/"
std::string WideExtractFileName(const std::string& name);   // after the last "/"
std::string WideExtractFileExt(const std::string& name);    // ".mp3", or empty
bool WideFileExists(const std::string& name);               // a file, not a folder
bool WideDirectoryExists(const std::string& name);
std::string WideGetCurrentDir();
bool WideSetCurrentDir(const std::string& dir);
std::string WideGetEnv(const std::string& name);            // empty when absent
std::string WideExpandFileName(const std::string& name);    // absolute, "." and ".." folded
int64_t WideFileSize(const std::string& name);              // -1 unless a file
// Folder of the running program, with its trailing "/".
std::string ExecutableFolder();

// Search for the entries of one folder that match a shell pattern ("*.mp3").
struct TWideFindRecord {
  std::time_t Time = 0;
  int64_t Size = 0;
  bool Directory = false;
  std::string Name;
  // private search state
  std::string Folder, Pattern;
  bool IncludeDirectories = false;
  void* Handle = nullptr;
};
// 0 on success, else an errno value (the search is then closed).
int WideFindFirst(const std::string& pattern, bool includeDirectories, TWideFindRecord& rec);
int WideFindNext(TWideFindRecord& rec);
void WideFindClose(TWideFindRecord& rec);

// Head of text before the first separator; with remove, text keeps only what follows it.
// Without the separator the head is the whole text (and text becomes empty with remove).
std::string SplitText(std::string& text, const std::string& separator, bool remove);

// The folder search of the library loader: with a folder that holds the file, the folder
// goes in front of LD_LIBRARY_PATH, becomes the current directory for the load and the
// full path is opened; otherwise the bare name goes through the normal search.
// On failure returns nullptr and the loader's message in error.
void* LoadLibraryFromFolder(const std::string& folder, const std::string& fileName,
                            std::string& error);

}  // namespace sw
