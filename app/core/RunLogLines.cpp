#include "RunLogLines.h"

#include "FileInfoText.h"
#include "VolumeScales.h"

namespace sw {

std::vector<std::string> CutRequestLines(const TCutRequest& r, const std::string& outputPath) {
  return {"Begin Time:" + FormatSegmentTime(r.StartTime), "End Time:" + FormatSegmentTime(r.EndTime),
          "Output:" + PrintableText(outputPath), "Volume:" + std::to_string(CutVolume(r.Volume))};
}

std::vector<std::string> CutFailedLines(const std::string& reason) {
  return {"Failed to cut file.", "Error Message:", PrintableText(reason)};
}

std::vector<std::string> FileInfoLogLines(const std::vector<std::string>& infoLines) {
  std::vector<std::string> lines{"============ file info ================"};
  for (const std::string& line : infoLines)
    for (unsigned char c : line)
      if (c > ' ') {
        lines.push_back(line);
        break;
      }
  lines.push_back("=======================================");
  return lines;
}

}  // namespace sw
