#pragma once
// The subcommands of snipwave-cli; each takes the arguments after its name and returns
// the exit status.
#include <string>
#include <vector>

namespace sw::cli {

using TArgs = std::vector<std::string>;

int LibsCommand(const TArgs& args);
int InfoCommand(const TArgs& args);
int ConvertCommand(const TArgs& args);
int CutCommand(const TArgs& args);

}  // namespace sw::cli
