#include "TextSubtitles.h"

#include <algorithm>
#include <cstdarg>
#include <vector>

#include "YuvBlend.h"
#include "media/binding/ASSStubs.h"
#include "media/binding/AVUtilStubs.h"

namespace sw {

namespace {

// The renderer's own messages (missing glyphs, font choices) are of no use to the host
// and would otherwise go to standard error.
void DropMessage(int, const char*, va_list, void*) {}

}  // namespace

void TTextSubtitles::TLibraryFree::operator()(ass_library* p) const { ff::ass_library_done(p); }
void TTextSubtitles::TRendererFree::operator()(ass_renderer* p) const { ff::ass_renderer_done(p); }
void TTextSubtitles::TTrackFree::operator()(ass_track* p) const { ff::ass_free_track(p); }

TTextSubtitles::~TTextSubtitles() = default;

std::unique_ptr<TTextSubtitles> TTextSubtitles::Create(const uint8_t* header, int headerSize, std::string& why) {
  if (!LoadASSLibrary(why)) return nullptr;
  std::unique_ptr<TTextSubtitles> t(new TTextSubtitles);
  t->FLibrary.reset(ff::ass_library_init());
  if (!t->FLibrary) {
    why = "ass_library_init() failed";
    return nullptr;
  }
  ff::ass_set_message_cb(t->FLibrary.get(), DropMessage, nullptr);
  t->FRenderer.reset(ff::ass_renderer_init(t->FLibrary.get()));
  if (!t->FRenderer) {
    why = "ass_renderer_init() failed";
    return nullptr;
  }
  // Styles without a font of their own get the system's sans-serif face.
  ff::ass_set_fonts(t->FRenderer.get(), nullptr, "sans-serif", ASS_FONTPROVIDER_AUTODETECT, nullptr, 1);
  t->FTrack.reset(ff::ass_new_track(t->FLibrary.get()));
  if (!t->FTrack) {
    why = "ass_new_track() failed";
    return nullptr;
  }
  if (header && headerSize > 0) {
    std::vector<char> text(header, header + headerSize);
    ff::ass_process_codec_private(t->FTrack.get(), text.data(), headerSize);
  }
  return t;
}

void TTextSubtitles::AddEvent(const char* line, int64_t startMs, int64_t durationMs) {
  if (!line || !*line) return;
  std::vector<char> text(line, line + std::char_traits<char>::length(line));
  ff::ass_process_chunk(FTrack.get(), text.data(), static_cast<int>(text.size()), startMs, std::max<int64_t>(durationMs, 1));
  ++FEvents;
}

void TTextSubtitles::Flush() {
  ff::ass_flush_events(FTrack.get());
  FEvents = 0;
}

bool TTextSubtitles::Blend(int64_t ms, AVFrame& frame) {
  if (FEvents == 0 || frame.width <= 0 || frame.height <= 0) return false;
  if (frame.width != FWidth || frame.height != FHeight) {
    FWidth = frame.width, FHeight = frame.height;
    ff::ass_set_frame_size(FRenderer.get(), FWidth, FHeight);
    ff::ass_set_storage_size(FRenderer.get(), FWidth, FHeight);
  }
  int changed = 0;
  const ASS_Image* images = ff::ass_render_frame(FRenderer.get(), FTrack.get(), ms, &changed);
  bool any = false;
  for (const ASS_Image* i = images; i && !any; i = i->next) any = i->w > 0 && i->h > 0;
  if (!any || ff::av_frame_make_writable(&frame) < 0) return false;
  BlendImages(images, frame);
  return true;
}

void TTextSubtitles::BlendImages(const ass_image* images, AVFrame& frame) {
  std::vector<uint8_t> cover;  // the image's alpha per pixel, clipped to the frame
  for (const ASS_Image* i = images; i; i = i->next) {
    const int x0 = std::max(0, i->dst_x), y0 = std::max(0, i->dst_y);
    const int x1 = std::min(frame.width, i->dst_x + i->w), y1 = std::min(frame.height, i->dst_y + i->h);
    if (x0 >= x1 || y0 >= y1 || !i->bitmap) continue;
    const int opacity = 255 - static_cast<int>(i->color & 0xFF);
    const TYuva c = RgbToYuva(static_cast<int>(i->color >> 24), static_cast<int>((i->color >> 16) & 0xFF),
                              static_cast<int>((i->color >> 8) & 0xFF), opacity);
    const int w = x1 - x0, h = y1 - y0;
    cover.assign(static_cast<size_t>(w) * h, 0);
    for (int y = y0; y < y1; ++y) {
      const uint8_t* src = i->bitmap + static_cast<ptrdiff_t>(y - i->dst_y) * i->stride + (x0 - i->dst_x);
      uint8_t* a = &cover[static_cast<size_t>(y - y0) * w];
      uint8_t* luma = frame.data[0] + static_cast<ptrdiff_t>(y) * frame.linesize[0];
      for (int x = 0; x < w; ++x) {
        a[x] = static_cast<uint8_t>((src[x] * opacity + 127) / 255);
        if (a[x]) luma[x0 + x] = Mix(luma[x0 + x], c.Y, a[x]);
      }
    }
    // Each chroma sample covers a 2x2 block; pixels of the block outside the image count
    // as uncovered.
    for (int cy = y0 / 2; cy <= (y1 - 1) / 2; ++cy) {
      uint8_t* u = frame.data[1] + static_cast<ptrdiff_t>(cy) * frame.linesize[1];
      uint8_t* v = frame.data[2] + static_cast<ptrdiff_t>(cy) * frame.linesize[2];
      for (int cx = x0 / 2; cx <= (x1 - 1) / 2; ++cx) {
        int sum = 0;
        for (int y = 2 * cy; y < 2 * cy + 2; ++y)
          for (int x = 2 * cx; x < 2 * cx + 2; ++x)
            if (y >= y0 && y < y1 && x >= x0 && x < x1) sum += cover[static_cast<size_t>(y - y0) * w + (x - x0)];
        const int alpha = (sum + 2) / 4;
        if (!alpha) continue;
        u[cx] = Mix(u[cx], c.U, alpha);
        v[cx] = Mix(v[cx], c.V, alpha);
      }
    }
  }
}

}  // namespace sw
