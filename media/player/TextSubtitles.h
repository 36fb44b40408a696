#pragma once
// Text subtitles (SubRip, ASS and the other text formats the decoders turn into ASS
// events) drawn with libass into the pictures the display shows. Not thread-safe: the
// play context serialises every call under its subtitle lock.
#include <cstdint>
#include <memory>
#include <string>

extern "C" {
struct AVFrame;
struct ass_library;
struct ass_renderer;
struct ass_track;
struct ass_image;
}

namespace sw {

class TTextSubtitles {
 public:
  // The track's styles come from header (the ASS script header the decoder made, may
  // be empty). Null with why set when libass cannot be loaded or set up.
  static std::unique_ptr<TTextSubtitles> Create(const uint8_t* header, int headerSize, std::string& why);
  ~TTextSubtitles();
  TTextSubtitles(const TTextSubtitles&) = delete;
  TTextSubtitles& operator=(const TTextSubtitles&) = delete;

  // One decoded event line ("ReadOrder,Layer,Style,Name,MarginL,MarginR,MarginV,Effect,
  // Text"), shown from startMs for durationMs (milliseconds of the stream).
  void AddEvent(const char* line, int64_t startMs, int64_t durationMs);
  // Forgets every event (after a seek the decoder numbers its events from 0 again).
  void Flush();
  // Draws what is shown at ms into the yuv420p frame, made writable first; false when
  // nothing is shown (frame untouched).
  bool Blend(int64_t ms, AVFrame& frame);
  int EventCount() const { return FEvents; }

  // Blends a list of rendered images (alpha bitmaps in one RGBA colour each, alpha byte
  // 0 = opaque) over a writable yuv420p frame, clipped to it. Chroma takes the mean
  // coverage of each 2x2 block.
  static void BlendImages(const ass_image* images, AVFrame& frame);

 private:
  TTextSubtitles() = default;
  struct TLibraryFree {
    void operator()(ass_library* p) const;
  };
  struct TRendererFree {
    void operator()(ass_renderer* p) const;
  };
  struct TTrackFree {
    void operator()(ass_track* p) const;
  };
  // Declared in the order they must be made; freed in reverse.
  std::unique_ptr<ass_library, TLibraryFree> FLibrary;
  std::unique_ptr<ass_renderer, TRendererFree> FRenderer;
  std::unique_ptr<ass_track, TTrackFree> FTrack;
  int FWidth = 0, FHeight = 0;  // the frame size the renderer is set to
  int FEvents = 0;              // events handed over since the last flush
};

}  // namespace sw
