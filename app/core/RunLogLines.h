#pragma once
// The lines both front ends write to their run log (the window's file, the command line's
// standard output) for a cut and for an opened file.
#include <string>
#include <vector>

#include "CutRequest.h"

namespace sw {

// "Begin Time:", "End Time:", "Output:", "Volume:": what a cut is about to do.
std::vector<std::string> CutRequestLines(const TCutRequest& request, const std::string& outputPath);
inline constexpr const char* CutCompletedLine = "Completed to cut mp3 file.";
// "Failed to cut file.", "Error Message:", then the reason.
std::vector<std::string> CutFailedLines(const std::string& reason);
// The information lines between a header and a footer line, blank ones left out.
std::vector<std::string> FileInfoLogLines(const std::vector<std::string>& infoLines);

}  // namespace sw
