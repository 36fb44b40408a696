#pragma once
// The encoder component: an ordered list of conversion tasks, each with its input and
// output files, run one after another in the calling thread or several at once on worker
// threads, reporting decoded audio, progress and their ends through events.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "EncoderTypes.h"
#include "FFmpegTask.h"
#include "TerminateDelivery.h"
#include "media/base/FFBaseComponent.h"
#include "media/info/FFDecode.h"

namespace sw {

// One task of the list: its engine and what the caller handed in for its files.
struct TEncoderTask {
  std::unique_ptr<TFFmpeg> Engine;
  std::vector<TInputOptions> InputOptions;
  std::vector<std::unique_ptr<TFFDecoder>> InputDecoders;  // describe the opened inputs
  std::vector<TOutputOptions> OutputOptions;
};

class TFFmpegList {
 public:
  void Add(std::unique_ptr<TEncoderTask> task) { FItems.push_back(std::move(task)); }
  void Clear() { FItems.clear(); }
  void Delete(int index) { FItems.erase(FItems.begin() + index); }
  TEncoderTask& Item(int index) const { return *FItems[index]; }
  int IndexOf(const TCustomFFmpeg* engine) const;
  int Count() const { return static_cast<int>(FItems.size()); }
  // Asks every task to stop; with wait, each returns only when its task has ended.
  void StopAll(bool wait);

 private:
  std::vector<std::unique_ptr<TEncoderTask>> FItems;
};

class TCustomEncoder : public TFFBaseComponent {
 public:
  TCustomEncoder();
  ~TCustomEncoder() override;
  TCustomEncoder(const TCustomEncoder&) = delete;
  TCustomEncoder& operator=(const TCustomEncoder&) = delete;

  const std::string& Version() const { return FVersion; }
  bool Preview() const { return FPreview; }
  // Changes every task at once; switching it off closes the tasks' previewer windows.
  void SetPreview(bool v);
  bool PreviewBitmap() const { return FPreviewBitmap; }
  void SetPreviewBitmap(bool v);
  int ProgressInterval() const { return FProgressInterval; }
  void SetProgressInterval(int ms) { FProgressInterval = ms <= 100 ? 100 : ms; }
  TThreadPriority ThreadPriority() const { return FThreadPriority; }
  void SetThreadPriority(TThreadPriority v) { FThreadPriority = v; }
  bool TriggerEventInMainThread() const { return FTriggerEventInMainThread; }
  void SetTriggerEventInMainThread(bool v) { FTriggerEventInMainThread = v; }
  const std::string& ErrorText() const { return FErrorText; }

  bool LibrariesReady() const;
  bool LoadLibrariesFrom(const std::string& folder);

  // Frees every task and returns to idle; refused while working before the final notice.
  void ClearTasks();
  // Opens the input of a new task; its index, or -1 with the reason in ErrorText.
  int AddTask(const std::string& fileName, const TInputOptions* options);
  // Adds an output file to the task; false with the reason in ErrorText.
  bool SetOutputFile(int taskIndex, const std::string& fileName, const TOutputOptions* options);
  // count > 0: up to count tasks at once on worker threads; else all in this thread.
  void StartTask(int count);
  // No further task starts; while working each task is asked to stop.
  void Stop(bool wait);
  void RemoveTask(int taskIndex);
  int TaskCount() const { return FTasks.Count(); }
  // The reader describing one opened input file of a task, while the task has it open.
  TFFDecoder* InputDecoder(int taskIndex, int fileIndex) const;

  TAudioHookEvent OnAudioHook;
  TPreviewBitmapEvent OnPreviewBitmap;
  TProgressEvent OnProgress;
  TTerminateEvent OnTerminate;
  TVideoHookEvent OnVideoInputHook;
  TVideoHookEvent OnVideoOutputHook;

 private:
  void CheckWorking(const char* operation) const;
  void StartNextTask();
  void TaskTerminated(TCustomFFmpeg* engine);
  void FinalNotice();
  void AudioHooked(TCustomFFmpeg* engine, uint8_t* samples, int64_t time, int size, int rate, int channels,
                   int format);
  void Progressed(TCustomFFmpeg* engine, int fileIndex, int frame, int fps, float quality, float bitRate,
                  int64_t totalSize, int64_t time, int64_t totalDuration);
  void ApplyOutputOptions(TFFmpeg& task, const TOutputOptions& o);
  void PreviewDelivered(TCustomFFmpeg* engine, const TPixelBuffer* bitmap, int frame, int64_t time);
  void VideoHooked(bool input, TCustomFFmpeg* engine, TPixelBuffer* bitmap, int frame, int64_t time, bool& update,
                   bool& disable);
  void ConnectVideoHooks(TFFmpeg& task, const TOutputOptions& o);

  // The settings: the caller's thread writes them; the tasks' threads read the interval
  // and the priority when they start the next task, so they are set before StartTask.
  bool FPreview = false, FPreviewBitmap = false;
  int FProgressInterval = 500;
  TThreadPriority FThreadPriority = tpNormal;
  bool FTriggerEventInMainThread = true;
  std::string FErrorText;  // the caller's thread only

  // Changed only by the caller's thread while not working (CheckWorking) or after the
  // final notice; the tasks' threads only look items up in it.
  TFFmpegList FTasks;
  // The run's bookkeeping, read and written under FTerminateLock only: the tasks' threads
  // end tasks and start the next ones while the caller may stop or clear.
  int FFinishedCount = 0;
  int FNextTask = -1;
  int FRemaining = 0;
  bool FAllDone = false;  // the final notice has been given
  bool FThreaded = false;
  std::atomic<bool> FWorking{false};  // set by StartTask, cleared by ClearTasks; read anywhere
  int FTaskVerbosity = 1;
  TProgressInfo FProgressInfo;  // under FProgressLock
  TPreviewInfo FPreviewInfo;    // under FPreviewLock
  THookInfo FHookInfo;          // under FVideoHookLock

  std::mutex FAudioHookLock;  // one audio hook call at a time
  std::mutex FPreviewLock, FProgressLock, FVideoHookLock;
  std::recursive_mutex FTerminateLock;  // the run's bookkeeping above; held while tasks start
  TTerminateDeliveries FDeliveries;
};

class TFFEncoder : public TCustomEncoder {
 public:
  using TCustomEncoder::TCustomEncoder;
};

}  // namespace sw
