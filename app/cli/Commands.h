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
int PlayCommand(const TArgs& args);

// A command's usage, naming its options and time formats ("": the tool's); null for an
// unknown command.
const std::string* CommandUsage(const std::string& command);
// A wrong call: the usage on standard error; answers the exit status 2.
int UsageError(const std::string& command);

}  // namespace sw::cli
