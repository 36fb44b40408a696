#pragma once

#include <vector>

#include "TrackbarModel.h"

namespace sw::test {

// Picture sizes of the built-in defaults and of the main window's set.
inline TPictureSizes DefaultSizes() {
  return {{9, 17}, {9, 17}, {9, 17}, {11, 9}, {11, 9}, 17};
}
inline TPictureSizes WindowSizes() {
  return {{9, 16}, {16, 16}, {16, 16}, {11, 9}, {11, 9}, 16};
}

inline void OpenWindow(TTrackbarModel& m, int width, const TPictureSizes& sizes) {
  m.SetPictureSizes(sizes);
  m.Resize(width);
  m.CreateWindow();
}

// Like the main window's instance: 244 wide, no margin, markers 16 x 16, range 0..205.
inline void OpenLikeMainWindow(TTrackbarModel& m) {
  m.SetTickOffsetY(5);
  m.SetTrackOffsetY(5);
  m.SetSegOffsetY(5);
  m.SetMax(205);
  m.SetSegEndPos(205);
  OpenWindow(m, 244, WindowSizes());
}

// Records what the model reports, in order.
struct TEventLog {
  std::vector<TTrackbarEvent> Events;
  std::vector<TMouseArgs> Args;
  int Repaints = 0;

  void Attach(TTrackbarModel& m) {
    m.Notify = [this](TTrackbarEvent e, const TMouseArgs& a) {
      Events.push_back(e);
      Args.push_back(a);
    };
    m.Repaint = [this] { ++Repaints; };
  }
  void Clear() {
    Events.clear();
    Args.clear();
    Repaints = 0;
  }
};

}  // namespace sw::test
