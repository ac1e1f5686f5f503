// The web-service client against erp-sim, the ERP simulator, run as a child
// process on a free port with the demo fixtures: every operation's answer,
// the refusals of the server, every fault it can inject, HTTPS, connection
// reuse; and, against the in-process capture server, how transfers of one
// and of two data files overlap.
#include "server/WebServiceClient.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "cache/DataFileCache.h"
#include "erp-sim/ErpSimProcess.h"
#include "support/CaptureServer.h"
#include "support/CapturingSink.h"
#include "support/FakeClock.h"
#include "support/Installation.h"
#include "support/TempFolder.h"

namespace quilrun {
namespace {

// The two sessions of the demo fixtures: company 042, English (language 2),
// decimal point, data files R1001 and R1002; company 1200, German
// (language 3), decimal comma, data file R2001.
const char* const kEnglish = "9F2C4E61A07B3D58C1E2F3A4B5C6D7E8";
const char* const kGerman = "4D7A1C2B9E8F06A5B3C4D2E1F0A9B8C7";
const char* const kUnknownSession = "0123456789ABCDEF0123456789ABCDEF";

// True when a line of log has the level word, the function name and a
// message starting with message.
bool logged(const CapturingSink& log, const char* level, const char* function,
            const std::string& message) {
  for (const std::string& line : log.lines()) {
    if (line.find(std::string("[") + level) != std::string::npos &&
        line.find(std::string("], [") + function) != std::string::npos &&
        line.find("]: " + message) != std::string::npos) {
      return true;
    }
  }
  return false;
}

bool loggedFrom(const CapturingSink& log, const char* function) {
  return log.text().find(std::string("], [") + function) != std::string::npos;
}

// The number after "key": in erp-sim's statistics line; -1 when absent.
long statCount(const std::string& stats, const std::string& key) {
  const std::string marker = "\"" + key + "\":";
  const std::size_t at = stats.find(marker);
  return at == std::string::npos ? -1 : std::stol(stats.substr(at + marker.size()));
}

using Variant = std::tuple<std::string, std::string, int, int>;  // code, text, length, height

std::vector<Variant> variantsOf(const std::vector<LabelData>& labels) {
  std::vector<Variant> variants;
  for (const LabelData& label : labels) {
    variants.emplace_back(label.getCode(), label.getText(), label.getLength(), label.getHeight());
  }
  return variants;
}

// One erp-sim with the demo fixtures for the whole suite; each test gets a
// fresh data share in which it writes the data files it uses.
class ClientErpSimTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    curl_global_init(CURL_GLOBAL_ALL);
    folder_ = new TempFolder();
    sim_ = start({"--port", "0", "--data", QUILRUN_DEMO_FIXTURES}, "stderr.txt");
  }
  static void TearDownTestSuite() {
    if (sim_ != nullptr) {
      EXPECT_EQ(sim_->stop(SIGTERM), 0) << sim_->errorOutput();
    }
    delete sim_;
    sim_ = nullptr;
    delete folder_;
    folder_ = nullptr;
    curl_global_cleanup();
  }

  static ErpSimProcess* start(const std::vector<std::string>& args, const std::string& errors) {
    return new ErpSimProcess(QUILRUN_ERP_SIM, args, (folder_->path() / errors).string());
  }

  ClientErpSimTest() { QuillonUtils::getDataShare(); }

  void SetUp() override {
    ASSERT_FALSE(sim_->url().empty()) << sim_->errorOutput();
    post(*sim_, "/faults", "");
  }

  // A cache for the data file name whose data file names session and url
  // (erp-sim's own URL unless given).
  std::unique_ptr<DataFileCache> open(const char* name, const char* session,
                                      const std::string& url = std::string()) {
    installation_.writeSession(name, session, url.empty() ? sim_->url() : url);
    return std::make_unique<DataFileCache>(name);
  }

  // A test endpoint of sim, each over a connection of its own.
  static std::string get(const ErpSimProcess& sim, const std::string& path) {
    httplib::Client client(sim.root());
    client.enable_server_certificate_verification(false);
    const auto result = client.Get(path.c_str());
    return result ? result->body : "<no reply: " + httplib::to_string(result.error()) + ">";
  }
  static void post(const ErpSimProcess& sim, const std::string& path, const std::string& body) {
    httplib::Client client(sim.root());
    client.enable_server_certificate_verification(false);
    const auto result = client.Post(path.c_str(), body, "text/plain");
    ASSERT_TRUE(result) << httplib::to_string(result.error());
    ASSERT_EQ(result->status, 200) << result->body;
  }

  static TempFolder* folder_;
  static ErpSimProcess* sim_;
  Installation installation_;
  WebServiceClient client_{std::make_unique<CurlHelper>()};
};

TempFolder* ClientErpSimTest::folder_ = nullptr;
ErpSimProcess* ClientErpSimTest::sim_ = nullptr;

// Main paths ---------------------------------------------------------------------

struct UrlCase {
  const char* dataFile;
  const char* session;
  const char* name;
  std::string (*run)(WebServiceClient&, DataFileCache&);
  const char* url;
};

