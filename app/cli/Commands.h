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
int SplitCommand(const TArgs& args);

// A command's usage, naming its options and time formats ("": the tool's); null for an
// unknown command.
const std::string* CommandUsage(const std::string& command);
// A wrong call: the usage on standard error; answers the exit status 2.
int UsageError(const std::string& command);
// A value an option cannot take: a line naming the option, the value and what it must be
// ("a whole number from 0 to 100"), then the usage, on standard error; answers 2.
int ValueError(const std::string& command, const std::string& option, const std::string& value,
               const std::string& expected);
// What ValueError says a time must be.
extern const char* const TimeExpected;

}  // namespace sw::cli
