#include <clocale>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>

#include "Commands.h"

namespace {

const char* const Usage =
    "usage: snipwave-cli COMMAND [ARGS]\n"
    "  libs [--folder DIR]        load the media libraries and report each one\n"
    "  info FILE [--log LEVEL]    print what the window shows about a file\n"
    "  convert INPUT OUTPUT [--in LINE]... [LINE]...\n"
    "                             convert with option lines for the input and the output\n"
    "  cut SOURCE --start S --end S [--volume 0-100] [--folder DIR] [--name NAME] [--yes]\n"
    "                             cut a segment into a new MP3 with five-second fades\n";

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  const std::map<std::string, std::function<int(const sw::cli::TArgs&)>> commands{
      {"libs", sw::cli::LibsCommand},
      {"info", sw::cli::InfoCommand},
      {"convert", sw::cli::ConvertCommand},
      {"cut", sw::cli::CutCommand},
  };
  if (argc < 2 || !commands.count(argv[1])) {
    std::fputs(Usage, stderr);
    return 2;
  }
  return commands.at(argv[1])(sw::cli::TArgs(argv + 2, argv + argc));
}