TEST_F(ClientErpSimTest, ImageAndFileUrlsComeFromTheDataFilesSession) {
  const UrlCase cases[] = {
      {"R1001", kEnglish, "logo", [](WebServiceClient& c, DataFileCache& d) { return c.getCompanyLogo(d); },
       "https://erp.example.com/images/company/042/logo.png"},
      {"R1001", kEnglish, "sensitivity 16x32",
       [](WebServiceClient& c, DataFileCache& d) { return c.getSensitivityImage(d, 16, 32); },
       "https://erp.example.com/images/sensitivity/confidential-16x32.png"},
      {"R1001", kEnglish, "application",
       [](WebServiceClient& c, DataFileCache& d) {
         return c.getApplicationImage(d, "{6B29FC40-CA47-1067-B31D-00DD010662DA}");
       },
       "https://erp.example.com/images/app/warehousing.png"},
      {"R1001", kEnglish, "enum of two digits",
       [](WebServiceClient& c, DataFileCache& d) { return c.getEnumImage(d, "tdsls.hdst", 30); },
       "https://erp.example.com/images/enum/tdsls.hdst/closed.png"},
      {"R1001", kEnglish, "additional file",
       [](WebServiceClient& c, DataFileCache& d) {
         return c.getAdditionalFile(d, "td", "sls", "terms-en.pdf");
       },
       "https://erp.example.com/files/td/sls/terms-en.pdf"},
      {"R1001", kEnglish, "barcode with characters to escape",
       [](WebServiceClient& c, DataFileCache& d) { return c.getBarcodeImage(d, "4711 & co", "ean13"); },
       "https://erp.example.com/barcode?value=4711%20%26%20co&options=ean13"},
      {"R1002", kEnglish, "second data file of the session",
       [](WebServiceClient& c, DataFileCache& d) { return c.getEnumImage(d, "tcyesno", 1); },
       "https://erp.example.com/images/enum/tcyesno/yes.png"},
      {"R2001", kGerman, "logo of the other company",
       [](WebServiceClient& c, DataFileCache& d) { return c.getCompanyLogo(d); },
       "https://erp.example.com/images/company/1200/logo.png"},
      {"R2001", kGerman, "enum of the other session",
       [](WebServiceClient& c, DataFileCache& d) { return c.getEnumImage(d, "tcyesno", 2); },
       "https://erp.example.com/images/enum/tcyesno/nein.png"},
      {"R2001", kGerman, "barcode matched by its parameters",
       [](WebServiceClient& c, DataFileCache& d) { return c.getBarcodeImage(d, "4711", "code128"); },
       "https://erp.example.com/barcode/code128/4711.png"},
      {"R2001", kGerman, "barcode of the catch-all entry",
       [](WebServiceClient& c, DataFileCache& d) { return c.getBarcodeImage(d, "X-1", "qr"); },
       "https://erp.example.com/barcode?value=X-1&options=qr"},
  };
  CapturingSink log;
  for (const UrlCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::unique_ptr<DataFileCache> cache = open(c.dataFile, c.session);
    EXPECT_EQ(c.run(client_, *cache), c.url);
  }
  EXPECT_EQ(log.text(), "");
}

TEST_F(ClientErpSimTest, PropertiesAreTheSessionsInFull) {
  const std::unique_ptr<DataFileCache> english = open("R1001", kEnglish);
  EXPECT_EQ(client_.getProperties(*english),
            (StringMap{{"Language", "2"},
                       {"CompanyNumber", "042"},
                       {"DecimalSeparator", "."},
                       {"UserName", "jsmith"},
                       {"ReportTitle", "Sales Order Acknowledgement"},
                       {"PrintDate", "2024-03-15"}}));
  const std::unique_ptr<DataFileCache> german = open("R2001", kGerman);
  EXPECT_EQ(client_.getProperties(*german),
            (StringMap{{"Language", "3"},
                       {"CompanyNumber", "1200"},
                       {"DecimalSeparator", ","},
                       {"UserName", "hmueller"},
                       {"ReportTitle", "Auftragsbestätigung"},
                       {"PrintDate", "15.03.2024"}}));
}

