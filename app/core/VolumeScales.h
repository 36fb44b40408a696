#pragma once
// The volume slider's 0..100, which the window and both commands of snipwave-cli take, on
// the scales below it. Every conversion of a volume is one of these.
namespace sw {

// The engine's and the lossless cut's unchanged loudness: a sample is scaled by volume / 256.
inline constexpr int CutUnityVolume = 256;

// A cut's volume on the engine's scale: 100 gives 255, the top of the byte the slider was
// made to fill, so that a cut is never louder than its source (70 gives 178, about -3 dB).
int CutVolume(int sliderPosition);

// The preview's volume on the player's scale (128 unchanged, 255 the most)
// while the slider moves, and snipwave-cli play's: 100 gives 255, about twice as loud as
// recorded, so that a quiet recording can be listened to louder than it is.
int PreviewVolume(int sliderPosition);

// The preview's volume when Play starts: 100 gives 204, four fifths of the player's top,
// as the window has always started a preview a little quieter than the slider later gives.
int PreviewStartVolume(int sliderPosition);

}  // namespace sw
