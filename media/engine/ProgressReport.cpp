// Progress reports during the run and the final one.
#include <algorithm>
#include <cmath>

#include "RunTables.h"

namespace sw {

int64_t TCustomFFmpeg::TRun::OutputFileSize(int file) const {
  if (file >= E.OutputFileCount()) return 0;
  AVIOContext* pb = E.OutputFile(file)->Context->pb;
  if (!pb) return 0;
  // The write position counts what still sits in the write buffer; the size on disk
  // does not, and is larger only after a muxer went back to fill in a header.
  return std::max<int64_t>({ff::avio_seek(pb, 0, SEEK_CUR), ff::avio_size(pb), 0});
}

void TCustomFFmpeg::TRun::ProgressReport(bool last, int fileIndex) {
  const double totalSize = static_cast<double>(std::max<int64_t>(0, OutputFileSize(0)));
  int frames = -1, fps = -1;
  float quality = -1.0f;
  std::string text;
  bool firstVideo = true;
  for (TOutputStream& ost : Ost) {
    if (ost.Stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
    const float q = !ost.EncodingNeeded ? -1.0f : VideoQuality(ost);
    if (firstVideo && ost.EncodingNeeded && ost.Active) {
      firstVideo = false;
      frames = ost.FrameNumber;
      if (frames < 1) return;
      const double elapsed = (WallClock() - TimerStart) / 1e6;
      fps = elapsed > 1 ? static_cast<int>(frames / elapsed + 0.5) : 0;
      quality = q;
      text += FormatText("frame=%5d fps=%3d q=%3.1f ", frames, fps, q);
      if (last) text += "L";
      text += VideoQualityText(ost, last);
    } else if (!firstVideo) {
      text += FormatText("q=%2.1f ", q);
    }
  }

  double outputTime = 1e10;
  for (const TOutputStream& ost : Ost) {
    const double t = static_cast<double>(ost.MuxPosition) * ost.Stream->time_base.num / ost.Stream->time_base.den;
    if (t > 0 && t < outputTime) outputTime = t;
  }
  if (outputTime < 0.01 || outputTime >= 1e10) outputTime = 0.01;

  if (E.OnProgress || S.Verbosity > 0 || last) {
    const double bitRate = totalSize * 8 / outputTime / 1000;
    text += FormatText("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", totalSize / 1024, outputTime, bitRate);
    if (DuplicatedFrames || DroppedFrames) text += FormatText(" dup=%d drop=%d", DuplicatedFrames, DroppedFrames);
    if (E.OnProgress) {
      E.OnProgress(&E, fileIndex, frames, fps, quality, static_cast<float>(bitRate), static_cast<int64_t>(totalSize),
                   static_cast<int64_t>(outputTime * 1000000), S.TotalDuration);
      if (S.Verbosity >= 0 && DupDropNotice) {
        E.Log(llVerbose, "%s", text.c_str());
        DupDropNotice = false;
      }
    } else if (S.Verbosity >= 0) {
      E.Log(llVerbose, "%s", text.c_str());
    }
  }

  if (last && S.Verbosity >= 0) {
    const double media = static_cast<double>(VideoBytes + AudioBytes + GlobalHeaderBytes);
    E.Log(llVerbose, "video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %f%%\r\n",
          VideoBytes / 1024.0, AudioBytes / 1024.0, GlobalHeaderBytes / 1024.0,
          media > 0 ? 100.0 * (totalSize - media) / media : 0.0);
  }
}

}  // namespace sw