// The remote calls take language and company from the properties, which they
// fetch once per data file and keep in its cache.
TEST_F(ClientErpSimTest, RemoteCallsAnswerInTheDataFilesLanguageAndCompany) {
  post(*sim_, "/stats/reset", "");
  const std::unique_ptr<DataFileCache> english = open("R1001", kEnglish);
  const std::unique_ptr<DataFileCache> german = open("R2001", kGerman);

  const std::optional<std::vector<LabelData>> englishLabels =
      client_.getLabel(*english, "tdsls.orno");
  ASSERT_TRUE(englishLabels.has_value());
  EXPECT_EQ(variantsOf(*englishLabels),
            (std::vector<Variant>{{"tdsls.orno", "Order", 5, 1},
                                  {"tdsls.orno", "Order No.", 9, 1},
                                  {"tdsls.orno", "Sales Order Number", 18, 1},
                                  {"tdsls.orno", "Sales Order Number", 12, 2}}));
  const std::optional<std::vector<LabelData>> germanLabels = client_.getLabel(*german, "tdsls.orno");
  ASSERT_TRUE(germanLabels.has_value());
  EXPECT_EQ(variantsOf(*germanLabels),
            (std::vector<Variant>{{"tdsls.orno", "Auftrag", 7, 1},
                                  {"tdsls.orno", "Auftragsnr.", 11, 1},
                                  {"tdsls.orno", "Verkaufsauftrag", 16, 1}}));

  EXPECT_EQ(client_.getMessage(*english, "tdsls0001"), "Order %1$s has been released to warehousing");
  EXPECT_EQ(client_.getMessage(*german, "tdsls0001"), "Auftrag %1$s wurde an das Lager freigegeben");
  // Text 1003 is stored for company "042" only: the leading zero must survive.
  EXPECT_EQ(client_.getText(*english, 1003), "Goods remain our property until paid in full.");
  EXPECT_EQ(client_.getText(*german, 1001),
            "Vielen Dank für Ihren Auftrag. Liefertermine gelten vorbehaltlich Verfügbarkeit.");

  client_.getCurrencyFormats(*english);
  client_.getCurrencyFormats(*german);
  struct Format {
    DataFileCache* cache;
    const char* code;
    const char* currency;
    const char* format;  // null: none
    bool decimalPoint;
  };
  const Format formats[] = {
      {english.get(), "AMT", "EUR", "ZZZTZZZTZZ9VD99", true},
      {english.get(), "NEG", "USD", "(ZZZTZZZTZZ9VD99)", true},
      {english.get(), "TRS", "CHF", "ZZZTZZZTZZ9VD99-", true},
      {english.get(), "CHK", "USD", "*ZZZTZZZTZZ9VD99", true},
      {english.get(), "PRC", "EUR", "ZZZTZZ9VD9999", true},
      {english.get(), "CMP", "EUR", "C", true},
      {german.get(), "NEG", "EUR", "(ZZZTZZZTZZ9VD99)", false},
      {german.get(), "CHK", "EUR", "*ZZZTZZZTZZ9VD99", false},
      {german.get(), "NEG", "USD", nullptr, true},
  };
  for (const Format& f : formats) {
    SCOPED_TRACE(std::string(f.code) + " " + f.currency);
    bool decimalPoint = !f.decimalPoint;
    const std::optional<std::string> found = f.cache->findDisplayFormat(f.code, f.currency, decimalPoint);
    if (f.format == nullptr) {
      EXPECT_EQ(found, std::nullopt);
    } else {
      EXPECT_EQ(found, f.format);
      EXPECT_EQ(decimalPoint, f.decimalPoint);
    }
  }
  EXPECT_EQ(english->getCurrencyFormats()->size(), 11u);
  EXPECT_EQ(german->getCurrencyFormats()->size(), 6u);

  EXPECT_EQ(english->findProperty("CompanyNumber"), "042");
  EXPECT_EQ(german->findProperty("Language"), "3");
  const std::string stats = get(*sim_, "/stats");
  EXPECT_EQ(statCount(stats, "properties"), 2) << stats;
  EXPECT_EQ(statCount(stats, "call"), 8) << stats;
  EXPECT_EQ(statCount(stats, "GetLabelVariants"), 2) << stats;
  EXPECT_EQ(statCount(stats, "GetCurrencyFormats"), 2) << stats;
}

// Refusals -----------------------------------------------------------------------

// An operation run for its failure: true when it gave the failure value.
using Fails = bool (*)(WebServiceClient&, DataFileCache&);

struct RefusalCase {
  const char* dataFile;
  const char* name;
  Fails fails;
  const char* function;  // logs why
  std::string message;   // the start of that line's message
};

const char* const kStore = "WebServiceClient::extractUrlFromResult";
const char* const kProperties = "WebServiceClient::getProperties";
const char* const kCall = "VarnDLLCall::processResponse";

