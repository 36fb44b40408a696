#pragma once
// snipwave-cli cut --lossless: the cut that copies MP3 frames instead of re-encoding.
#include <optional>
#include <string>

#include "app/CutJob.h"

namespace sw::cli {

// The request as parsed (source, segment, volume); empty folder and name take the proposal.
int LosslessCutCommand(TCutJob::TRequest request, const std::string& folder, const std::optional<std::string>& name,
                       bool replace);

}  // namespace sw::cli
