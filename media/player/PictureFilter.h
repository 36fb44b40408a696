#pragma once
// The filter graph that decoded pictures go through when the player has a video filter
// text: a buffer source named "src", the parsed text, an output named "out". It is made
// for the first picture and made again when the pictures change size or format.
#include <functional>
#include <string>

#include "media/binding/AVFilterStubs.h"
#include "media/common/FFHandles.h"

namespace sw {

class TPictureFilter {
 public:
  explicit TPictureFilter(std::string text) : FText(std::move(text)) {}
  ~TPictureFilter() { Free(); }
  TPictureFilter(const TPictureFilter&) = delete;
  TPictureFilter& operator=(const TPictureFilter&) = delete;

  // Passes the picture through and hands each picture that comes out, with its time base,
  // to take (which answers false to stop). False with error set when the graph cannot be
  // made or run.
  bool Filter(const AVFrame& picture, AVRational timeBase, AVRational sampleAspect,
              const std::function<bool(const AVFrame&, AVRational)>& take, std::string& error);

 private:
  bool Configure(const AVFrame& picture, AVRational timeBase, AVRational sampleAspect, std::string& error);
  void Free();

  std::string FText;
  AVFilterGraph* FGraph = nullptr;
  AVFilterContext* FSource = nullptr;  // owned by the graph
  AVFilterContext* FSink = nullptr;
  int FWidth = 0, FHeight = 0, FFormat = -1;
};

}  // namespace sw
