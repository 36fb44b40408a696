#pragma once
// One conversion task of the encoder: the engine plus the option layer's pending
// settings and the steps that open its input files and create its output files.
#include <string>

#include "media/encoder/OptionSettings.h"
#include "media/engine/FFmpeg.h"

namespace sw {

class TFFmpeg : public TCustomFFmpeg {
 public:
  TFFmpeg() = default;
  ~TFFmpeg() override = default;

  TOptionSettings& Options() { return FOptions; }
  const TOptionSettings& Options() const { return FOptions; }
  // The reason of the last failed step.
  const std::string& ErrorText() const { return FErrorText; }
  // Restores the pending settings' defaults (the engine's own settings are not touched).
  void ResetOptions();
  // A task reset clears the pending settings too.
  void ResetSettings() override;

  // Opens an input file with the pending settings and takes over its stream parameters.
  // False with ErrorText on failure; raises FFmpegException on the errors said to raise.
  bool OpenInputFile(const std::string& fileName);
  // Creates an output file with its streams; answers the output-file count, or -1 with
  // ErrorText. With join and two or more inputs, input file i writes to output file i.
  int OpenOutputFile(const std::string& fileName, bool join);
  // Adds one audio stream to the file; raises FFmpegException on failure.
  void NewAudioStream(TOutputFile& file);

  // An empty name answers AV_CODEC_ID_NONE. False with ErrorText when the codec is unknown,
  // of another media type, or experimental while strictness is above "experimental".
  bool FindCodecByName(const std::string& name, AVMediaType type, int strictness, bool encoder, AVCodecID& id);
  // Which media the input files (or the first only) offer; attached pictures are no video.
  void CheckInputs(bool firstOnly, bool& video, bool& audio, bool& subtitle) const;

 protected:
  void SetErrorText(std::string text) { FErrorText = std::move(text); }

 private:
  TOptionSettings FOptions;
  std::string FErrorText;
};

}  // namespace sw
