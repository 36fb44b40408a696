#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it.
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

// The whole content of a file; empty when it cannot be read.
inline std::string FileContent(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class TTempDir {
 public:
  TTempDir() {
    std::random_device rd;
    FPath = std::filesystem::temp_directory_path() / ("snipwave-test-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(FPath);
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  std::string Path() const { return FPath.string(); }
  std::string File(const std::string& name) const { return (FPath / name).string(); }
  std::string Write(const std::string& name, const std::string& content) const {
    std::ofstream(File(name), std::ios::binary) << content;
    return File(name);
  }

 private:
  std::filesystem::path FPath;
};
