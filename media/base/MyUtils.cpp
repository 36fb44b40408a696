#include "MyUtils.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "LeakCheckPause.h"

namespace sw {

std::string WideIncludeTrailingBackslash(const std::string& path) {
  if (!path.empty() && path.back() == PathDelim) return path;
  return path + PathDelim;
}

std::size_t WideLastDelimiter(const std::string& delimiters, const std::string& text) {
  const auto pos = text.find_last_of(delimiters);
  return pos == std::string::npos ? 0 : pos + 1;
}

std::string WideExtractFilePath(const std::string& name) {
  return name.substr(0, WideLastDelimiter("/", name));
}

std::string WideExtractFileName(const std::string& name) {
  return name.substr(WideLastDelimiter("/", name));
}

std::string WideExtractFileExt(const std::string& name) {
  const std::string file = WideExtractFileName(name);
  const auto dot = file.find_last_of('.');
  return dot == std::string::npos ? std::string() : file.substr(dot);
}

bool WideFileExists(const std::string& name) {
  struct stat st {};
  return !name.empty() && ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool WideDirectoryExists(const std::string& name) {
  struct stat st {};
  return !name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string WideGetCurrentDir() {
  std::error_code ec;
  auto p = std::filesystem::current_path(ec);
  return ec ? std::string() : p.string();
}

bool WideSetCurrentDir(const std::string& dir) { return ::chdir(dir.c_str()) == 0; }

std::string WideGetEnv(const std::string& name) {
  const char* v = std::getenv(name.c_str());
  return v ? std::string(v) : std::string();
}

std::string WideExpandFileName(const std::string& name) {
  std::error_code ec;
  auto p = std::filesystem::absolute(name, ec);
  return ec ? name : p.lexically_normal().string();
}

int64_t WideFileSize(const std::string& name) {
  struct stat st {};
  if (!WideFileExists(name) || ::stat(name.c_str(), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

std::string ExecutableFolder() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : WideExtractFilePath(exe.string());
}

int WideFindFirst(const std::string& pattern, bool includeDirectories, TWideFindRecord& rec) {
  WideFindClose(rec);
  rec.Folder = WideExtractFilePath(pattern);
  rec.Pattern = WideExtractFileName(pattern);
  rec.IncludeDirectories = includeDirectories;
  DIR* d = ::opendir(rec.Folder.empty() ? "." : rec.Folder.c_str());
  if (!d) return errno;
  rec.Handle = d;
  return WideFindNext(rec);
}

int WideFindNext(TWideFindRecord& rec) {
  auto* d = static_cast<DIR*>(rec.Handle);
  if (!d) return EBADF;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (::fnmatch(rec.Pattern.c_str(), name.c_str(), FNM_PERIOD) != 0) continue;
    struct stat st {};
    if (::stat((rec.Folder + name).c_str(), &st) != 0) continue;
    const bool dir = S_ISDIR(st.st_mode);
    if (dir && !rec.IncludeDirectories) continue;
    rec.Name = name;
    rec.Directory = dir;
    rec.Size = dir ? 0 : static_cast<int64_t>(st.st_size);
    rec.Time = st.st_mtime;
    return 0;
  }
  WideFindClose(rec);
  return ENOENT;
}

void WideFindClose(TWideFindRecord& rec) {
  if (rec.Handle) ::closedir(static_cast<DIR*>(rec.Handle));
  rec.Handle = nullptr;
}

std::string SplitText(std::string& text, const std::string& separator, bool remove) {
  const auto pos = separator.empty() ? std::string::npos : text.find(separator);
  if (pos == std::string::npos) {
    std::string head = text;
    if (remove) text.clear();
    return head;
  }
  std::string head = text.substr(0, pos);
  if (remove) text.erase(0, pos + separator.size());
  return head;
}

void* LoadLibraryFromFolder(const std::string& folder, const std::string& fileName,
                            std::string& error) {
  const auto open = [](const std::string& name) {
    const TLeakCheckPause pause;
    return ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  };
  void* handle = nullptr;
  const std::string full = folder.empty() ? fileName : WideIncludeTrailingBackslash(folder) + fileName;
  if (folder.empty() || !WideFileExists(full)) {
    handle = open(fileName);
  } else {
    const std::string dir = WideIncludeTrailingBackslash(folder);
    const std::string saved = WideGetCurrentDir();
    WideSetCurrentDir(dir);
    // Only child processes see this: the dynamic linker read its search path at start-up.
    const std::string path = WideGetEnv("LD_LIBRARY_PATH");
    const std::string bare = dir.size() > 1 ? dir.substr(0, dir.size() - 1) : dir;
    bool listed = false;
    for (std::string rest = path; !rest.empty() && !listed;) {
      const std::string item = SplitText(rest, ":", true);
      listed = item == dir || item == bare;
    }
    if (!listed) ::setenv("LD_LIBRARY_PATH", path.empty() ? bare.c_str() : (bare + ":" + path).c_str(), 1);
    handle = open(full);
    if (!saved.empty()) WideSetCurrentDir(saved);
  }
  if (!handle) {
    const char* e = ::dlerror();
    error = e ? e : "unknown error";
  }
  return handle;
}

}  // namespace sw