TEST_F(ClientErpSimTest, KeysTheSessionHoldsNothingForGiveTheFailureValue) {
  const std::string status0 = "Web service call failed with status 0: ";
  const std::string callStatus0 = "Web service response contains status 0: ";
  const RefusalCase cases[] = {
      {"R1001", "sensitivity: height and width are not swapped",
       [](WebServiceClient& c, DataFileCache& d) { return c.getSensitivityImage(d, 32, 16).empty(); },
       kStore, status0 + "No sensitivity image of height 32 and width 16"},
      {"R1001", "application",
       [](WebServiceClient& c, DataFileCache& d) { return c.getApplicationImage(d, "{none}").empty(); },
       kStore, status0 + "No application image with GUID '{none}'"},
      {"R1001", "enum",
       [](WebServiceClient& c, DataFileCache& d) { return c.getEnumImage(d, "tcyesno", 3).empty(); },
       kStore, status0 + "No image for value 3 of domain 'tcyesno'"},
      {"R1001", "additional file",
       [](WebServiceClient& c, DataFileCache& d) {
         return c.getAdditionalFile(d, "tc", "mcs", "missing.png").empty();
       },
       kStore, status0 + "No additional file 'missing.png' in package 'tc', module 'mcs'"},
      {"R2001", "application image of the other session",
       [](WebServiceClient& c, DataFileCache& d) {
         return c.getApplicationImage(d, "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}").empty();
       },
       kStore, status0 + "No application image with GUID '{3F2504E0-4F89-11D3-9A0C-0305E82C3301}'"},
      {"R1001", "label: no list at all, not an empty one",
       [](WebServiceClient& c, DataFileCache& d) { return !c.getLabel(d, "tdsls.none"); }, kCall,
       callStatus0 + "Label code 'tdsls.none' not found for language '2'"},
      {"R2001", "label of the other language only",
       [](WebServiceClient& c, DataFileCache& d) { return !c.getLabel(d, "tccom.bpid"); }, kCall,
       callStatus0 + "Label code 'tccom.bpid' not found for language '3'"},
      {"R1001", "message",
       [](WebServiceClient& c, DataFileCache& d) { return c.getMessage(d, "tdsls9999").empty(); },
       kCall, callStatus0 + "Message code 'tdsls9999' not found for language '2'"},
      {"R1001", "text",
       [](WebServiceClient& c, DataFileCache& d) { return c.getText(d, 4242).empty(); }, kCall,
       callStatus0 + "Text 4242 not found for language '2' and company '042'"},
      {"R2001", "text of the other company",
       [](WebServiceClient& c, DataFileCache& d) { return c.getText(d, 1003).empty(); }, kCall,
       callStatus0 + "Text 1003 not found for language '3' and company '1200'"},
      {"R1001", "text answered with an ERROR element instead of TEXT",
       [](WebServiceClient& c, DataFileCache& d) { return c.getText(d, 1099).empty(); },
       "WebServiceClient::getText", "<callResult> contains error code 3: Text 1099 is blocked for printing"},
  };
  const std::unique_ptr<DataFileCache> english = open("R1001", kEnglish);
  const std::unique_ptr<DataFileCache> german = open("R2001", kGerman);
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.name);
    CapturingSink log;
    EXPECT_TRUE(c.fails(client_, std::string(c.dataFile) == "R1001" ? *english : *german));
    EXPECT_TRUE(logged(log, "ERROR", c.function, c.message)) << log.text();
  }
}

// Every operation, each run for its failure value, with the endpoint it
// fails at (the remote calls first fail to fetch the properties).
struct Operation {
  const char* name;
  Fails fails;
  const char* function;
};

const Operation kOperations[] = {
    {"getCompanyLogo", [](WebServiceClient& c, DataFileCache& d) { return c.getCompanyLogo(d).empty(); },
     kStore},
    {"getProperties", [](WebServiceClient& c, DataFileCache& d) { return !c.getProperties(d); },
     kProperties},
    {"getAdditionalFile",
     [](WebServiceClient& c, DataFileCache& d) {
       return c.getAdditionalFile(d, "tc", "mcs", "logo.png").empty();
     },
     kStore},
    {"getEnumImage",
     [](WebServiceClient& c, DataFileCache& d) { return c.getEnumImage(d, "tcyesno", 1).empty(); },
     kStore},
    {"getApplicationImage",
     [](WebServiceClient& c, DataFileCache& d) {
       return c.getApplicationImage(d, "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}").empty();
     },
     kStore},
    {"getSensitivityImage",
     [](WebServiceClient& c, DataFileCache& d) { return c.getSensitivityImage(d, 16, 16).empty(); },
     kStore},
    {"getLabel", [](WebServiceClient& c, DataFileCache& d) { return !c.getLabel(d, "tdsls.orno"); },
     kCall},
    {"getMessage",
     [](WebServiceClient& c, DataFileCache& d) { return c.getMessage(d, "tdsls0001").empty(); },
     kCall},
    {"getText", [](WebServiceClient& c, DataFileCache& d) { return c.getText(d, 1001).empty(); },
     kCall},
    {"getBarcodeImage",
     [](WebServiceClient& c, DataFileCache& d) { return c.getBarcodeImage(d, "4711", "ean13").empty(); },
     kStore},
    {"getCurrencyFormats",
     [](WebServiceClient& c, DataFileCache& d) {
       c.getCurrencyFormats(d);
       return !d.getCurrencyFormats();
     },
     kCall},
};

TEST_F(ClientErpSimTest, EveryOperationFailsForADataFileTheServerRefuses) {
  struct Case {
    const char* name;
    const char* dataFile;
    const char* session;
    std::string reason;
  };
  const Case cases[] = {
      {"data file the session does not serve", "R9999", kEnglish,
       "Unknown data file 'R9999' for this session"},
      {"data file of another session", "R2001", kEnglish, "Unknown data file 'R2001' for this session"},
      {"session erp-sim does not know", "R1001", kUnknownSession,
       std::string("Invalid session: JSESSIONID '") + kUnknownSession + "' is not known"},
  };
  for (const Case& c : cases) {
    const std::unique_ptr<DataFileCache> cache = open(c.dataFile, c.session);
    for (const Operation& operation : kOperations) {
      SCOPED_TRACE(std::string(c.name) + ": " + operation.name);
      CapturingSink log;
      EXPECT_TRUE(operation.fails(client_, *cache));
      // The formats are not asked for without the properties, which say
      // how to read them.
      const bool formats = std::string(operation.name) == "getCurrencyFormats";
      const std::string message =
          formats
              ? "Currency formats not requested: the session's properties (decimal separator) "
                "could not be read"
              : (operation.function == kStore        ? "Web service call failed with status 0: "
                 : operation.function == kProperties ? "Web service call failed: "
                                                     : "Web service response contains status 0: ") +
                    c.reason;
      EXPECT_TRUE(logged(log, "ERROR",
                         formats ? "WebServiceClient::getCurrencyFormats" : operation.function,
                         message))
          << log.text();
    }
    EXPECT_EQ(cache->getProperties(), std::nullopt);
  }
}

