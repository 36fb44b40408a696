#include "FFEncode.h"

#include "media/base/MainThread.h"
#include "media/binding/FFLoad.h"

namespace sw {

int TFFmpegList::IndexOf(const TCustomFFmpeg* engine) const {
  for (int i = 0; i < Count(); ++i)
    if (FItems[i]->Engine.get() == engine) return i;
  return -1;
}

void TFFmpegList::StopAll(bool wait) {
  for (auto& task : FItems) task->Engine->Stop(wait);
}

TCustomEncoder::TCustomEncoder() { FVersion = "3.6a"; }

TCustomEncoder::~TCustomEncoder() {
  {
    std::lock_guard<std::recursive_mutex> g(FTerminateLock);
    FRemaining = 0;
  }
  // Every worker ends (and delivers its end) while the component is still whole.
  for (int i = 0; i < FTasks.Count(); ++i) FTasks.Item(i).Engine->RequestStop(true);
  FDeliveries.WaitAll();
  FTasks.Clear();
  FDeliveries.WaitAll();
}

bool TCustomEncoder::LibrariesReady() const { return FFLoader().LibrarySetLoaded(EncoderLibraries); }

bool TCustomEncoder::LoadLibrariesFrom(const std::string& folder) {
  FFLoader().SetLibraryFolder(folder);
  const bool loaded = FFLoader().LoadLibrarySet(EncoderLibraries);
  if (!loaded) FErrorText = FFLoader().GetLastErrorText();
  return loaded;
}

void TCustomEncoder::CheckWorking(const char* operation) const {
  if (FWorking) throw FFmpegException(FormatText("Cannot %s while working.", operation));
}

void TCustomEncoder::ClearTasks() {
  {
    // The last task's thread sets FAllDone after handing out the final notice, whose
    // handler may be here already: the lock waits for it.
    std::lock_guard<std::recursive_mutex> g(FTerminateLock);
    if (FWorking && !FAllDone) throw FFmpegException("Cannot ClearTasks while working.");
  }
  FDeliveries.WaitAll();  // without the lock: a handler under way may still take it
  FTasks.Clear();
  std::lock_guard<std::recursive_mutex> g(FTerminateLock);
  FFinishedCount = 0;
  FNextTask = -1;
  FRemaining = 0;
  FAllDone = false;
  FThreaded = false;
  FWorking = false;
  FErrorText.clear();
}

int TCustomEncoder::AddTask(const std::string& fileName, const TInputOptions* options) {
  CheckWorking("AddTask");
  auto task = std::make_unique<TEncoderTask>();
  task->Engine = std::make_unique<TFFmpeg>();
  TFFmpeg& engine = *task->Engine;
  try {
    engine.ClearTask();
    engine.Settings().Verbosity = FTaskVerbosity;
    if (options) {
      TInputOptions copy = *options;
      if (copy.FileName.empty()) copy.FileName = fileName;
      task->InputOptions.push_back(copy);
      engine.ApplyOptionLines(copy.ExtOptions, true);
      if (!copy.FileFormat.empty()) engine.ApplyOption("f", copy.FileFormat);
      if (copy.StartTime != INT64_MIN) engine.Settings().StartTime = copy.StartTime;
      if (copy.ProgramID >= 0) engine.Settings().ProgramId = copy.ProgramID;
    } else {
      task->InputOptions.emplace_back().FileName = fileName;
    }
    if (!engine.OpenInputFile(fileName)) {
      FErrorText = engine.ErrorText();
      return -1;
    }
    auto decoder = std::make_unique<TFFDecoder>();
    decoder->AdoptFormatContext(engine.InputFile(engine.InputFileCount() - 1));
    task->InputDecoders.push_back(std::move(decoder));
  } catch (const std::exception& e) {
    FErrorText = e.what();
    return -1;
  }
  engine.OnProgress = [this](TCustomFFmpeg* e, int file, int frame, int fps, float q, float rate, int64_t size,
                             int64_t time, int64_t total) {
    Progressed(e, file, frame, fps, q, rate, size, time, total);
  };
  engine.OnTerminate = [this](TCustomFFmpeg* e) { TaskTerminated(e); };
  engine.SetPreviewFlag(PreviewWindowFlag, FPreview);
  engine.SetPreviewFlag(PreviewBitmapFlag, FPreviewBitmap);
  engine.OnPreviewBitmap = [this](TCustomFFmpeg* e, const TPixelBuffer* bitmap, int frame, int64_t time) {
    PreviewDelivered(e, bitmap, frame, time);
  };
  FTasks.Add(std::move(task));
  return FTasks.Count() - 1;
}

TFFDecoder* TCustomEncoder::InputDecoder(int taskIndex, int fileIndex) const {
  if (taskIndex < 0 || taskIndex >= FTasks.Count()) return nullptr;
  const TEncoderTask& task = FTasks.Item(taskIndex);
  if (fileIndex < 0 || fileIndex >= static_cast<int>(task.InputDecoders.size())) return nullptr;
  TFFDecoder* decoder = task.InputDecoders[fileIndex].get();
  return decoder->FormatContext() ? decoder : nullptr;
}

void TCustomEncoder::StartTask(int count) {
  CheckWorking("StartTask");
  std::lock_guard<std::recursive_mutex> g(FTerminateLock);
  FFinishedCount = 0;
  FNextTask = 0;
  FRemaining = FTasks.Count();
  FAllDone = false;
  FThreaded = count > 0;
  FWorking = true;
  if (FTasks.Count() == 0) {
    FinalNotice();  // nothing to wait for: the caller still learns that the job ended
    return;
  }
  while (FRemaining > 0) {
    StartNextTask();
    if (FThreaded && --count == 0) break;
  }
}

void TCustomEncoder::StartNextTask() {
  std::lock_guard<std::recursive_mutex> g(FTerminateLock);
  if (FRemaining <= 0) return;
  --FRemaining;
  TFFmpeg& engine = *FTasks.Item(FNextTask++).Engine;
  engine.Settings().ReportInterval = static_cast<int64_t>(FProgressInterval) * 1000;
  if (TConvertThread* worker = engine.Start(FThreaded, FThreadPriority)) worker->Resume();
}

void TCustomEncoder::Stop(bool wait) {
  {
    std::lock_guard<std::recursive_mutex> g(FTerminateLock);
    FRemaining = 0;
  }
  if (FWorking) FTasks.StopAll(wait);
}

void TCustomEncoder::RemoveTask(int taskIndex) {
  CheckWorking("RemoveTask");
  if (taskIndex >= 0 && taskIndex < FTasks.Count()) FTasks.Delete(taskIndex);
}

void TCustomEncoder::TaskTerminated(TCustomFFmpeg* engine) {
  std::lock_guard<std::recursive_mutex> g(FTerminateLock);
  const int index = FTasks.IndexOf(engine);
  // The engine has closed its inputs: their readers must let go of them.
  if (index >= 0)
    for (auto& decoder : FTasks.Item(index).InputDecoders) decoder->CloseMediaFile();
  if (OnTerminate) {
    TTerminateInfo info{index, engine->FinishedNormally(), engine->ErrorRaised(), engine->ErrorMessage()};
    if (FThreaded || !FWorking)
      FDeliveries.Deliver(OnTerminate, this, info, false);
    else
      OnTerminate(this, info);
  }
  ++FFinishedCount;
  if (FRemaining <= 0 && FFinishedCount >= FTasks.Count())
    FinalNotice();
  else if (FRemaining > 0 && FThreaded)
    StartNextTask();
}

void TCustomEncoder::FinalNotice() {
  if (OnTerminate) {
    TTerminateInfo info{-1, true, false, ""};
    if (FThreaded || !FWorking)
      FDeliveries.Deliver(OnTerminate, this, info, true);
    else
      OnTerminate(this, info);
  }
  FAllDone = true;
}

void TCustomEncoder::AudioHooked(TCustomFFmpeg* engine, uint8_t* samples, int64_t time, int size, int rate,
                                 int channels, int format) {
  if (!OnAudioHook) return;
  std::lock_guard<std::mutex> g(FAudioHookLock);
  OnAudioHook(this, FTasks.IndexOf(engine), time, samples, size, rate, channels, format);
}

void TCustomEncoder::Progressed(TCustomFFmpeg* engine, int fileIndex, int frame, int fps, float quality,
                                float bitRate, int64_t totalSize, int64_t time, int64_t totalDuration) {
  if (!OnProgress) return;
  std::lock_guard<std::mutex> g(FProgressLock);
  FProgressInfo = TProgressInfo{FTasks.IndexOf(engine), fileIndex, frame, fps, quality, bitRate, totalSize, time,
                                totalDuration};
  if (FTriggerEventInMainThread)
    CallInMainThread([this] { OnProgress(this, &FProgressInfo); });
  else
    OnProgress(this, &FProgressInfo);
}

void TCustomEncoder::SetPreview(bool v) {
  FPreview = v;
  for (int i = 0; i < FTasks.Count(); ++i) FTasks.Item(i).Engine->SetPreviewFlag(PreviewWindowFlag, v);
}

void TCustomEncoder::SetPreviewBitmap(bool v) {
  FPreviewBitmap = v;
  for (int i = 0; i < FTasks.Count(); ++i) FTasks.Item(i).Engine->SetPreviewFlag(PreviewBitmapFlag, v);
}

void TCustomEncoder::PreviewDelivered(TCustomFFmpeg* engine, const TPixelBuffer* bitmap, int frame, int64_t time) {
  if (!OnPreviewBitmap) return;
  std::lock_guard<std::mutex> g(FPreviewLock);
  FPreviewInfo = TPreviewInfo{FTasks.IndexOf(engine), bitmap, frame, time};
  if (FTriggerEventInMainThread)
    CallInMainThread([this] { OnPreviewBitmap(this, FPreviewInfo); });
  else
    OnPreviewBitmap(this, FPreviewInfo);
}

void TCustomEncoder::VideoHooked(bool input, TCustomFFmpeg* engine, TPixelBuffer* bitmap, int frame, int64_t time,
                                 bool& update, bool& disable) {
  const TVideoHookEvent& handler = input ? OnVideoInputHook : OnVideoOutputHook;
  if (!handler) return;
  std::lock_guard<std::mutex> g(FVideoHookLock);
  FHookInfo = THookInfo{FTasks.IndexOf(engine), bitmap, frame, time, update, disable};
  handler(this, &FHookInfo);
  update = FHookInfo.Update;
  disable = FHookInfo.StopHook;
}

void TCustomEncoder::ConnectVideoHooks(TFFmpeg& task, const TOutputOptions& o) {
  const auto hook = [this](bool input) {
    return [this, input](TCustomFFmpeg* e, TPixelBuffer* bitmap, int frame, int64_t time, bool& update,
                         bool& disable) { VideoHooked(input, e, bitmap, frame, time, update, disable); };
  };
  if (o.VideoInputHook) task.OnVideoInputHook = hook(true);
  if (o.VideoOutputHook) task.OnVideoOutputHook = hook(false);
  task.VideoHookBitsPixel = o.VideoHookBitsPixel;
}

}  // namespace sw
