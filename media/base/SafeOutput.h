#pragma once
// Where an output's bytes go until the work is done: a new file beside the target,
// created exclusively, that is renamed over the target only once it is complete. A
// target that is not a regular file (a device, a pipe) is written in place and never
// removed. A symbolic link at the target is replaced by the new file, not written through.
// A file at the target's name is replaced only with the caller's permission, also when
// it appeared while the output was being written.
#include <sys/types.h>

#include <cstddef>
#include <string>

namespace sw {

struct TOutputTarget {
  std::string Target;
  std::string Temporary;  // empty: the target itself is written
  bool Replace = false;   // a file (or link) at the target's name may be replaced
};

// A descriptor to write the output to (readable as well with readable); -1 with errno.
// Without replace, a file or link at the target's name is refused with EEXIST.
int CreateOutputTarget(const std::string& target, bool readable, bool replace, TOutputTarget& where);
// Puts the finished file in place of the target: 0, or -1 with errno (the temporary
// file is gone either way). Without replace, a file that took the name meanwhile stays
// as it is and the answer is EEXIST.
int CommitOutputTarget(const TOutputTarget& where);
// Gives a file a new name only where that name is free (EEXIST otherwise), for file
// systems without a rename that refuses to replace: a hard link, then the old name goes.
int LinkWithoutReplacing(const std::string& from, const std::string& to);

// What the user is told when a commit or a create refused to replace.
inline constexpr const char* TargetExistsWords = "The file exists and may not be replaced";
inline constexpr const char* TargetAppearedWords =
    "A file of this name appeared while the output was being written: it was kept, and the new output was not saved";
// Removes the temporary file; the target is left as it was.
void DiscardOutputTarget(const TOutputTarget& where);

// Whether two names lead to one regular file (the same device and inode), so that
// writing the one would destroy the other.
bool SameRegularFile(const std::string& a, const std::string& b);

// Writes every byte or fails: 0, or -1 with errno.
int WriteAll(int fd, const void* data, std::size_t size);
// The system call behind WriteAll; tests put in one that fails part way (nullptr: write).
using TWriteCall = ssize_t (*)(int fd, const void* data, std::size_t size);
void SetOutputWriteCall(TWriteCall call);

}  // namespace sw
