#include <gtest/gtest.h>

#include "../../LoadedLibraries.h"
#include "media/common/PictureBridge.h"

using namespace sw;

namespace {

// A uniform picture in planar YUV 4:2:0. The scaler's vector code writes whole blocks
// past the end of short rows, so each plane keeps a margin behind it.
struct TYuvPicture {
  static constexpr size_t Margin = 64;
  TYuvPicture(int w, int h, uint8_t y, uint8_t u, uint8_t v) {
    planes[0].assign(static_cast<size_t>(w) * h + Margin, y);
    planes[1].assign(static_cast<size_t>(w / 2) * (h / 2) + Margin, u);
    planes[2].assign(static_cast<size_t>(w / 2) * (h / 2) + Margin, v);
    for (int i = 0; i < 3; ++i) data[i] = planes[i].data();
    lines[0] = w;
    lines[1] = lines[2] = w / 2;
  }
  std::vector<uint8_t> planes[3];
  uint8_t* data[4] = {};
  int lines[4] = {};
};

}  // namespace

TEST_F(WithLibraries, PictureBecomesAlignedBgrRowsAndComesBack) {
  TPictureBridge bridge(24);
  TYuvPicture red(6, 4, 81, 90, 240);  // pure red in studio-range YUV
  ASSERT_TRUE(bridge.PictureToBitmap(red.data, red.lines, AV_PIX_FMT_YUV420P, false, 4, 6));
  const TPixelBuffer& bmp = bridge.Bitmap();
  EXPECT_EQ(bmp.BytesPerRow, 20);  // 18 bytes rounded up to 32 bits
  const uint8_t* px = &bmp.Pixels[static_cast<size_t>(bmp.BytesPerRow) * 3 + 3 * 5];
  EXPECT_LT(px[0], 16);   // blue
  EXPECT_LT(px[1], 16);   // green
  EXPECT_GT(px[2], 240);  // red

  // A hook paints the bitmap green; the change reaches the library picture.
  TPixelBuffer& paint = bridge.Bitmap();
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) {
      uint8_t* p = &paint.Pixels[static_cast<size_t>(y) * paint.BytesPerRow + 3 * x];
      p[0] = 0, p[1] = 255, p[2] = 0;
    }
  bridge.BitmapRowsToPicture();
  TYuvPicture out(6, 4, 0, 0, 0);
  ASSERT_TRUE(bridge.BitmapToPicture(out.data, out.lines, AV_PIX_FMT_YUV420P, 4, 6));
  EXPECT_NEAR(out.planes[0][0], 145, 3);  // green's luma
  EXPECT_NEAR(out.planes[1][0], 54, 3);
  EXPECT_NEAR(out.planes[2][0], 34, 3);
}

TEST_F(WithLibraries, ResetChoosesDepthAndFormat) {
  TPictureBridge bridge;
  const std::pair<int, AVPixelFormat> cases[] = {{8, AV_PIX_FMT_BGR8}, {15, AV_PIX_FMT_RGB555LE},
                                                {16, AV_PIX_FMT_RGB565LE}, {32, AV_PIX_FMT_BGRA},
                                                {12, AV_PIX_FMT_BGR24}};
  for (auto [bits, format] : cases) {
    bridge.ResetBridge(bits);
    EXPECT_EQ(bridge.Format(), format) << bits;
  }
  bridge.ResetBridge(15);
  EXPECT_EQ(bridge.Bits(), 16);
}
