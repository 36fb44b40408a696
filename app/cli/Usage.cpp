#include <cstdio>
#include <map>

#include "Commands.h"
#include "TimeArgument.h"

namespace sw::cli {

namespace {

const std::map<std::string, std::string>& Usages() {
  static const std::map<std::string, std::string> usages{
      {"", "usage: snipwave-cli COMMAND [ARGS]\n"
           "  libs [--folder DIR]        load the media libraries and report each one\n"
           "  info FILE [--log LEVEL]    print what the window shows about a file\n"
           "  convert INPUT OUTPUT [--in LINE]... [--preview] [-y] [LINE]...\n"
           "                             convert with option lines for the input and the output\n"
           "  cut SOURCE --start TIME --end TIME [--volume 0-100] [--folder DIR] [--name NAME] [--yes]\n"
           "      [--lossless]           cut a segment into a new MP3 with five-second fades\n"
           "  split SOURCE (--at TIME,... | --every TIME | --cue FILE | --silence) [--lossless]\n"
           "      [--fade TIME] [--folder DIR] [--name PATTERN] [--yes]   split into tracks\n"
           "  play FILE [--start TIME] [--end TIME] [--volume 0-100] [--mute]\n"
           "                             play a file, or a part of it, with a running clock\n"
           "  help [COMMAND]             print this, or a command's options\n"
           "Every command takes --help; --version prints the version.\n" +
               std::string(TimeFormats)},
      {"libs", "usage: snipwave-cli libs [--folder DIR]\n"
               "Loads the four library sets (all, information reader, encoder, player) and reports\n"
               "each library; exit status 0 only when all loaded.\n"
               "  --folder DIR   look for the libraries in DIR\n"},
      {"info", "usage: snipwave-cli info FILE [--log LEVEL]\n"
               "Prints the lines the window shows about FILE.\n"
               "  --log LEVEL    print the log events to standard error: quiet, panic, fatal, error,\n"
               "                 warning, info, verbose, debug or a number\n"},
      {"convert", "usage: snipwave-cli convert INPUT OUTPUT [--in LINE]... [--preview] [-y] [LINE]...\n"
                  "Converts INPUT into OUTPUT with the encoder's option lines.\n"
                  "  --in LINE      an option line for the input (repeatable)\n"
                  "  --preview      show the pictures being encoded in a window (needs a display)\n"
                  "  -y, --yes      replace a file of OUTPUT's name\n"
                  "  LINE           an option line for the output, such as \"-acodec libmp3lame\"\n"},
      {"cut", "usage: snipwave-cli cut SOURCE --start TIME --end TIME [--volume 0-100] [--folder DIR]\n"
              "                            [--name NAME] [--yes] [--lossless]\n"
              "Cuts the segment from --start to --end of SOURCE into a new MP3 with five-second fades.\n"
              "  --start TIME   where the segment starts\n"
              "  --end TIME     where it ends, after the start and within the file\n"
              "  --volume N     volume 0-100 (default 70): 100 keeps the source's loudness,\n"
              "                 70 is about 3 dB quieter\n"
              "  --folder DIR   folder of the new file (default: the source's)\n"
              "  --name NAME    name of the new file (default: the source's name with \"_new\");\n"
              "                 \".mp3\" is added when missing\n"
              "  --yes          replace a file of that name\n"
              "  --lossless     copy the MP3 frames instead of re-encoding: sample-exact ends through\n"
              "                 the encoder delay and padding, fades and volume as gain steps of 1.5 dB\n" +
                  std::string(TimeFormats)},
      {"split", "usage: snipwave-cli split SOURCE (--at TIME,... | --every TIME | --cue FILE | --silence\n"
                "                            [--threshold DB] [--min-gap TIME]) [--lossless] [--fade TIME]\n"
                "                            [--folder DIR] [--name PATTERN] [--yes]\n"
                "Splits SOURCE into tracks, each a new MP3; exit status 0 only when every track was written.\n"
                "  --at TIME,...   the times where the second and later tracks start\n"
                "  --every TIME    tracks of that length (the last one what is left)\n"
                "  --cue FILE      the tracks, titles and performers of a cue sheet (INDEX 01)\n"
                "  --silence       a track starts in the middle of each silence, which are listed\n"
                "  --threshold DB  the level below which it is silence (default -50)\n"
                "  --min-gap TIME  the shortest silence between tracks (default 1.5)\n"
                "  --lossless      copy the MP3 frames: played gaplessly, the tracks give the source's\n"
                "                  samples exactly (MP3 sources only)\n"
                "  --fade TIME     fade each track in and out (default 0: none)\n"
                "  --folder DIR    folder of the tracks (default: the source's)\n"
                "  --name PATTERN  file names: %n number, %t title, %p performer, %s source's name\n"
                "                  (default \"%n %t\" with titles, else \"%s %n\"); \".mp3\" is added\n"
                "  --yes           replace files of those names\n"
                "Ctrl-C keeps the tracks written so far and removes the one under way.\n" +
                    std::string(TimeFormats)},
      {"play", "usage: snipwave-cli play FILE [--start TIME] [--end TIME] [--volume 0-100] [--mute]\n"
               "Plays FILE from --start, showing the position on standard error, and stops at --end\n"
               "or at the end of the file; exit status 0 when it got there. Ctrl-C, SIGTERM and\n"
               "SIGHUP stop it, with status 128 + the signal's number (130, 143, 129).\n"
               "  --start TIME   where playing starts (default: the start)\n"
               "  --end TIME     where it stops, after the start\n"
               "  --volume N     volume 0-100: 100 about twice as loud as recorded, 50 about as\n"
               "                 recorded (default: as recorded)\n"
               "  --mute         play silence (the clock still runs)\n"
               "Without a sound card (or with SDL_AUDIODRIVER=dummy) it plays silently in real time.\n" +
                   std::string(TimeFormats)},
  };
  return usages;
}

}  // namespace

const std::string* CommandUsage(const std::string& command) {
  const auto found = Usages().find(command);
  return found == Usages().end() ? nullptr : &found->second;
}

const char* const TimeExpected = "a time: SS, MM:SS or HH:MM:SS, each with an optional fraction";

int ValueError(const std::string& command, const std::string& option, const std::string& value,
               const std::string& expected) {
  std::fprintf(stderr, "snipwave-cli %s: %s \"%s\" is not %s\n", command.c_str(), option.c_str(), value.c_str(),
               expected.c_str());
  return UsageError(command);
}

int UsageError(const std::string& command) {
  const std::string* usage = CommandUsage(command);
  std::fputs((usage ? *usage : *CommandUsage("")).c_str(), stderr);
  return 2;
}

}  // namespace sw::cli
