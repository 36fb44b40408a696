#include <clocale>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>

#include "Commands.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  const std::map<std::string, std::function<int(const sw::cli::TArgs&)>> commands{
      {"libs", sw::cli::LibsCommand},
      {"info", sw::cli::InfoCommand},
      {"convert", sw::cli::ConvertCommand},
      {"cut", sw::cli::CutCommand},
      {"play", sw::cli::PlayCommand},
      {"split", sw::cli::SplitCommand},
  };
  const sw::cli::TArgs args(argv + 1, argv + argc);
  if (args.empty()) return sw::cli::UsageError("");
  const std::string& first = args[0];
  if (first == "--version") {
    std::printf("snipwave-cli %s\n", SNIPWAVE_VERSION);
    return 0;
  }
  // Asked-for usage goes to standard output with success.
  const auto help = [](const std::string& command) {
    const std::string* usage = sw::cli::CommandUsage(command);
    if (!usage) return sw::cli::UsageError("");
    std::fputs(usage->c_str(), stdout);
    return 0;
  };
  if (first == "--help" || first == "-h") return help("");
  if (first == "help") {
    if (args.size() > 2) return sw::cli::UsageError("");
    return help(args.size() == 2 ? args[1] : "");
  }
  if (!commands.count(first)) return sw::cli::UsageError("");
  const sw::cli::TArgs rest(args.begin() + 1, args.end());
  for (const std::string& a : rest)
    if (a == "--help") return help(first);
  return commands.at(first)(rest);
}
