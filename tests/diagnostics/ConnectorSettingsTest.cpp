#include "diagnostics/ConnectorSettings.h"

#include <gtest/gtest.h>

#include <string>

#include "support/Installation.h"

namespace quilrun {
namespace {

TEST(ConnectorSettingsTest, ReadsEachKeyAndKeepsTheDefaultForAnythingElse) {
  const ConnectorSettings defaults;
  EXPECT_EQ(defaults.maxConnections, 32);
  EXPECT_EQ(defaults.maxDataFiles, 2000);
  EXPECT_EQ(defaults.connectTimeout, 10);
  EXPECT_EQ(defaults.requestTimeout, 60);
  EXPECT_EQ(defaults.maxReplyMB, 64);
  EXPECT_EQ(defaults.maxReplyBytes(), 64LL << 20);
  EXPECT_FALSE(defaults.verifyCertificates);
  EXPECT_EQ(defaults.certificateFile, "");

  const ConnectorSettings all = ConnectorSettings::parse(
      "LogLevel = 4\r\n"
      "MaxConnections = 4 # small\n"
      "MaxDataFiles=10\n"
      "ConnectTimeout\t=\t3\n"
      "RequestTimeout = 0\n"
      "MaxReplyMB = 1\n"
      "VerifyCertificates = 1\n"
      "CertificateFile = /etc/erp/ca.pem  \n");
  EXPECT_EQ(all.maxConnections, 4);
  EXPECT_EQ(all.maxDataFiles, 10);
  EXPECT_EQ(all.connectTimeout, 3);
  EXPECT_EQ(all.requestTimeout, 0);
  EXPECT_EQ(all.maxReplyMB, 1);
  EXPECT_TRUE(all.verifyCertificates);
  EXPECT_EQ(all.certificateFile, "/etc/erp/ca.pem");

  struct Case {
    const char* text;
    const char* why;
  };
  const Case keepDefaults[] = {
      {"MaxConnections =\nMaxDataFiles = many\nConnectTimeout = 0\nRequestTimeout = -1\n"
       "MaxReplyMB = 1025\nVerifyCertificates = 2\n",
       "empty, not a number, out of range"},
      {"#MaxConnections = 4\nMaxDataFiles = 99999999999\nVerifyCertificates = yes\n",
       "commented out, beyond 32 bits, a word"},
      {"", "nothing"},
  };
  for (const Case& c : keepDefaults) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(ConnectorSettings::parse(c.text), defaults);
  }
  // As for LogLevel, the first line that gives a value wins.
  EXPECT_EQ(ConnectorSettings::parse("MaxConnections=\nMaxConnections=7\nMaxConnections=9\n")
                .maxConnections,
            7);
}

TEST(ConnectorSettingsTest, ReadsTheConfigurationFileWithoutALogLine) {
  Installation installation;
  installation.writeConfiguration("MaxDataFiles = 12\nRequestTimeout = 5\n");
  const std::string file = QuillonUtils::initConfigFileName();
  const ConnectorSettings settings = ConnectorSettings::read(file);
  EXPECT_EQ(settings.maxDataFiles, 12);
  EXPECT_EQ(settings.requestTimeout, 5);
  EXPECT_EQ(ConnectorSettings::read(file + ".missing"), ConnectorSettings());
  EXPECT_EQ(ConnectorSettings::read(""), ConnectorSettings());
}

}  // namespace
}  // namespace quilrun
