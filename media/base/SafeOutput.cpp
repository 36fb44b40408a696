#include "SafeOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <random>

#include "TemporaryFiles.h"

namespace sw {

namespace {

std::atomic<TWriteCall> WriteCall{nullptr};

// Six characters that make the temporary name unlikely to be taken already.
std::string RandomPart() {
  static const char Letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937 generator{std::random_device{}() ^ static_cast<unsigned>(::getpid())};
  std::string part(6, 'a');
  for (char& c : part) c = Letters[generator() % (sizeof Letters - 1)];
  return part;
}

}  // namespace

int CreateOutputTarget(const std::string& target, bool readable, bool replace, TOutputTarget& where) {
  where = TOutputTarget{target, {}, replace};
  const auto slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  if (name.empty()) {
    errno = EISDIR;
    return -1;
  }
  // Checked here: the temporary name is shortened and would not notice.
  if (name.size() > NAME_MAX) {
    errno = ENAMETOOLONG;
    return -1;
  }
  const int access = (readable ? O_RDWR : O_WRONLY) | O_CLOEXEC;
  mode_t mode = 0666;
  struct stat st {};
  if (::lstat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      errno = EISDIR;
      return -1;
    }
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
      // A pipe without a reader fails at once (ENXIO) instead of blocking.
      const int fd = ::open(target.c_str(), access | O_NONBLOCK);
      if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      return fd;
    }
    if (!replace) {
      errno = EEXIST;
      return -1;
    }
    // A replaced file keeps its permissions.
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;
  } else if (errno != ENOENT) {
    return -1;
  }
  const std::string stem = folder + "." + name.substr(0, NAME_MAX - 16) + ".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    where.Temporary = stem + RandomPart() + ".part";
    const int fd = ::open(where.Temporary.c_str(), access | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) {
      if (mode != 0666) ::fchmod(fd, mode);
      RememberTemporaryFile(where.Temporary);
      return fd;
    }
    if (errno != EEXIST) break;
  }
  where.Temporary.clear();
  return -1;
}

int LinkWithoutReplacing(const std::string& from, const std::string& to) {
  if (::link(from.c_str(), to.c_str()) != 0) return -1;
  ::unlink(from.c_str());
  return 0;
}

namespace {

int RenameWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
  if (LinkWithoutReplacing(from, to) == 0) return 0;
  if (errno != EPERM && errno != ENOTSUP) return -1;  // EEXIST among them
  // Neither (a file system without hard links): the name is looked at just before.
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) {
    errno = EEXIST;
    return -1;
  }
  return ::rename(from.c_str(), to.c_str());
}

}  // namespace

int CommitOutputTarget(const TOutputTarget& where) {
  if (where.Temporary.empty()) return 0;
  const int renamed = where.Replace ? ::rename(where.Temporary.c_str(), where.Target.c_str())
                                    : RenameWithoutReplacing(where.Temporary, where.Target);
  if (renamed == 0) {
    ForgetTemporaryFile(where.Temporary);  // after the rename: a stop in between removes nothing
    return 0;
  }
  const int error = errno;
  DiscardOutputTarget(where);
  errno = error;
  return -1;
}

void DiscardOutputTarget(const TOutputTarget& where) {
  if (where.Temporary.empty()) return;
  ::unlink(where.Temporary.c_str());
  ForgetTemporaryFile(where.Temporary);
}

bool SameRegularFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && S_ISREG(sa.st_mode) &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int WriteAll(int fd, const void* data, std::size_t size) {
  const TWriteCall call = WriteCall.load();
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = call ? call(fd, p, size) : ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) {  // no progress and no reason: do not spin
      errno = EIO;
      return -1;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

void SetOutputWriteCall(TWriteCall call) { WriteCall = call; }

}  // namespace sw
