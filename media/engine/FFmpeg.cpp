#include "FFmpeg.h"

#include <cstdarg>

#include "RunTables.h"
#include "media/binding/FFLoad.h"
#include "media/base/StopReads.h"
#include "media/common/UnicodeProtocol.h"

namespace sw {

namespace {

std::string VFormat(const char* format, va_list args) {
  char text[4096];
  std::vsnprintf(text, sizeof text, format, args);
  return text;
}

bool EncoderLibrariesLoaded() { return FFLoader().LibrarySetLoaded(ConversionLibraries); }

}  // namespace

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = VFormat(format, args);
  va_end(args);
  return text;
}

void RaiseFFmpeg(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = VFormat(format, args);
  va_end(args);
  throw FFmpegException(text);
}

TCustomFFmpeg::TCustomFFmpeg() { ResetSettings(); }

TCustomFFmpeg::~TCustomFFmpeg() {
  WaitForThreads();
  CleanUp();
}

void TCustomFFmpeg::Log(TLogLevel level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = VFormat(format, args);
  va_end(args);
  GetLogger().Log(this, level, text);
}

TLibraryOptionSet& TCustomFFmpeg::OptionSet() {
  if (!FOptionSet) {
    if (!EncoderLibrariesLoaded()) throw ELibraryNotLoaded("LibAVCodec not loaded.");
    FOptionSet = CreateOptionSet(FSettings.ScalerFlags);
  }
  return *FOptionSet;
}

void TCustomFFmpeg::ResetSettings() {
  FSettings = TEngineSettings{};
  FInputFiles.clear();
  FInputOffset.clear();
  FInputScale.clear();
  FFrameOffsets.clear();
  FForcedDecoders.clear();
  FDecoderOptions.clear();
  FOutputFiles.clear();
  FOptionSet = EncoderLibrariesLoaded() ? CreateOptionSet(FSettings.ScalerFlags) : nullptr;
}

void TCustomFFmpeg::ClearTask() {
  if (!EncoderLibrariesLoaded()) return;
  CleanUp();
  ResetSettings();
  // A cleared task is a new one: it can start again.
  FRunning = false;
  FStopRequested = false;
  FFinishedNormally = false;
  FTerminateDelivered = false;
  FErrorRaised = false;
  std::lock_guard<std::mutex> g(FStateLock);
  FErrorMessage.clear();
}

void TCustomFFmpeg::AddInputFile(AVFormatContext* context, int64_t timestampOffset) {
  if (InputFileCount() >= MaxFiles) {
    CloseInputFormat(&context);
    RaiseFFmpeg("Too many input files (at most %d)", MaxFiles);
  }
  FInputFiles.push_back(context);
  FInputOffset.push_back(timestampOffset);
  FInputScale.emplace_back(MaxStreams, 0.0);
  FFrameOffsets.emplace_back();
}

void TCustomFFmpeg::SetForcedDecoder(int slot, const AVCodec* codec) {
  if (slot < 0 || slot >= MaxFiles * MaxStreams) return;
  if (static_cast<int>(FForcedDecoders.size()) <= slot) FForcedDecoders.resize(slot + 1, nullptr);
  FForcedDecoders[slot] = codec;
}

void TCustomFFmpeg::SetDecoderOptions(int slot, std::vector<TOptionValue> options) {
  if (slot < 0 || slot >= MaxFiles * MaxStreams) return;
  if (static_cast<int>(FDecoderOptions.size()) <= slot) FDecoderOptions.resize(slot + 1);
  FDecoderOptions[slot] = std::move(options);
}

void TCustomFFmpeg::AddOutputFile(TOutputFilePtr file) { FOutputFiles.push_back(std::move(file)); }

void TCustomFFmpeg::RemoveLastOutputFile() {
  if (!FOutputFiles.empty()) FOutputFiles.pop_back();
}

namespace {

void CloseCodecList(std::vector<AVCodecContext*>& list) {
  std::lock_guard<std::recursive_mutex> lock(CodecLock());
  for (AVCodecContext* c : list) ff::avcodec_close(c);
  list.clear();
}

}  // namespace

void TCustomFFmpeg::CloseOpenedEncoders() { CloseCodecList(FOpenedEncoders); }

void TCustomFFmpeg::CloseOpenedDecoders() { CloseCodecList(FOpenedDecoders); }

void TCustomFFmpeg::CloseOpenedCodecs() {
  CloseOpenedEncoders();
  CloseOpenedDecoders();
}

void TCustomFFmpeg::Transcode() {
  CheckOutputsAreNotInputs();
  TRun run(*this);
  run.SetUp();
  run.CopyMetadataMaps();
  run.CopyChapters();
  run.WriteHeaders();
  run.LogMapping();
  run.SeekInputsToStart();
  run.TimerStart = run.LastReport = WallClock();
  if (!run.EncodeInParts()) {
    run.PacketLoop();
    run.DrainDecoders();
  }
  run.WriteTrailers();
  run.ProgressReport(true, -1);
  run.CloseCodecs();
  // A stopped task keeps nothing: its temporary files go with the clean-up. Reads stopped
  // for the process ended the inputs early: what was written is not the whole.
  if (FStopRequested || AllReadsStopped()) return;
  CommitOutputs();
  FFinishedNormally = true;
}

void TCustomFFmpeg::CleanUp() {
  if (!EncoderLibrariesLoaded()) return;
  CloseOpenedCodecs();
  const AVFormatContext* previous = nullptr;
  for (const TOutputFilePtr& file : FOutputFiles) {
    if (!file || !file->Context || file->Context == previous) continue;
    previous = file->Context;
    AVFormatContext* ctx = file->Context;
    // An output not committed by the run loses its temporary file; the target stays.
    if (file->IOOpened) CloseOutputIO(&ctx->pb);
    file->IOOpened = false;
    file->Streams.clear();
    ff::avformat_free_context(ctx);
    file->Context = nullptr;
    if (FSettings.JoinMode) break;
  }
  FOutputFiles.clear();
  for (AVFormatContext*& input : FInputFiles) CloseInputFormat(&input);
  FInputFiles.clear();
  FInputOffset.clear();
  FInputScale.clear();
  FFrameOffsets.clear();
}

}  // namespace sw
