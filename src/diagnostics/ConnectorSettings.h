#ifndef QUILRUN_DIAGNOSTICS_CONNECTORSETTINGS_H
#define QUILRUN_DIAGNOSTICS_CONNECTORSETTINGS_H

#include <cstdint>
#include <string>

namespace quilrun {

// The limits and TLS settings of the library, read from the configuration
// file with the same line rules as LogLevel (see QuillonUtils). A key that is
// absent, empty, not a number or out of range keeps its default, silently:
//   MaxConnections      open web-service connections over all data files (32, 1..1024)
//   MaxDataFiles        data-file caches kept at once (2000, 1..1000000)
//   ConnectTimeout      seconds to connect, and to wait for a free connection (10, 1..3600)
//   RequestTimeout      seconds for a whole transfer, 0 for no limit (60, 0..86400)
//   MaxReplyMB          largest reply taken, in MiB (64, 1..1024)
//   VerifyCertificates  1: check the web service's certificate and host name (0, 0..1)
//   CertificateFile     a PEM file of certificates to trust instead of the
//                       system's, used with VerifyCertificates = 1 ("")
// Thread-safety: a plain value.
struct ConnectorSettings {
  int maxConnections = 32;
  int maxDataFiles = 2000;
  int connectTimeout = 10;
  int requestTimeout = 60;
  int maxReplyMB = 64;
  bool verifyCertificates = false;
  std::string certificateFile;

  // The largest reply in bytes.
  std::int64_t maxReplyBytes() const { return static_cast<std::int64_t>(maxReplyMB) << 20; }

  // The settings of the configuration file fileName; the defaults where it
  // gives none, or when it cannot be read. Writes no log line.
  static ConnectorSettings read(const std::string& fileName);

  // The settings that the lines of text give (lines end at LF; a CR before
  // the LF is dropped), the first line that yields a key's value winning.
  static ConnectorSettings parse(const std::string& text);

  bool operator==(const ConnectorSettings& other) const;
};

}  // namespace quilrun

#endif