// Faults -------------------------------------------------------------------------

enum class Outcome {
  Delivered,       // the value comes through
  TransferFails,   // libcurl reports an error
  ReplyUnreadable  // the transfer completes, the reply is not XML
};

struct FaultCase {
  const char* fault;
  Outcome outcome;
  const char* warning;      // the transport's warning, or null
  CURLcode error = CURLE_OK;  // libcurl's error for a failed transfer
};

// Each fault on every request of the data file (given in its web-service
// URL), against one operation of each endpoint. The remote calls find the
// properties in the cache, so the fault hits the call itself.
TEST_F(ClientErpSimTest, EveryFaultEndsInTheValueOrTheFailureValue) {
  const FaultCase cases[] = {
      {"delay=300", Outcome::Delivered, nullptr},  // no time limit: a slow reply is read
      {"status=500", Outcome::Delivered, "Response does not have status 200 (\"OK\"), but 500"},
      {"delay=100,status=503", Outcome::Delivered,
       "Response does not have status 200 (\"OK\"), but 503"},
      {"size=4", Outcome::Delivered, nullptr},
      {"nul", Outcome::Delivered, nullptr},  // the NUL byte follows the reply
      {"malformed", Outcome::ReplyUnreadable, nullptr},
      {"empty", Outcome::ReplyUnreadable, nullptr},
      {"status=500,empty", Outcome::ReplyUnreadable,
       "Response does not have status 200 (\"OK\"), but 500"},
      {"nul=20", Outcome::ReplyUnreadable, nullptr},
      // On every request, so libcurl's retry on a new connection fails too.
      {"close", Outcome::TransferFails, nullptr, CURLE_GOT_NOTHING},
      {"truncate", Outcome::TransferFails, nullptr, CURLE_PARTIAL_FILE},
  };
  const char* const transport = "CurlHelper::postXmlRequest";
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.fault);
    const std::unique_ptr<DataFileCache> cache =
        open("R1001", kEnglish, sim_->url() + "/fault/" + c.fault);
    cache->setProperties(StringMap{{"Language", "2"}, {"CompanyNumber", "042"}});
    CapturingSink log;
    const std::string logo = client_.getCompanyLogo(*cache);
    const std::optional<StringMap> properties = client_.getProperties(*cache);
    const std::optional<std::vector<LabelData>> labels = client_.getLabel(*cache, "tdsls.qoor");
    const std::string text = client_.getText(*cache, 1002);
    const std::string all = log.text();

    if (c.warning != nullptr) {
      EXPECT_TRUE(logged(log, "WARNING", transport, c.warning)) << all;
    } else {
      EXPECT_EQ(all.find("[WARNING]"), std::string::npos) << all;
    }
    switch (c.outcome) {
      case Outcome::Delivered:
        EXPECT_EQ(logo, "https://erp.example.com/images/company/042/logo.png");
        ASSERT_TRUE(properties.has_value());
        EXPECT_EQ(properties->size(), 6u);
        EXPECT_EQ(properties->at("ReportTitle"), "Sales Order Acknowledgement");
        ASSERT_TRUE(labels.has_value());
        EXPECT_EQ(variantsOf(*labels), (std::vector<Variant>{{"tdsls.qoor", "Qty", 3, 1},
                                                             {"tdsls.qoor", "Quantity", 8, 1},
                                                             {"tdsls.qoor", "Ordered Quantity", 16, 1}}));
        EXPECT_EQ(text, "Payment is due within 30 days of the invoice date without deduction.");
        EXPECT_EQ(all.find("[ERROR"), std::string::npos) << all;
        break;
      case Outcome::TransferFails:
        EXPECT_EQ(logo, "");
        EXPECT_EQ(properties, std::nullopt);
        EXPECT_EQ(labels, std::nullopt);
        EXPECT_EQ(text, "");
        EXPECT_TRUE(logged(log, "ERROR", transport,
                           std::string("Request failed with error: ") + curl_easy_strerror(c.error)))
            << all;
        EXPECT_TRUE(logged(log, "ERROR", kStore, "Web service call was not successful")) << all;
        EXPECT_TRUE(logged(log, "ERROR", kProperties, "Web service call failed with error code -1"))
            << all;
        // A failed transfer of a call is the transport's to report.
        EXPECT_FALSE(loggedFrom(log, kCall)) << all;
        break;
      case Outcome::ReplyUnreadable:
        EXPECT_EQ(logo, "");
        EXPECT_EQ(properties, std::nullopt);
        EXPECT_EQ(labels, std::nullopt);
        EXPECT_EQ(text, "");
        EXPECT_FALSE(logged(log, "ERROR", transport, "")) << all;
        EXPECT_TRUE(logged(log, "ERROR", kStore, "Web service response could not be parsed: "))
            << all;
        EXPECT_TRUE(logged(log, "ERROR", kProperties, "Web service response could not be parsed: "))
            << all;
        EXPECT_TRUE(logged(log, "ERROR", kCall, "Web service response could not be parsed: "))
            << all;
        break;
    }
  }
}

