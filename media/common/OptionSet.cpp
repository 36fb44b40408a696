#include "OptionSet.h"

#include "media/binding/FFLog.h"

namespace sw {

namespace {

constexpr int TypeFlags[5] = {AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0, AV_OPT_FLAG_SUBTITLE_PARAM, 0};

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// 1 taken, 0 not known, negative refused.
int TryOption(void* object, const std::string& name, const std::string& value, int mask) {
  if (!object || !ff::av_opt_find(object, name.c_str(), nullptr, mask, 0)) return 0;
  const int r = ff::av_opt_set(object, name.c_str(), value.c_str(), 0);
  return r < 0 ? r : 1;
}

}  // namespace

TLibraryOptionSet::TLibraryOptionSet(int scalerFlags) {
  for (int t = 0; t < 5; ++t) {
    FCodec[t].reset(ff::avcodec_alloc_context3(nullptr));
    if (FCodec[t]) FCodec[t]->codec_type = static_cast<AVMediaType>(t);
  }
  FFormat.reset(ff::avformat_alloc_context());
  FScaler.reset(ff::sws_getContext(16, 16, AV_PIX_FMT_YUV420P, 16, 16, AV_PIX_FMT_YUV420P, scalerFlags, nullptr,
                                   nullptr, nullptr));
}

TLibraryOptionSet::~TLibraryOptionSet() = default;

std::unique_ptr<TLibraryOptionSet> CreateOptionSet(int scalerFlags) {
  return std::make_unique<TLibraryOptionSet>(scalerFlags);
}

bool TLibraryOptionSet::SetLibraryOption(const std::string& name, const std::string& rawValue) {
  const std::string value = Trim(rawValue);
  if (name.empty() || value.empty() || Trim(name) != name) return false;
  int result = 0;
  bool taken = false;
  for (int t = 0; t < 5 && result >= 0; ++t) {
    result = TryOption(FCodec[t].get(), name, value, TypeFlags[t]);
    taken = taken || result > 0;
  }
  if (!taken && result == 0) result = TryOption(FFormat.get(), name, value, 0);
  if (!taken && result == 0) result = TryOption(FScaler.get(), name, value, 0);
  if (!taken && result == 0 && name.size() > 1) {
    const int type = name[0] == 'a' ? AVMEDIA_TYPE_AUDIO : name[0] == 'v' ? AVMEDIA_TYPE_VIDEO
                     : name[0] == 's' ? AVMEDIA_TYPE_SUBTITLE : -1;
    if (type >= 0) result = TryOption(FCodec[type].get(), name.substr(1), value, 0);
  }
  if (result < 0) {
    ff::av_log(nullptr, AV_LOG_ERROR, "Invalid value \"%s\" for option \"%s\"\n", value.c_str(), name.c_str());
    return false;
  }
  if (!taken && result == 0) return false;
  FNames.push_back(name);
  if ((FCodec[AVMEDIA_TYPE_VIDEO] && FCodec[AVMEDIA_TYPE_VIDEO]->debug) || (FFormat && FFormat->debug))
    GetLogger()->SetLogLevel(llDebug);
  return true;
}

std::vector<TOptionValue> TLibraryOptionSet::LibraryOptionValues(void* tmpl, int flags) const {
  std::vector<TOptionValue> values;
  for (const std::string& name : FNames) {
    const AVOption* option = ff::av_opt_find(tmpl, name.c_str(), nullptr, 0, 0);
    uint8_t* value = nullptr;
    if (!option || (option->flags & flags) != flags) continue;
    if (ff::av_opt_get(tmpl, name.c_str(), 0, &value) >= 0 && value)
      values.emplace_back(name, reinterpret_cast<const char*>(value));
    ff::av_free(value);
  }
  return values;
}

void TLibraryOptionSet::ApplyLibraryOptions(void* target, void* tmpl, int flags) const {
  for (const auto& [name, value] : LibraryOptionValues(tmpl, flags)) ff::av_opt_set(target, name.c_str(), value.c_str(), 0);
}

}  // namespace sw
