// The audio callback allocates nothing of its own: every C++ allocation made on SDL's
// playback thread is counted (this program replaces the global allocation functions), and
// none may come while files play, also one whose decoded frames are larger than the
// sound buffer. The libraries' own allocations (their av_malloc) are not counted.
#include <pthread.h>

// The replacements below pair malloc with free; the compiler's check of pairs sees only the
// library's names.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

#include <cstring>
#include <new>

#include "../engine/DecodeFile.h"
#include "PlayerHarness.h"
#include "VideoFile.h"

namespace {

std::atomic<long> AudioThreadAllocations{0};

// SDL names the thread that runs a playback device's callback "SDLAudioP<device>".
bool OnAudioThread() {
  thread_local int audio = -1;
  if (audio < 0) {
    char name[16] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    audio = std::strncmp(name, "SDLAudioP", 9) == 0 ? 1 : 0;
  }
  return audio == 1;
}

bool AudioThreadRuns() {
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(e.path() / "comm");
    std::string name;
    std::getline(comm, name);
    if (name.rfind("SDLAudioP", 0) == 0) return true;
  }
  return false;
}

}  // namespace

void* operator new(std::size_t size) {
  if (OnAudioThread()) ++AudioThreadAllocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

using namespace sw;

TEST_F(PlayerTest, TheAudioCallbackAllocatesNothing) {
  // Frames of 100,000 stereo samples: 400,000 bytes each, more than the sound buffer holds.
  TVideoFileSpec spec;
  spec.Video = false;
  spec.Seconds = 5;
  spec.AudioBlock = 100000;
  const std::string large = Temp.File("large.mkv");
  ASSERT_TRUE(WriteVideoFile(large, spec));
  for (const std::string& file : {large, TestData("tagged.mp3")}) {
    SCOPED_TRACE(file);
    TDecodedAudio reference;
    ASSERT_TRUE(DecodeFile(file, reference));
    ClearEvents();
    TFFPlayer& player = NewPlayer();
    player.SetDisableDisplay(true);
    ASSERT_TRUE(player.OpenMedia(file, 0, false)) << player.ErrorText();
    bool audioThread = false;
    ASSERT_TRUE(PumpUntil([&] {
      audioThread = audioThread || AudioThreadRuns();
      return SawState(psEnd);
    }, std::chrono::seconds(20)));
    player.Stop(true);
    EXPECT_TRUE(audioThread) << "SDL's playback thread was not seen";
    EXPECT_EQ(AudioThreadAllocations.load(), 0);
    // And the sound is every sample of the file, in order.
    std::vector<int16_t> sound = Sound();
    sound.resize(SoundAtEnd);
    std::vector<int16_t> heard;
    for (size_t i = 0; i + 1 < sound.size(); i += 2)
      if (sound[i] != 0 || sound[i + 1] != 0) heard.insert(heard.end(), {sound[i], sound[i + 1]});
    std::vector<int16_t> expected;
    for (size_t i = 0; i + 1 < reference.Samples.size(); i += 2)
      if (reference.Samples[i] != 0 || reference.Samples[i + 1] != 0)
        expected.insert(expected.end(), {reference.Samples[i], reference.Samples[i + 1]});
    EXPECT_TRUE(heard == expected) << heard.size() << " samples heard, " << expected.size() << " in the file";
  }
}