// A failed transfer leaves the data file's handle usable, and a one-off close
// of a reused connection is retried by libcurl unnoticed.
TEST_F(ClientErpSimTest, TheHandleSurvivesAFailedTransfer) {
  const std::unique_ptr<DataFileCache> cache = open("R1001", kEnglish);
  post(*sim_, "/stats/reset", "");
  const std::string logo = "https://erp.example.com/images/company/042/logo.png";
  CapturingSink log;
  post(*sim_, "/faults", "truncate count=1");
  EXPECT_EQ(client_.getCompanyLogo(*cache), "");
  EXPECT_TRUE(logged(log, "ERROR", "CurlHelper::postXmlRequest", "Request failed with error: "))
      << log.text();
  EXPECT_EQ(client_.getCompanyLogo(*cache), logo);

  post(*sim_, "/faults", "close count=1");
  EXPECT_EQ(client_.getCompanyLogo(*cache), logo);
  EXPECT_EQ(statCount(get(*sim_, "/stats"), "faults"), 2);
  EXPECT_EQ(client_.getCompanyLogo(*cache), logo);
}

// Transport ----------------------------------------------------------------------

TEST_F(ClientErpSimTest, OneDataFileKeepsOneConnection) {
  const std::unique_ptr<DataFileCache> cache = open("R1001", kEnglish);
  cache->setProperties(StringMap{{"Language", "2"}});
  post(*sim_, "/stats/reset", "");
  for (int i = 0; i < 25; ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(client_.getCompanyLogo(*cache), "https://erp.example.com/images/company/042/logo.png");
    ASSERT_TRUE(client_.getProperties(*cache).has_value());
    ASSERT_TRUE(client_.getLabel(*cache, "tdsls.amnt").has_value());
    ASSERT_EQ(client_.getMessage(*cache, "tcmcs0010"), "Page");
  }
  const std::string stats = get(*sim_, "/stats");
  // The library's connection and the one that asked for the figures.
  EXPECT_EQ(statCount(stats, "connections"), 2) << stats;
  EXPECT_EQ(statCount(stats, "store") + statCount(stats, "properties") + statCount(stats, "call"),
            100)
      << stats;
}

TEST_F(ClientErpSimTest, HttpsWithASelfSignedCertificate) {
  const std::string key = (folder_->path() / "key.pem").string();
  const std::string certificate = (folder_->path() / "cert.pem").string();
  const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost"
                              " -keyout " + key + " -out " + certificate + " 2>/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::unique_ptr<ErpSimProcess> tls(start(
      {"--port", "0", "--data", QUILRUN_DEMO_FIXTURES, "--tls", certificate, key}, "tls-stderr.txt"));
  ASSERT_EQ(tls->url().rfind("https://127.0.0.1:", 0), 0u) << tls->url() << tls->errorOutput();

  const std::unique_ptr<DataFileCache> cache = open("R1001", kEnglish, tls->url());
  CapturingSink log;
  EXPECT_EQ(client_.getCompanyLogo(*cache), "https://erp.example.com/images/company/042/logo.png");
  const std::optional<StringMap> properties = client_.getProperties(*cache);
  ASSERT_TRUE(properties.has_value());
  EXPECT_EQ(properties->at("UserName"), "jsmith");
  cache->setProperties(*properties);
  EXPECT_EQ(client_.getMessage(*cache, "tcmcs0011"), "Continued on next page");
  const std::optional<std::vector<LabelData>> labels = client_.getLabel(*cache, "tdsls.odat");
  ASSERT_TRUE(labels.has_value());
  EXPECT_EQ(labels->size(), 2u);
  EXPECT_EQ(log.text(), "");
  // The TLS connection is kept too.
  const std::string stats = get(*tls, "/stats");
  EXPECT_EQ(statCount(stats, "connections"), 2) << stats;
  EXPECT_EQ(tls->stop(SIGTERM), 0) << tls->errorOutput();
}

// Limits -------------------------------------------------------------------------

// The settings with a one-second request limit and one MiB replies.
ConnectorSettings tightLimits() {
  ConnectorSettings settings;
  settings.requestTimeout = 1;
  settings.maxReplyMB = 1;
  return settings;
}

long openDescriptors() {
  long count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++count;
  }
  return count;
}

// A server that holds the reply back, sends it a byte at a time, or never
// ends it: the call gives its fallback within the limits, with a line that
// says why.
TEST_F(ClientErpSimTest, StalledSlowAndEndlessRepliesEndWithinTheLimits) {
  struct Case {
    const char* fault;
    const char* reason;  // the transport's second ERROR line, or null
  };
  const Case cases[] = {
      {"stall", nullptr},
      {"trickle=200", nullptr},
      {"overlength", nullptr},
      {"endless", "Reply abandoned: larger than MaxReplyMB = 1 MiB ("},
      {"size=4", "Reply abandoned: larger than MaxReplyMB = 1 MiB (0 bytes received; its Content-Length "
               "announces more)"},
  };
  client_.configure(tightLimits());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    const std::unique_ptr<DataFileCache> cache =
        open("R1001", kEnglish, sim_->url() + "/fault/" + c.fault);
    CapturingSink log;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client_.getCompanyLogo(*cache), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
    if (c.reason == nullptr) {
      EXPECT_TRUE(logged(log, "ERROR", "CurlHelper::postXmlRequest",
                         "Request failed with error: Timeout was reached"))
          << log.text();
      EXPECT_TRUE(logged(log, "WARNING", "WebServiceClient::postRequest",
                         "Requests for datafile 'R1001' are not sent until "))
          << log.text();
    } else {
      EXPECT_TRUE(logged(log, "ERROR", "CurlHelper::postXmlRequest", c.reason)) << log.text();
      EXPECT_EQ(cache->getRequestHold().until, 0);
    }
    EXPECT_TRUE(logged(log, "ERROR", "WebServiceClient::extractUrlFromResult",
                       "Web service call was not successful"))
        << log.text();
  }
  // A reply within the limits is read as ever.
  const std::unique_ptr<DataFileCache> cache = open("R1001", kEnglish);
  EXPECT_EQ(client_.getCompanyLogo(*cache), "https://erp.example.com/images/company/042/logo.png");
}

