// A program of the sanitizer build, as every program of ours is: it loads the media
// libraries, reads a file's information, exits, and (asked to) loses one allocation on
// the way. The leak check at its exit must name that allocation and nothing else.
#include <cstdio>
#include <string>

#include "media/binding/FFLoad.h"
#include "media/info/FFDecode.h"

namespace {

char* volatile Lost = nullptr;

__attribute__((noinline)) void LoseAnAllocation() {
  Lost = new char[4242];
  Lost = nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || !sw::FFLoader().LoadLibrarySet(sw::AllLibraries)) return 2;
  sw::TFFDecoder reader;
  if (!reader.OpenMediaFile(argv[1], "")) return 3;
  sw::TFileStreamInfo info;
  reader.FillStreamInfo(info);
  std::printf("%s\n", info.Title.c_str());
  if (argc > 2 && std::string(argv[2]) == "leak") LoseAnAllocation();
  return 0;
}
