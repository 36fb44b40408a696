#pragma once
// The window's volume slider (0..100) on the scales below it. The command line takes the
// same 0..100.
namespace sw {

// The cut's volume on the engine's scale (256 leaves the sound as it is): 100 gives 255,
// the top of the byte the slider was designed to fill, so a cut is never louder than its source.
int CutVolume(int sliderPosition);

}  // namespace sw
