#include "LosslessCut.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ByteReader.h"
#include "Crc16.h"
#include "EncoderTag.h"
#include "GainRamp.h"
#include "Id3Tags.h"
#include "SideInfo.h"
#include "media/base/FileKind.h"
#include "media/base/SafeOutput.h"

namespace sw::mp3 {

namespace {

// The output while it is written: a new file beside the target, put in its place only
// when complete; a device target is written in place.
class TPartFile {
 public:
  TPartFile(const std::string& target, bool replace) {
    const int fd = CreateOutputTarget(target, false, replace, FWhere);
    if (fd < 0) return;
    FFile = fdopen(fd, "wb");
    if (!FFile)
      ::close(fd);
    else
      std::setvbuf(FFile, FBuffer.data(), _IOFBF, FBuffer.size());  // frames are a few hundred bytes
  }
  ~TPartFile() {
    if (FFile) std::fclose(FFile);
    if (!FCommitted) DiscardOutputTarget(FWhere);
  }
  TPartFile(const TPartFile&) = delete;
  TPartFile& operator=(const TPartFile&) = delete;

  std::FILE* File() const { return FFile; }
  bool Write(const uint8_t* data, std::size_t size) { return std::fwrite(data, 1, size, FFile) == size; }
  // Flushes, closes and puts the file in place of the target.
  bool Commit() {
    bool ok = std::fflush(FFile) == 0;
    if (!FWhere.Temporary.empty()) ok = ok && fsync(fileno(FFile)) == 0;
    ok = std::fclose(FFile) == 0 && ok;
    FFile = nullptr;
    if (!ok) return false;
    FCommitted = true;
    return CommitOutputTarget(FWhere) == 0;
  }

