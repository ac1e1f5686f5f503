#ifndef QUILRUN_TESTS_SUPPORT_INSTALLATION_H
#define QUILRUN_TESTS_SUPPORT_INSTALLATION_H

#include <filesystem>
#include <fstream>
#include <string>

#include "diagnostics/QuillonUtils.h"
#include "support/FakePlatform.h"
#include "support/TempFolder.h"

namespace quilrun {

// A report server installation in a temporary folder, seen by the library as
// its host's: <root>/platform/bin/host, the configuration file naming
// <root>/share as the data share, and <root>/share/Talmxmlfiles for the data
// files. The settings are forgotten before and after.
class Installation {
 public:
  Installation() : platform_((root_.path() / "platform" / "bin" / "host").string()) {
    root_.makeFolder("platform/bin");
    root_.makeFolder("share/Talmxmlfiles");
    writeConfiguration("DataShare=" + share().string() + "\n");
    QuillonUtils::reset();
  }
  ~Installation() { QuillonUtils::reset(); }

  std::filesystem::path root() const { return root_.path(); }
  std::filesystem::path share() const { return root_.path() / "share"; }

  void writeConfiguration(const std::string& content) const {
    root_.makeFolder("platform/configuration");
    std::ofstream(root_.path() / "platform" / "configuration" / "corvane_talm_Quilrun.config",
                  std::ios::binary)
        << content;
  }

  // Writes the data file of name (the file <name>-i in the data share).
  void writeDataFile(const std::string& name, const std::string& content) const {
    std::ofstream(share() / "Talmxmlfiles" / (name + "-i"), std::ios::binary) << content;
  }

  // A data file naming a session and a web-service URL.
  void writeSession(const std::string& name, const std::string& sessionId,
                    const std::string& url) const {
    writeDataFile(name, "<session><jsessionId>" + sessionId + "</jsessionId><webserviceURL>" +
                            url + "</webserviceURL></session>");
  }

  FakePlatform& platform() { return platform_; }

 private:
  TempFolder root_;
  FakePlatform platform_;
};

}  // namespace quilrun

#endif
