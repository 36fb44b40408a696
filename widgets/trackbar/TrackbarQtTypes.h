#pragma once

#include <QRect>

#include "TrackbarTypes.h"

namespace sw {

inline QRect ToQRect(const TRect& r) { return QRect(r.Left, r.Top, r.Width(), r.Height()); }

}  // namespace sw
