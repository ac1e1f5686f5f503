#ifndef QUILRUN_TESTS_SUPPORT_TEMPFOLDER_H
#define QUILRUN_TESTS_SUPPORT_TEMPFOLDER_H

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace quilrun {

// A fresh folder under the system's temporary folder, removed with the object.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quilrun-test-XXXXXX").string();
    path_ = ::mkdtemp(&pattern[0]);
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

  static std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path path_;
};

}  // namespace quilrun

#endif