// After a time-out, the data file's requests are not sent for 30 s on the
// clock: calls fail at once, also one that was already waiting for the
// connection; then the server is asked again.
TEST_F(ClientErpSimTest, ATimeOutHoldsTheDataFilesRequestsForThirtySeconds) {
  FakeClock clock(1796994242);  // 2026-12-11 13:04:02 UTC
  client_.configure(tightLimits());
  const std::unique_ptr<DataFileCache> cache = open("R1001", kEnglish);
  cache->setProperties(StringMap{{"Language", "2"}});
  const std::unique_ptr<DataFileCache> other = open("R1002", kEnglish);
  post(*sim_, "/stats/reset", "");
  post(*sim_, "/faults", "stall count=1 endpoint=store");
  CapturingSink log;
  std::string waited = "unset";
  std::chrono::steady_clock::duration waitedFor{};
  std::thread first([&] { EXPECT_EQ(client_.getCompanyLogo(*cache), ""); });
  // The second call starts while the first one holds the connection.
  while (statCount(get(*sim_, "/stats"), "faults") < 1) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::thread second([&] {
    const auto start = std::chrono::steady_clock::now();
    waited = client_.getMessage(*cache, "tcmcs0010");
    waitedFor = std::chrono::steady_clock::now() - start;
  });
  first.join();
  second.join();
  EXPECT_EQ(waited, "");
  EXPECT_LT(waitedFor, std::chrono::milliseconds(1500));
  const std::string held =
      "Web service not asked for datafile 'R1001' until 2026-12-11 13:04:32 UTC: a transfer timed "
      "out at 2026-12-11 13:04:02 UTC (";
  EXPECT_TRUE(logged(log, "ERROR", "WebServiceClient::postRequest", held)) << log.text();

  post(*sim_, "/stats/reset", "");
  clock.advance(29);
  CapturingSink later;
  EXPECT_EQ(client_.getCompanyLogo(*cache), "");
  EXPECT_TRUE(logged(later, "ERROR", "WebServiceClient::postRequest", held)) << later.text();
  // Only this data file is held.
  EXPECT_EQ(client_.getCompanyLogo(*other), "https://erp.example.com/images/company/042/logo.png");
  EXPECT_EQ(statCount(get(*sim_, "/stats"), "store"), 1);
  clock.advance(1);
  EXPECT_EQ(client_.getCompanyLogo(*cache), "https://erp.example.com/images/company/042/logo.png");
}

// With every connection busy, a call waits ConnectTimeout for one, then gives
// its fallback with a line that says the pool is full.
TEST_F(ClientErpSimTest, AFullPoolAnswersTheFallbackAfterConnectTimeout) {
  ConnectorSettings settings;
  settings.maxConnections = 1;
  settings.connectTimeout = 1;
  settings.requestTimeout = 3;
  client_.configure(settings);
  const std::unique_ptr<DataFileCache> stalled =
      open("R1002", kEnglish, sim_->url() + "/fault/stall");
  const std::unique_ptr<DataFileCache> waiting = open("R1001", kEnglish);
  post(*sim_, "/stats/reset", "");
  std::thread holder([&] { client_.getCompanyLogo(*stalled); });
  while (statCount(get(*sim_, "/stats"), "faults") < 1) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  CapturingSink log;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client_.getCompanyLogo(*waiting), "");
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(900));
  EXPECT_LT(took, std::chrono::milliseconds(2500));
  EXPECT_TRUE(logged(log, "ERROR", "WebServiceClient::postRequest",
                     "No connection to the web service came free for datafile 'R1001' within 1 s: "
                     "the pool is full (all MaxConnections = 1 are busy)"))
      << log.text();
  holder.join();
  EXPECT_EQ(client_.getCompanyLogo(*waiting), "https://erp.example.com/images/company/042/logo.png");
}

// However many data files come, no more than MaxConnections connections (and
// their descriptors) stay open.
TEST_F(ClientErpSimTest, ConnectionsStayBoundedOverManyDataFiles) {
  ConnectorSettings settings;
  settings.maxConnections = 4;
  client_.configure(settings);
  const long before = openDescriptors();
  post(*sim_, "/stats/reset", "");
  for (int i = 0; i < 100; ++i) {
    const std::unique_ptr<DataFileCache> cache = open(("D" + std::to_string(i)).c_str(), kEnglish);
    client_.getCompanyLogo(*cache);
    ASSERT_LE(client_.openConnections(), 4u);
  }
  EXPECT_LE(openDescriptors(), before + 4 * 3);
  // A data file without a connection took the idle one of another, and with
  // it its live connection to the same web service: four in all, and the
  // one that asks for the figures.
  EXPECT_EQ(statCount(get(*sim_, "/stats"), "connections"), 5);
}

