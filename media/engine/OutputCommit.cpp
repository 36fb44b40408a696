// What protects the files around a task: no output may be one of the inputs, and an
// output takes its place only when it was written completely.
#include "FFmpeg.h"
#include "media/base/SafeOutput.h"
#include "media/common/FFUtils.h"
#include "media/common/UnicodeProtocol.h"

namespace sw {

namespace {

// The local file behind a format context's URL; empty for protocols.
std::string LocalName(const AVFormatContext* ctx) {
  if (!ctx || !ctx->url || !*ctx->url) return {};
  const std::string url = ctx->url;
  if (IsUnicodeUrl(url)) return UrlToFileName(url);
  return IsProtocolUrl(url) ? std::string() : url;
}

bool WritesFile(const AVFormatContext* ctx) { return !(ctx->oformat && (ctx->oformat->flags & AVFMT_NOFILE)); }

}  // namespace

void TCustomFFmpeg::CheckOutputsAreNotInputs() const {
  for (int j = 0; j < OutputFileCount(); ++j) {
    const AVFormatContext* out = FOutputFiles[j] ? FOutputFiles[j]->Context : nullptr;
    const std::string outName = LocalName(out);
    if (outName.empty() || !WritesFile(out)) continue;
    for (int i = 0; i < InputFileCount(); ++i) {
      const std::string inName = LocalName(FInputFiles[i]);
      if (!inName.empty() && SameRegularFile(inName, outName))
        RaiseFFmpeg("Output file #%d (%s) is the same file as input file #%d: an output may not overwrite its input",
                    j, outName.c_str(), i);
    }
  }
}

void TCustomFFmpeg::CommitOutputs() {
  const AVFormatContext* previous = nullptr;
  for (int j = 0; j < OutputFileCount(); ++j) {
    TOutputFile& file = *FOutputFiles[j];
    if (!file.Context || file.Context == previous) continue;  // join mode repeats one file
    previous = file.Context;
    if (file.PacketsWritten == 0)
      RaiseFFmpeg("Output file #%d received no media: the inputs hold nothing in the time range asked for", j);
    if (!file.IOOpened) continue;
    const int r = CommitOutputIO(&file.Context->pb);
    file.IOOpened = false;
    if (r < 0) {
      const std::string name = LocalName(file.Context);
      throw FFmpegException(SystemErrorText(name.empty() ? FormatText("output file #%d", j) : name, r));
    }
  }
}

}  // namespace sw
