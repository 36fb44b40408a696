#include "EnvelopeCache.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace sw {

namespace {

constexpr char kMagic[8] = {'S', 'W', 'E', 'N', 'V', '0', '0', '1'};

std::string EntryName(const TEnvelopeKey& key) {
  uint64_t hash = 1469598103934665603ull;  // FNV-1a over the path
  for (unsigned char c : key.Path) hash = (hash ^ c) * 1099511628211ull;
  char name[40];
  std::snprintf(name, sizeof name, "%016llx-%d.env", static_cast<unsigned long long>(hash), key.Columns);
  return name;
}

template <class T>
void Put(std::ostream& out, const T& v) {
  out.write(reinterpret_cast<const char*>(&v), sizeof v);
}
template <class T>
bool Get(std::istream& in, T& v) {
  return static_cast<bool>(in.read(reinterpret_cast<char*>(&v), sizeof v));
}

}  // namespace

std::string EnvelopeCacheFolder() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  // Relative values are to be ignored, like an unset one.
  if (xdg && xdg[0] == '/') return std::string(xdg) + "/snipwave/waveforms";
  const char* home = std::getenv("HOME");
  if (home && home[0]) return std::string(home) + "/.cache/snipwave/waveforms";
  return {};
}

bool EnvelopeKeyOf(const std::string& fileName, int columns, TEnvelopeKey& key) {
  std::error_code ec;
  const std::filesystem::path path = std::filesystem::absolute(fileName, ec);
  struct stat st {};
  if (ec || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  key.Path = path.lexically_normal().string();
  key.Size = st.st_size;
  key.ModifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  key.Columns = columns;
  return true;
}

bool LoadEnvelope(const std::string& folder, const TEnvelopeKey& key, TEnvelope& envelope) {
  if (folder.empty()) return false;
  std::ifstream in(folder + "/" + EntryName(key), std::ios::binary);
  char magic[sizeof kMagic];
  uint32_t pathLength = 0;
  if (!in.read(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof kMagic) != 0) return false;
  if (!Get(in, pathLength) || pathLength != key.Path.size()) return false;
  std::string path(pathLength, '\0');
  int64_t size = 0, modified = 0;
  int32_t columns = 0;
  TEnvelope e;
  if (!in.read(path.data(), pathLength) || path != key.Path) return false;
  if (!Get(in, size) || !Get(in, modified) || !Get(in, columns) || !Get(in, e.Duration) ||
      !Get(in, e.DecodedDuration))
    return false;
  if (size != key.Size || modified != key.ModifiedNs || columns != key.Columns || columns <= 0) return false;
  e.Columns.resize(static_cast<std::size_t>(columns));
  if (!in.read(reinterpret_cast<char*>(e.Columns.data()), static_cast<std::streamsize>(columns * sizeof(TPeak))))
    return false;
  if (in.peek() != std::char_traits<char>::eof()) return false;
  e.Filled = columns;
  envelope = std::move(e);
  return true;
}

bool StoreEnvelope(const std::string& folder, const TEnvelopeKey& key, const TEnvelope& envelope) {
  if (folder.empty() || !envelope.Complete() || static_cast<int>(envelope.Columns.size()) != key.Columns)
    return false;
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  const std::string target = folder + "/" + EntryName(key);
  std::ostringstream suffix;
  suffix << ".part-" << ::getpid() << "-" << std::this_thread::get_id();
  const std::string part = target + suffix.str();
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out.write(kMagic, sizeof kMagic);
    Put(out, static_cast<uint32_t>(key.Path.size()));
    out.write(key.Path.data(), static_cast<std::streamsize>(key.Path.size()));
    Put(out, key.Size);
    Put(out, key.ModifiedNs);
    Put(out, static_cast<int32_t>(key.Columns));
    Put(out, envelope.Duration);
    Put(out, envelope.DecodedDuration);
    out.write(reinterpret_cast<const char*>(envelope.Columns.data()),
              static_cast<std::streamsize>(envelope.Columns.size() * sizeof(TPeak)));
    out.close();
    if (!out) {
      std::filesystem::remove(part, ec);
      return false;
    }
  }
  std::filesystem::rename(part, target, ec);
  if (!ec) return true;
  std::filesystem::remove(part, ec);
  return false;
}

}  // namespace sw