TEST_F(ClientErpSimTest, OnlyHttpAndHttpsAreSpoken) {
  const std::string port = std::to_string(sim_->port());
  for (const std::string& url : std::vector<std::string>{"file:///etc", "ftp://127.0.0.1:" + port + "/svcgw",
                                "dict://127.0.0.1:" + port + "/svcgw"}) {
    SCOPED_TRACE(url);
    const std::unique_ptr<DataFileCache> cache = open("R1001", kEnglish, url);
    CapturingSink log;
    EXPECT_EQ(client_.getCompanyLogo(*cache), "");
    EXPECT_TRUE(logged(log, "ERROR", "CurlHelper::postXmlRequest",
                       "Web service URL '" + url + "/store' refused: only http and https are used"))
        << log.text();
  }
}

// A self-signed certificate is taken by default; VerifyCertificates refuses
// it, unless CertificateFile names it.
TEST_F(ClientErpSimTest, CertificatesAreCheckedWhenAskedFor) {
  const std::string key = (folder_->path() / "verify-key.pem").string();
  const std::string certificate = (folder_->path() / "verify-cert.pem").string();
  const std::string command =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1"
      " -addext subjectAltName=IP:127.0.0.1 -keyout " + key + " -out " + certificate +
      " 2>/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::unique_ptr<ErpSimProcess> tls(start(
      {"--port", "0", "--data", QUILRUN_DEMO_FIXTURES, "--tls", certificate, key}, "verify.txt"));
  ASSERT_EQ(tls->url().rfind("https://127.0.0.1:", 0), 0u) << tls->errorOutput();
  const std::unique_ptr<DataFileCache> cache = open("R1001", kEnglish, tls->url());
  const std::string logo = "https://erp.example.com/images/company/042/logo.png";

  EXPECT_EQ(client_.getCompanyLogo(*cache), logo);
  ConnectorSettings settings;
  settings.verifyCertificates = true;
  client_.configure(settings);
  {
    CapturingSink log;
    EXPECT_EQ(client_.getCompanyLogo(*cache), "");
    EXPECT_TRUE(logged(log, "ERROR", "CurlHelper::postXmlRequest",
                       "The web service's certificate was refused (VerifyCertificates = 1): "))
        << log.text();
  }
  settings.certificateFile = certificate;
  client_.configure(settings);
  EXPECT_EQ(client_.getCompanyLogo(*cache), logo);
  EXPECT_EQ(tls->stop(SIGTERM), 0) << tls->errorOutput();
}

// Concurrency --------------------------------------------------------------------

// Two threads, each posting one request for its data file at the same moment,
// against a server that holds each request until both are in progress (or
// two seconds have passed).
class ClientConcurrencyTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { curl_global_init(CURL_GLOBAL_ALL); }
  static void TearDownTestSuite() { curl_global_cleanup(); }

  ClientConcurrencyTest() {
    QuillonUtils::getDataShare();
    installation_.writeSession("DATA1", "S1", server_.url());
    installation_.writeSession("DATA2", "S2", server_.url());
    server_.reply("store", "<r><status>1</status><url>http://erp/logo.png</url></r>");
    server_.gather(2, std::chrono::seconds(2));
  }

  // Posts one logo request for each cache from a thread of its own, both
  // released together; returns the answers.
  std::vector<std::string> postTogether(DataFileCache& first, DataFileCache& second) {
    std::vector<std::string> answers(2);
    std::atomic<int> ready{0};
    auto run = [&](DataFileCache& cache, std::string& answer) {
      ready.fetch_add(1);
      while (ready.load() < 2) std::this_thread::yield();
      answer = client_.getCompanyLogo(cache);
    };
    std::thread a(run, std::ref(first), std::ref(answers[0]));
    std::thread b(run, std::ref(second), std::ref(answers[1]));
    a.join();
    b.join();
    return answers;
  }

  CaptureServer server_;
  Installation installation_;
  WebServiceClient client_{std::make_unique<CurlHelper>()};
};

TEST_F(ClientConcurrencyTest, TransfersOfOneDataFileNeverOverlap) {
  DataFileCache cache("DATA1");
  EXPECT_EQ(postTogether(cache, cache),
            (std::vector<std::string>{"http://erp/logo.png", "http://erp/logo.png"}));
  EXPECT_EQ(server_.requests().size(), 2u);
  EXPECT_EQ(server_.maxInFlight(), 1);
}

TEST_F(ClientConcurrencyTest, TransfersOfTwoDataFilesRunTogether) {
  DataFileCache first("DATA1");
  DataFileCache second("DATA2");
  EXPECT_EQ(postTogether(first, second),
            (std::vector<std::string>{"http://erp/logo.png", "http://erp/logo.png"}));
  EXPECT_EQ(server_.requests().size(), 2u);
  EXPECT_EQ(server_.maxInFlight(), 2);
}

}  // namespace
}  // namespace quilrun