 private:
  TOutputTarget FWhere;
  std::vector<char> FBuffer = std::vector<char>(256 * 1024);
  std::FILE* FFile = nullptr;
  bool FCommitted = false;
};

// Read right after the failing call, while errno still tells why. EEXIST is a file at the
// output's name that may not be replaced: there at the start, or come meanwhile (commit).
std::string WriteFailure(const std::string& output, bool commit = false) {
  const char* why = errno != EEXIST ? std::strerror(errno) : commit ? TargetAppearedWords : TargetExistsWords;
  return "Cannot write the output file " + output + ": " + why + ".";
}

// The tag frame's header: the stream's own, at the first kept frame's bit rate when the
// whole tag fits, else the smallest that holds it; free-format streams keep their size
// when the tag fits in it.
TMp3Header InfoHeader(const TMp3Source& source, int bitrateIndex, int& size) {
  TMp3Header h = source.Header();
  h.Protected = false;
  h.Padding = 0;
  if (source.FreeFormatSize() >= InfoFrameNeeds(h, false)) {
    h.BitrateIndex = 0;
    size = source.FreeFormatSize();
    return h;
  }
  // (A free-format frame too small for the tag gets a tag frame of a fixed bit rate.)
  return InfoFrameHeader(h, bitrateIndex, size);
}

// A silent frame (no granule reads a bit) whose main data ends with the reservoir
// bytes the first copied frame draws on: the last bytes of main data before it.
bool CarrierFrame(const TMp3Source& source, const TCutPlan& plan, TByteReader& in, std::vector<uint8_t>& frame) {
  TMp3Header h = source.Header();
  const int size = plan.CarrierBitrateIndex ? h.FrameSizeAt(plan.CarrierBitrateIndex) : source.FreeFormatSize();
  h.BitrateIndex = plan.CarrierBitrateIndex;
  frame.assign(static_cast<std::size_t>(size), 0);
  const uint32_t raw = h.With(plan.CarrierBitrateIndex, 0, h.Protected);
  for (int b = 0; b < 4; ++b) frame[static_cast<std::size_t>(b)] = static_cast<uint8_t>(raw >> (24 - 8 * b));
  std::size_t to = frame.size();
  int64_t left = plan.CarrierBytes;
  for (int64_t i = plan.FirstFrame - 1; left > 0 && i >= 0; --i) {
    const TMp3Frame& f = source.Frames()[static_cast<std::size_t>(i)];
    const int64_t take = std::min<int64_t>(left, f.MainDataSize);
    const uint8_t* p = in.Peek(f.Offset + f.Size - take, static_cast<std::size_t>(take));
    if (!p) return false;
    to -= static_cast<std::size_t>(take);
    std::memcpy(&frame[to], p, static_cast<std::size_t>(take));
    left -= take;
  }
  UpdateFrameCrc(h, frame.data());
  return left == 0;
}

}  // namespace

bool TLosslessCut::Fail(const std::string& text) {
  FErrorText = text;
  return false;
}

bool TLosslessCut::Run(const TMp3Source& source, const TLosslessCutRequest& r) {
  FErrorText.clear();
  FChangedFrames = 0;
  const TMp3Header& stream = source.Header();
  const int rate = stream.SampleRate;
  std::string error;
  if (r.StartTime < 0 || r.EndTime <= r.StartTime)
    return Fail("Cannot cut without re-encoding: the segment is empty or outside the file.");
  if (!PlanCut(source, SampleAt(r.StartTime, rate), SampleAt(r.EndTime, rate), FPlan, error))
    return Fail("Cannot cut without re-encoding: " + error + ".");
  for (const std::string& note : source.Notes()) Log(note);
  for (const std::string& note : FPlan.Notes) Log(note);

  TByteReader in;
  if (!in.Open(source.Path()) || in.Size() != source.FileSize())
    return Fail("Cannot cut without re-encoding: the source changed or cannot be read.");
  const auto& frames = source.Frames();
  const std::size_t first = static_cast<std::size_t>(FPlan.FirstFrame), last = static_cast<std::size_t>(FPlan.LastFrame);

  // The new tag frame, its counts and seek table from the frame index.
  int infoSize = 0;
  const TMp3Header infoHeader = InfoHeader(source, frames[first].BitrateIndex, infoSize);
  TInfoFrameFields fields;
  int64_t audioBytes = 0;
  for (std::size_t i = first; i <= last; ++i) {
    if (OnQueryStop && OnQueryStop()) return Fail("Stopped: the cut was not completed.");
    audioBytes += frames[i].Size;
    fields.Xing |= frames[i].BitrateIndex != frames[first].BitrateIndex;
  }
  std::vector<uint8_t> carrier;
  if (FPlan.Lead && !CarrierFrame(source, FPlan, in, carrier))
    return Fail("Cannot read the source's bit reservoir.");
  audioBytes += static_cast<int64_t>(carrier.size());
  fields.Xing |= !carrier.empty() && FPlan.CarrierBitrateIndex != frames[first].BitrateIndex;
  fields.Frames = static_cast<uint32_t>(FPlan.OutputFrames());
  fields.Bytes = static_cast<uint32_t>(infoSize + audioBytes);
  fields.Toc = InfoSeekTable(FPlan.OutputFrames(), infoSize, fields.Bytes, [&](int64_t j) {
    if (!carrier.empty() && j == 0) return static_cast<int64_t>(carrier.size());
    return static_cast<int64_t>(frames[first + static_cast<std::size_t>(j) - (carrier.empty() ? 0 : 1)].Size);
  });
  if (source.Tag().HasGapless) {
    fields.Lame = source.Tag().Lame;
    fields.Quality = source.Tag().Quality;
  } else {
    // Decoders look for this name before they take the delay and padding.
    std::memcpy(fields.Lame.data(), "LAME", 4);
    fields.Lame[9] = 0x10;
  }
  fields.Delay = FPlan.Delay;
  fields.Padding = FPlan.Padding;

  if (SameRegularFile(source.Path(), r.Output))
    return Fail("The output file " + r.Output + " is the source itself: a cut may not overwrite its source.");
  if (const TNotAFile kind = NotAFile(r.Output, true)) return Fail(r.Output + ": " + NotAFileWords(kind));
  TPartFile out(r.Output, r.Replace);
  if (!out.File()) return Fail(WriteFailure(r.Output));
  // The source's ID3v2 tag, without a length frame that now tells a wrong length.
  if (r.Id3v2Tag) {
    if (!out.Write(r.Id3v2Tag->data(), r.Id3v2Tag->size())) return Fail(WriteFailure(r.Output));
  } else if (source.Id3v2Size() > 0) {
    const uint8_t* p = in.Peek(0, static_cast<std::size_t>(source.Id3v2Size()));
    if (!p) return Fail("Cannot read the source's ID3v2 tag.");
    std::vector<uint8_t> tag(p, p + source.Id3v2Size());
    DropId3v2Frame(tag, "TLEN");
    if (!out.Write(tag.data(), tag.size())) return Fail(WriteFailure(r.Output));
  }
  const long infoOffset = std::ftell(out.File());
  std::vector<uint8_t> info = BuildInfoFrame(infoHeader, infoSize, fields);
  if (info.empty()) return Fail("Cannot cut without re-encoding: no frame of this stream holds the encoder tag.");
  if (!out.Write(info.data(), info.size())) return Fail(WriteFailure(r.Output));

  // The frames, with the granules inside the ramps lowered.
  const TGainRamp ramp(FPlan.Samples(), SampleAt(r.FadeTime, rate), r.Volume);
  const int64_t spf = stream.SamplesPerFrame();
  const int granules = stream.Granules();
  std::vector<uint8_t> buffer;
  uint16_t musicCrc = TagCrc(carrier.data(), carrier.size());
  if (!carrier.empty() && !out.Write(carrier.data(), carrier.size()))
    return Fail(WriteFailure(r.Output));
  const int64_t shift = carrier.empty() ? 0 : 1;  // output frames before the first copied one
  for (std::size_t i = first; i <= last; ++i) {
    if (OnQueryStop && OnQueryStop()) return Fail("Stopped: the cut was not completed.");
    const uint8_t* p = in.Peek(frames[i].Offset, static_cast<std::size_t>(frames[i].Size));
    if (!p) return Fail("Cannot read the source at byte " + std::to_string(frames[i].Offset) + ".");
    const uint8_t* data = p;
    TMp3Header h;
    ParseHeader(p, h);
    int steps[2];
    bool change = false;
    for (int g = 0; g < granules; ++g) {
      // A granule's sound spreads over its 1152-sample transform window; it gets the gain
      // of the window's quieter end, so that the sound a granule overlaps into a ramp's
      // silent end is no louder than the ramp there (the first and last 2 ms are silent).
      const int64_t raw = (static_cast<int64_t>(i - first) + shift) * spf + g * 576 + 576;
      const double centre = static_cast<double>(raw - FPlan.Delay - DecoderDelay);
      steps[g] = std::max(ramp.Steps(centre - 576), ramp.Steps(centre + 576));
      change |= steps[g] > 0;
    }
    if (change) {
      buffer.assign(p, p + frames[i].Size);
      uint8_t* side = buffer.data() + h.HeaderSize();
      for (int g = 0; g < granules; ++g)
        for (int c = 0; c < h.Channels(); ++c)
          SetGlobalGain(h, side, g, c, std::max(0, GlobalGain(h, side, g, c) - steps[g]));
      UpdateFrameCrc(h, buffer.data());
      data = buffer.data();
      ++FChangedFrames;
    }
    musicCrc = TagCrc(data, static_cast<std::size_t>(frames[i].Size), musicCrc);
    if (!out.Write(data, static_cast<std::size_t>(frames[i].Size)))
      return Fail(WriteFailure(r.Output));
    if (OnProgress) OnProgress(static_cast<int64_t>(i - first + 1), static_cast<int64_t>(last - first + 1));
  }
  if (!r.Id3v2Tag && source.Id3v1Offset() >= 0) {
    const uint8_t* p = in.Peek(source.Id3v1Offset(), Id3v1Size);
    if (!p || !out.Write(p, Id3v1Size)) return Fail("Cannot copy the source's ID3v1 tag.");
  }
  fields.MusicCrc = musicCrc;
  info = BuildInfoFrame(infoHeader, infoSize, fields);
  if (std::fseek(out.File(), infoOffset, SEEK_SET) != 0 || !out.Write(info.data(), info.size()))
    return Fail(WriteFailure(r.Output));
  if (!out.Commit()) return Fail(WriteFailure(r.Output, true));
  Log("Copied frames " + std::to_string(FPlan.FirstFrame) + " to " + std::to_string(FPlan.LastFrame) + " (" +
      std::to_string(FChangedFrames) + " with lowered gain); encoder delay " + std::to_string(FPlan.Delay) +
      ", padding " + std::to_string(FPlan.Padding) + ".");
  return true;
}

}  // namespace sw::mp3
