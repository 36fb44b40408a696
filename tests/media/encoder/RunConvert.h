#pragma once
// One conversion through a task: input options, input, output options, output.
#include <functional>
#include <string>
#include <vector>

#include "media/encoder/FFmpegTask.h"

// Applies "name=value" lines to the task.
inline void ApplyLines(sw::TFFmpeg& task, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    const auto eq = line.find('=');
    task.ApplyOption(line.substr(0, eq), line.substr(eq + 1));
  }
}

// Runs a prepared task: "" when it finished normally, else the error text (or "stopped").
inline std::string RunTranscode(sw::TFFmpeg& task) {
  try {
    task.Transcode();
  } catch (const sw::FFmpegException& e) {
    task.CleanUp();
    return e.what();
  }
  task.CleanUp();
  return task.FinishedNormally() ? "" : "stopped";
}

// "" when the conversion finished normally, else the error text (or "stopped").
// format: forced input format, or nullptr.
inline std::string RunConvert(const std::string& input, const char* format, const std::string& output,
                              const std::vector<std::string>& inputLines, const std::vector<std::string>& lines,
                              const std::function<void(sw::TFFmpeg&)>& prepare = nullptr) {
  sw::TFFmpeg task;
  if (format) task.ApplyOption("f", format);
  ApplyLines(task, inputLines);
  if (!task.OpenInputFile(input)) return "input: " + task.ErrorText();
  ApplyLines(task, lines);
  if (task.OpenOutputFile(output, false) < 0) return "output: " + task.ErrorText();
  if (prepare) prepare(task);
  return RunTranscode(task);
}
