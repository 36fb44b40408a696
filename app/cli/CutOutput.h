#pragma once
// What both cuts of snipwave-cli check before they start.
#include <cstdint>
#include <optional>
#include <string>

#include "app/CutJob.h"

namespace sw::cli {

// Checks the segment against the source's length (µs), fills the request's
// folder and name (the proposal where none was given: an empty folder, no --name) and
// time labels, and refuses to replace an existing file without --yes. The output path,
// or empty with the reason printed when the cut is not to go ahead.
std::string PrepareCutOutput(TCutJob::TRequest& request, int64_t length, const std::string& folder,
                             const std::optional<std::string>& name, bool replace);

}  // namespace sw::cli
