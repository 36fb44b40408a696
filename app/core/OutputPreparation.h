#pragma once
// Where a cut writes, decided in one place for both cuts and both front ends: the name
// refused when it would leave its folder, the path built, the source itself refused, the
// caller asked before a file is replaced, a missing folder made one level deep.
#include <functional>
#include <string>

#include "CutRequest.h"

namespace sw {

// folder + "/" (unless it ends in one; nothing for an empty folder, which is the current
// one) + name, with ".mp3" appended unless the name's extension already is ".mp3" in any case.
std::string BuildOutputPath(const std::string& folder, const std::string& name);

// Why a name typed for the output cannot be used, or empty when it can: the output must
// stay in the chosen folder, so a name may not hold "/" or control characters, nor be
// empty, "." or "..".
std::string OutputNameRefusal(const std::string& name);
// Why the folder and name typed for the output cannot be used, or empty: the name as
// above, and a folder text in the form of a URL ("http://host/...") is no local folder.
std::string OutputRefusal(const std::string& folder, const std::string& name);

// Makes the output's folder when it is missing, one level as the window always did. Empty,
// or the system's reason when it could not be made ("/music/new: Permission denied").
std::string MakeOutputFolder(const std::string& outputPath);

struct TProposedOutput {
  std::string Folder;  // absolute, with its trailing "/"; a bare name's is the current folder
  std::string Name;    // song.mp3 -> song_new.mp3
};
TProposedOutput ProposeOutput(const std::string& sourcePath);

// Asked when a file of the output's name exists: true lets the cut replace it once complete.
using TAskReplace = std::function<bool(const std::string& outputPath)>;

struct TPreparedOutput {
  std::string Path;
  bool Replace = false;  // the caller allowed a file of that name to be replaced
  bool Declined = false; // the caller kept the file there: nothing is to be done
  std::string Refusal;   // why the output cannot be written, for the user; empty when it can
};

// The output of a request whose name has passed OutputRefusal: the path, the source
// itself refused, the question asked (no question: nothing is replaced), the folder made.
TPreparedOutput PrepareOutput(const TCutRequest& request, const TAskReplace& askReplace);

}  // namespace sw
