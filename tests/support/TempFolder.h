#ifndef QUILRUN_TESTS_SUPPORT_TEMPFOLDER_H
#define QUILRUN_TESTS_SUPPORT_TEMPFOLDER_H

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace quilrun {

// A fresh folder under the system's temporary folder, removed with the object.
class TempFolder {
 public:
  TempFolder() {
    // A random name that nobody has taken yet; create_directory reports
    // whether this call made the folder.
    std::random_device random;
    const char* const letters = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (;;) {
      std::string name = "quilrun-test-";
      for (int i = 0; i < 10; ++i) name += letters[random() % 36];
      path_ = std::filesystem::temp_directory_path() / name;
      if (std::filesystem::create_directory(path_)) return;
    }
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Creates the folder rel (and its parents) and returns its path.
  std::filesystem::path makeFolder(const std::string& rel) const {
    std::filesystem::create_directories(path_ / rel);
    return path_ / rel;
  }

  // The file read in text mode: a Windows line end reads as "\n".
  static std::string readTextFile(const std::filesystem::path& file) {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  static std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path path_;
};

}  // namespace quilrun

#endif
