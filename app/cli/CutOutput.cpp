#include "CutOutput.h"

#include <cstdio>

#include "TimeArgument.h"
#include "app/FileInfoText.h"
#include "media/base/MyUtils.h"

namespace sw::cli {

std::string PrepareCutOutput(TCutJob::TRequest& request, int64_t length, const std::string& folder,
                             const std::optional<std::string>& name, bool replace) {
  const int64_t start = request.SegStartTime(), end = request.SegEndTime();
  if (end <= start || end > length) {
    std::printf("The segment must end after it starts and lie within the file's %lld seconds.\n",
                static_cast<long long>(length / 1000000));
    return "";
  }
  const TProposedOutput proposed = ProposeOutput(request.Source);
  request.Folder = folder.empty() ? proposed.Folder : folder;
  request.Name = name.value_or(proposed.Name);
  const std::string refusal = OutputRefusal(request.Folder, request.Name);
  if (!refusal.empty()) {
    std::printf("%s\n", refusal.c_str());
    return "";
  }
  request.Replace = replace;
  request.StartLabel = FormatTimeArgument(start);
  request.EndLabel = FormatTimeArgument(end);
  const std::string output = BuildOutputPath(request.Folder, request.Name);
  if (WideFileExists(output) && !replace) {
    std::printf("The file exists, do you want to replace it? Add --yes to replace %s\n", PrintableText(output).c_str());
    return "";
  }
  return output;
}

}  // namespace sw::cli
