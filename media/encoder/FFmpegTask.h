#pragma once
// One conversion task of the encoder: the engine plus the option layer's pending
// settings and the steps that open its input files and create its output files.
#include <string>
#include <string_view>
#include <unordered_map>

#include "media/encoder/OptionDefaults.h"
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
  // Add one stream of that kind to the file from the pending settings; raise
  // FFmpegException on failure.
  void NewAudioStream(TOutputFile& file);
  void NewVideoStream(TOutputFile& file);
  void NewSubtitleStream(TOutputFile& file);

  // One named option: a handler of the option layer, else the option block's set-by-name.
  // Refusals raise FFmpegException; what was applied before stays applied.
  void ApplyOption(const std::string& name, const std::string& value);
  // Option lines (LF, CR, CR LF or "<CRLF>" separated, names lowered). Stream-forming lines
  // are left to ApplyNewStreamLines; codec names only with allowCodecNames.
  void ApplyOptionLines(const std::string& text, bool allowCodecNames);
  // Queues a metadata pair for the next output file.
  void AddMetadata(const std::string& key, const std::string& value);
  // kind "apre", "vpre", "spre" or "fpre"; a built-in preset name or a preset file.
  void ApplyPreset(const std::string& kind, const std::string& preset);
  // target "vcd", "svcd", "dvd", "dv" or "dv50"; norm "pal", "ntsc", "film" or anything
  // else for a decision by frame rate, with filmFallback when nothing decides.
  void ApplyTarget(const std::string& target, const std::string& norm, const std::string& filmFallback);
  // The defaults of the first output stream: codec names, then presets ("def_" entries).
  void ApplyStreamDefaults(const TDefaultsList& list);
  // The defaults that apply after the general lines: frame size and video filters.
  void ApplyFrameDefaults(const TDefaultsList& list);
  // After an output open: the extra streams that "newaudio", "newvideo" and "newsubtitle"
  // lines ask for, each taking its codec, preset, size and filters from the list.
  void ApplyNewStreamLines(const std::string& text, TDefaultsList& list);

  // An empty name answers AV_CODEC_ID_NONE. False with ErrorText when the codec is unknown,
  // of another media type, or experimental while strictness is above "experimental".
  bool FindCodecByName(const std::string& name, AVMediaType type, int strictness, bool encoder, AVCodecID& id);
  // Which media the input files (or the first only) offer; attached pictures are no video.
  void CheckInputs(bool firstOnly, bool& video, bool& audio, bool& subtitle) const;

 protected:
  void SetErrorText(std::string text) { FErrorText = std::move(text); }

 private:
  // The steps of OpenInputFile, in their order. Each false or null is a failure whose
  // reason is in ErrorText.
  const AVInputFormat* TakeForcedFormat();  // the pending "f" option, used up
  AVFormatContext* OpenInputFormatOf(const std::string& fileName, const AVInputFormat* format);
  bool SelectProgram(AVFormatContext* input);  // only the pending program's streams stay
  bool FindStreamInfo(AVFormatContext* input, const std::string& fileName);
  // Seeks to the pending start time, used up; the input's time of it.
  int64_t SeekInputToStart(AVFormatContext* input, const std::string& fileName);
  // The streams' parameters become the pending settings of the outputs; their decoders.
  void TakeStreamParameters(AVFormatContext* input);
  void TakeVideoParameters(AVStream* stream, int index, int slot);

  using THandler = void (*)(TFFmpeg& task, const std::string& name, const std::string& value);
  static const std::unordered_map<std::string_view, THandler>& OptionHandlers();
  // Handlers of the options that do more than set one value.
  void OptFormat(const std::string& name, const std::string& value);
  void OptDuration(const std::string& name, const std::string& value);
  void OptTimestamp(const std::string& name, const std::string& value);
  void OptTimestampScale(const std::string& name, const std::string& value);
  void OptMap(const std::string& name, const std::string& value);
  void OptMetadataMap(const std::string& name, const std::string& value);
  void OptMetadata(const std::string& name, const std::string& value);
  void OptCodec(const std::string& name, const std::string& value);
  void OptBitRate(const std::string& name, const std::string& value);
  void OptSampleFormat(const std::string& name, const std::string& value);
  void OptNewStream(const std::string& name, const std::string& value);
  void OptTarget(const std::string& name, const std::string& value);
  void OptFrameSize(const std::string& name, const std::string& value);
  void OptFrameRate(const std::string& name, const std::string& value);
  void OptAspect(const std::string& name, const std::string& value);
  void OptPixelFormat(const std::string& name, const std::string& value);
  void OptCrop(const std::string& name, const std::string& value);
  void OptQScale(const std::string& name, const std::string& value);
  void OptPass(const std::string& name, const std::string& value);
  void OptVideoStats(const std::string& name, const std::string& value);
  void OptMatrix(const std::string& name, const std::string& value);
  void OptStreamId(const std::string& name, const std::string& value);
  void OptBitstreamFilter(const std::string& name, const std::string& value);
  bool SetPrivateOption(char kind, const std::string& fallbackEncoder, const std::string& key,
                        const std::string& value);
  // Applies the defaults entry of key, or its "def_" value when the list has none.
  void Take(const std::string& key, TDefaultsList& list);
  // Shared first and last steps of the three stream kinds.
  struct TNewStream {
    AVFormatContext* Context;
    AVStream* Stream;
    TOutputStreamSetup* Setup;
    AVCodecContext* Codec;
    const AVCodec* Encoder;  // nullptr for stream copy
  };
  TNewStream BeginStream(TOutputFile& file, AVMediaType type);
  void SetFormatGlobalHeader(const TNewStream& s, AVMediaType type);
  void FinishStream(const TNewStream& s, AVMediaType type);


  TOptionSettings FOptions;
  std::string FErrorText;
};

}  // namespace sw
