#include "server/WebServiceClient.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cache/DataFileCache.h"
#include "server/Connection.h"
#include "support/CaptureServer.h"
#include "support/CapturingSink.h"
#include "support/FakeClock.h"
#include "support/Installation.h"

namespace quilrun {
namespace {

const char* const kOk = "<r><status>1</status><url>http://erp/img/1.png</url></r>";

std::string callReply(const std::string& method, const std::string& content) {
  return "<callResponse><status>1</status><dllResponse><reply><" + method + ">" + content + "</" +
         method + "></reply></dllResponse></callResponse>";
}

// A data file DATAFILE whose session points at a capturing server.
class WebServiceClientTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { curl_global_init(CURL_GLOBAL_ALL); }
  static void TearDownTestSuite() { curl_global_cleanup(); }

  WebServiceClientTest() {
    QuillonUtils::getDataShare();
    installation_.writeSession("DATAFILE", "SESSION-1", server_.url());
    cache_ = std::make_unique<DataFileCache>("DATAFILE");
  }
  ~WebServiceClientTest() override { logLevel.store(3); }

  CaptureServer server_;
  Installation installation_;
  std::unique_ptr<DataFileCache> cache_;
  WebServiceClient client_{std::make_unique<CurlHelper>()};
};

struct BodyCase {
  const char* name;
  std::string (*run)(WebServiceClient&, DataFileCache&);
  const char* body;
};

TEST_F(WebServiceClientTest, PostsEachImageRequestExactly) {
  const BodyCase cases[] = {
      {"logo", [](WebServiceClient& c, DataFileCache& d) { return c.getCompanyLogo(d); },
       "<imageRequest><datafile>DATAFILE</datafile><type>0</type></imageRequest>"},
      {"sensitivity",
       [](WebServiceClient& c, DataFileCache& d) { return c.getSensitivityImage(d, 10, -20); },
       "<imageRequest><datafile>DATAFILE</datafile><type>1</type><height>10</height><width>-20</width></imageRequest>"},
      {"application",
       [](WebServiceClient& c, DataFileCache& d) { return c.getApplicationImage(d, "{G-1}"); },
       "<imageRequest><datafile>DATAFILE</datafile><type>2</type><guid>{G-1}</guid></imageRequest>"},
      {"enum 9999",
       [](WebServiceClient& c, DataFileCache& d) { return c.getEnumImage(d, "Status", 9999); },
       "<imageRequest><datafile>DATAFILE</datafile><type>3</type><domain>Status</domain><value>9999</value></imageRequest>"},
      {"enum -999",
       [](WebServiceClient& c, DataFileCache& d) { return c.getEnumImage(d, "Status", -999); },
       "<imageRequest><datafile>DATAFILE</datafile><type>3</type><domain>Status</domain><value>-999</value></imageRequest>"},
      {"enum beyond four characters",
       [](WebServiceClient& c, DataFileCache& d) { return c.getEnumImage(d, "S", 123456); },
       "<imageRequest><datafile>DATAFILE</datafile><type>3</type><domain>S</domain><value>123456</value></imageRequest>"},
      {"additional file",
       [](WebServiceClient& c, DataFileCache& d) { return c.getAdditionalFile(d, "tc", "mcs", "logo.png"); },
       "<imageRequest><datafile>DATAFILE</datafile><type>4</type><package>tc</package><module>mcs</module><name>logo.png</name></imageRequest>"},
      {"barcode",
       [](WebServiceClient& c, DataFileCache& d) { return c.getBarcodeImage(d, "4711 & co", "type=EAN13"); },
       "<imageRequest><datafile>DATAFILE</datafile><type>5</type><value>4711 &amp; co</value><parameters>type=EAN13</parameters></imageRequest>"},
  };
  server_.reply("store", kOk);
  for (const BodyCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.run(client_, *cache_), "http://erp/img/1.png");
    const CaptureServer::Request request = server_.last();
    EXPECT_EQ(request.path, "/svcgw/store");
    EXPECT_EQ(request.body, c.body);
    EXPECT_EQ(request.cookie, "JSESSIONID=SESSION-1");
    EXPECT_EQ(request.contentType, "text/xml");
    EXPECT_EQ(request.userAgent, "Rundel_Talm_Connector_C++/10.5.8.3564");
  }
}

struct UrlCase {
  const char* name;
  const char* body;
  int status;
  const char* url;     // the result
  const char* logged;  // an ERROR message, or null for no error
};

TEST_F(WebServiceClientTest, ReadsTheUrlReply) {
  const UrlCase cases[] = {
      {"any root, HTTP 500", "<x><y><status>1</status></y><url>http://u</url></x>", 500, "http://u",
       nullptr},
      {"no url", "<r><status>1</status></r>", 200, "", "Web service did not return a URL"},
      {"empty url", "<r><status>1</status><url/></r>", 200, "", "Web service did not return a URL"},
      {"status 0 with url", "<r><status>0</status><message>No such image</message><url>http://u</url></r>",
       200, "", "Web service call failed with status 0: No such image"},
      {"no status", "<r><url>http://u</url></r>", 200, "", "Web service call failed with status : "},
      {"not XML", "<html>oops", 200, "",
       "Web service response could not be parsed: Start-end tags mismatch"},
      {"empty", "", 200, "", "Web service response could not be parsed: No document element found"},
  };
  for (const UrlCase& c : cases) {
    SCOPED_TRACE(c.name);
    server_.reply("store", c.body, c.status);
    CapturingSink log;
    EXPECT_EQ(client_.getCompanyLogo(*cache_), c.url);
    if (c.logged != nullptr) {
      EXPECT_NE(log.text().find(std::string("[ERROR  ], [WebServiceClient::extractUrlFromResult], [")),
                std::string::npos)
          << log.text();
      EXPECT_NE(log.text().find(std::string("]: ") + c.logged + "\n"), std::string::npos) << log.text();
    } else {
      EXPECT_EQ(log.text().find("[ERROR  ]"), std::string::npos) << log.text();
    }
  }
}

TEST_F(WebServiceClientTest, UnreachableServerLeavesTheResultEmpty) {
  installation_.writeSession("DOWN", "S", "http://127.0.0.1:1/svcgw");
  DataFileCache down("DOWN");
  CapturingSink log;
  EXPECT_EQ(client_.getCompanyLogo(down), "");
  EXPECT_NE(log.text().find("[ERROR  ], [CurlHelper::postXmlRequest           ], ["), std::string::npos)
      << log.text();
  EXPECT_NE(log.text().find("]: Request failed with error: "), std::string::npos);
  EXPECT_NE(log.text().find("]: Web service call was not successful\n"), std::string::npos);
  EXPECT_EQ(client_.getProperties(down), std::nullopt);
  EXPECT_NE(log.text().find("]: Web service call failed with error code -1\n"), std::string::npos);
}

// While a data file's requests are held, every operation fails at once
// with one line that says until when and why, and nothing is sent.
TEST_F(WebServiceClientTest, HeldRequestsAreNotSent) {
  FakeClock clock(1796994242);  // 2026-12-11 13:04:02 UTC
  cache_->holdRequests(1796994242 + 30, "a transfer timed out");
  const std::string line =
      "Web service not asked for datafile 'DATAFILE' until 2026-12-11 13:04:32 UTC: a transfer "
      "timed out\n";
  const std::function<void()> operations[] = {
      [&] { EXPECT_EQ(client_.getCompanyLogo(*cache_), ""); },
      [&] { EXPECT_EQ(client_.getBarcodeImage(*cache_, "1", "p"), ""); },
      [&] { EXPECT_EQ(client_.getProperties(*cache_), std::nullopt); },
      [&] { EXPECT_EQ(client_.getLabel(*cache_, "L"), std::nullopt); },
      [&] { EXPECT_EQ(client_.getMessage(*cache_, "M"), ""); },
      [&] { EXPECT_EQ(client_.getText(*cache_, 7), ""); },
      [&] {
        client_.getCurrencyFormats(*cache_);
        EXPECT_EQ(cache_->getCurrencyFormats(), std::nullopt);
      },
  };
  for (const auto& operation : operations) {
    CapturingSink log;
    operation();
    int held = 0;
    for (const std::string& each : log.lines()) {
      held += each.find("[ERROR  ], [WebServiceClient::postRequest ") != std::string::npos &&
              each.find("]: " + line) != std::string::npos;
    }
    EXPECT_EQ(held, 1) << log.text();
  }
  EXPECT_TRUE(server_.requests().empty());
  clock.advance(30);
  server_.reply("store", kOk);
  EXPECT_EQ(client_.getCompanyLogo(*cache_), "http://erp/img/1.png");
}

TEST_F(WebServiceClientTest, TransportEdges) {
  CurlHelper helper;
  const ConnectorSettings settings;
  const std::unique_ptr<Connection> connection = Connection::open();
  ASSERT_TRUE(connection);
  CURL* const handle = connection->handle();
  pugi::xml_document request;
  request.append_child("ping");
  {
    CapturingSink log;
    DataFileCache nameless(nullptr);
    const PostResult result =
        helper.postXmlRequest(nameless.getSession(), handle, "store", request.first_child(), settings);
    EXPECT_FALSE(result.success);
    EXPECT_EQ(result.statusCode, -1);
    EXPECT_NE(log.text().find("]: Cannot POST request; web service URL is missing\n"),
              std::string::npos);
    EXPECT_EQ(client_.getCompanyLogo(nameless), "");
    EXPECT_EQ(client_.openConnections(), 0u);
  }
  server_.reply("store", "");
  PostResult empty =
      helper.postXmlRequest(cache_->getSession(), handle, "store", request.first_child(), settings);
  EXPECT_TRUE(empty.success);
  EXPECT_EQ(empty.statusCode, 200);
  EXPECT_EQ(empty.body, "");
  EXPECT_EQ(server_.last().body, "<ping />");

  server_.reply("store", std::string("<r>a\0b</r>", 10), 503);
  CapturingSink log;
  PostResult cut =
      helper.postXmlRequest(cache_->getSession(), handle, "store", request.first_child(), settings);
  EXPECT_TRUE(cut.success);
  EXPECT_EQ(cut.statusCode, 503);
  EXPECT_EQ(cut.body, "<r>a");
  EXPECT_NE(log.text().find("[WARNING], [CurlHelper::postXmlRequest           ], ["),
            std::string::npos);
  EXPECT_NE(log.text().find("]: Response does not have status 200 (\"OK\"), but 503\n"),
            std::string::npos);

  installation_.writeSession("SLASH", "S", server_.url() + "/");
  DataFileCache slash("SLASH");
  helper.postXmlRequest(slash.getSession(), handle, "properties", request.first_child(), settings);
  EXPECT_EQ(server_.last().path, "/svcgw//properties");
}

TEST_F(WebServiceClientTest, LogsTheExchangeAtLevelFive) {
  server_.reply("store", kOk);
  logLevel.store(5);
  CapturingSink log;
  client_.getCompanyLogo(*cache_);
  const std::string text = log.text();
  EXPECT_NE(text.find("]: Params: DATAFILE\n"), std::string::npos) << text;
  EXPECT_NE(text.find("]: Posting request to " + server_.url() +
                      "/store\n<imageRequest><datafile>DATAFILE</datafile><type>0</type>"
                      "</imageRequest>\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(std::string("]: Received response:\n") + kOk + "\n"), std::string::npos);
  EXPECT_NE(text.find("]: url = http://erp/img/1.png\n"), std::string::npos);
}

TEST_F(WebServiceClientTest, FetchesProperties) {
  server_.reply("properties",
                "<ROOT><status>1</status><properties><property name=\"Language\">DE</property>"
                "<property name=\"Language\">EN</property><property>nameless</property>"
                "<property name=\"Empty\"/></properties></ROOT>");
  const std::optional<StringMap> properties = client_.getProperties(*cache_);
  EXPECT_EQ(server_.last().body, "<propertiesRequest><datafile>DATAFILE</datafile></propertiesRequest>");
  EXPECT_EQ(server_.last().path, "/svcgw/properties");
  ASSERT_TRUE(properties.has_value());
  EXPECT_EQ(*properties, (StringMap{{"Language", "DE"}, {"", "nameless"}, {"Empty", ""}}));

  server_.reply("properties", "<r><status>1</status></r>");
  EXPECT_EQ(client_.getProperties(*cache_), StringMap());

  CapturingSink log;
  server_.reply("properties", "<r><status>0</status><message>Unknown data file</message></r>");
  EXPECT_EQ(client_.getProperties(*cache_), std::nullopt);
  server_.reply("properties", "garbage");
  EXPECT_EQ(client_.getProperties(*cache_), std::nullopt);
  EXPECT_NE(log.text().find("]: Web service call failed: Unknown data file\n"), std::string::npos);
  EXPECT_NE(log.text().find("]: Web service response could not be parsed: "), std::string::npos);
}

TEST_F(WebServiceClientTest, RemoteCallsFetchPropertiesOnceAndSendTheLanguage) {
  server_.reply("properties",
                "<r><status>1</status><properties><property name=\"Language\">x</property>"
                "<property name=\"CompanyNumber\">100</property></properties></r>");
  server_.reply("call", callReply("GetLabelVariants",
                                  "<callResult><LABELS><LABEL ORIGNAME=\"abcde\" LENGTH=\"20\" "
                                  "HEIGHT=\"1\">Quantity</LABEL><LABEL ORIGNAME=\"abcde\">Qty</LABEL>"
                                  "</LABELS></callResult><LABELS><LABEL ORIGNAME=\"outside\" "
                                  "LENGTH=\"3\" HEIGHT=\"x\">Out</LABEL></LABELS>"));
  const std::optional<std::vector<LabelData>> labels = client_.getLabel(*cache_, "abcde");
  std::vector<CaptureServer::Request> requests = server_.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].path, "/svcgw/properties");
  EXPECT_EQ(requests[1].path, "/svcgw/call");
  EXPECT_EQ(requests[1].body,
            "<callRequest><datafile>DATAFILE</datafile><dllRequest><constructor "
            "language=\"VarnDLL\"><dll>oqrptdllutil</dll><method>GetLabelVariants</method>"
            "<parameters><LABELCODE scope=\"in\" dt=\"string\" dims=\"5\">abcde</LABELCODE>"
            "<LANGUAGE scope=\"in\" dt=\"string\" dims=\"1\">x</LANGUAGE><callResult "
            "scope=\"out\" ct=\"elements\" /></parameters></constructor></dllRequest>"
            "</callRequest>");
  ASSERT_TRUE(labels.has_value());
  ASSERT_EQ(labels->size(), 3u);
  EXPECT_EQ((*labels)[0].getText(), "Quantity");
  EXPECT_EQ((*labels)[0].getLength(), 20);
  EXPECT_EQ((*labels)[1].getLength(), 0);
  EXPECT_EQ((*labels)[1].getHeight(), 0);
  EXPECT_EQ((*labels)[2].getCode(), "outside");
  EXPECT_EQ((*labels)[2].getHeight(), 0);
  EXPECT_EQ(cache_->findProperty("CompanyNumber"), "100");

  server_.reply("call", callReply("GetReportText", "<callResult><TEXT>Terms of delivery</TEXT></callResult>"));
  EXPECT_EQ(client_.getText(*cache_, 42), "Terms of delivery");
  requests = server_.requests();
  ASSERT_EQ(requests.size(), 3u);  // the properties came from the cache
  EXPECT_EQ(requests[2].body,
            "<callRequest><datafile>DATAFILE</datafile><dllRequest><constructor "
            "language=\"VarnDLL\"><dll>oqrptdllutil</dll><method>GetReportText</method>"
            "<parameters><CALLINFO scope=\"in\" ct=\"elements\"><TEXTID NAME=\"dummyfield\" "
            "LANG=\"x\" COMP=\"100\">42</TEXTID></CALLINFO><callResult scope=\"out\" "
            "ct=\"elements\" /></parameters></constructor></dllRequest></callRequest>");

  client_.getText(*cache_, 1099511627776LL);
  EXPECT_NE(server_.last().body.find("COMP=\"100\">1099511627776</TEXTID>"), std::string::npos);
}

TEST_F(WebServiceClientTest, WithoutPropertiesTheLanguageIsEmpty) {
  server_.reply("properties", "<r><status>0</status><message>down</message></r>");
  server_.reply("call", callReply("GetMessageText", "<callResult><MESSAGE>Hello</MESSAGE></callResult>"));
  EXPECT_EQ(client_.getMessage(*cache_, "M-1"), "Hello");
  EXPECT_EQ(server_.last().body,
            "<callRequest><datafile>DATAFILE</datafile><dllRequest><constructor "
            "language=\"VarnDLL\"><dll>oqrptdllutil</dll><method>GetMessageText</method>"
            "<parameters><MESSAGECODE scope=\"in\" dt=\"string\" dims=\"3\">M-1</MESSAGECODE>"
            "<LANGUAGE scope=\"in\" dt=\"string\" dims=\"0\"></LANGUAGE><callResult "
            "scope=\"out\" ct=\"elements\" /></parameters></constructor></dllRequest>"
            "</callRequest>");
  client_.getText(*cache_, 7);
  EXPECT_NE(server_.last().body.find("<TEXTID NAME=\"dummyfield\" LANG=\"\" COMP=\"\">7</TEXTID>"),
            std::string::npos);
  EXPECT_EQ(cache_->getProperties(), std::nullopt);
}

TEST_F(WebServiceClientTest, CurrencyFormatsWaitForTheDecimalSeparator) {
  // Formats read while the properties cannot be fetched would be cached with
  // a guessed separator: "1,234.50" for a decimal-comma company.
  server_.reply("properties", "<r><status>0</status><message>down</message></r>");
  server_.reply("call", callReply("GetCurrencyFormats",
                                  "<CALLRESULT><CURRENCY_FORMATS><FORMAT CODE=\"A\" "
                                  "CURRENCY=\"EUR\">ZZZ9D99</FORMAT></CURRENCY_FORMATS>"
                                  "</CALLRESULT>"));
  CapturingSink log;
  client_.getCurrencyFormats(*cache_);
  EXPECT_EQ(cache_->getCurrencyFormats(), std::nullopt);
  EXPECT_EQ(server_.last().path, "/svcgw/properties");  // no call was sent
  EXPECT_NE(log.text().find("[ERROR  ], [WebServiceClient::getCurrencyFormats ], [  "),
            std::string::npos)
      << log.text();

  server_.reply("properties",
                "<r><status>1</status><properties><property name=\"DecimalSeparator\">,"
                "</property></properties></r>");
  client_.getCurrencyFormats(*cache_);
  bool decimalPoint = true;
  EXPECT_EQ(cache_->findDisplayFormat("A", "EUR", decimalPoint), "ZZZ9D99");
  EXPECT_FALSE(decimalPoint);
}

TEST_F(WebServiceClientTest, CurrencyFormatsGoIntoTheCache) {
  struct Case {
    const char* separator;  // null: no such property
    bool decimalPoint;
  };
  const Case cases[] = {{nullptr, true}, {"", true}, {".", true}, {",", false}, {" .", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.separator != nullptr ? c.separator : "(none)");
    DataFileCache cache("DATAFILE");
    StringMap properties;
    if (c.separator != nullptr) properties["DecimalSeparator"] = c.separator;
    cache.setProperties(properties);
    server_.reply("call", callReply("GetCurrencyFormats",
                                    "<CALLRESULT><CURRENCY_FORMATS><FORMAT CODE=\"A\" "
                                    "CURRENCY=\"EUR\">ZZZ9D99</FORMAT><FORMAT>bare</FORMAT>"
                                    "</CURRENCY_FORMATS></CALLRESULT>"));
    client_.getCurrencyFormats(cache);
    EXPECT_EQ(server_.last().body,
              "<callRequest><datafile>DATAFILE</datafile><dllRequest><constructor "
              "language=\"VarnDLL\"><dll>oqrptdllutil</dll><method>GetCurrencyFormats</method>"
              "<parameters><CALLRESULT scope=\"out\" ct=\"elements\" /></parameters>"
              "</constructor></dllRequest></callRequest>");
    bool decimalPoint = !c.decimalPoint;
    EXPECT_EQ(cache.findDisplayFormat("A", "EUR", decimalPoint), "ZZZ9D99");
    EXPECT_EQ(decimalPoint, c.decimalPoint);
    EXPECT_EQ(cache.findDisplayFormat("", "", decimalPoint), "bare");
  }
}

TEST_F(WebServiceClientTest, RemoteCallFailures) {
  cache_->setProperties(StringMap{{"Language", "EN"}});
  CapturingSink log;
  server_.reply("call", callReply("GetLabelVariants", "<callResult/>"));
  EXPECT_EQ(client_.getLabel(*cache_, "L"), std::vector<LabelData>());
  server_.reply("call", "<callResponse><status>0</status><message>Unknown session</message></callResponse>");
  EXPECT_EQ(client_.getLabel(*cache_, "L"), std::nullopt);

  server_.reply("call", callReply("GetMessageText", "<callResult><OTHER/></callResult>"));
  EXPECT_EQ(client_.getMessage(*cache_, "M"), "");
  EXPECT_NE(log.text().find("[ERROR  ], [WebServiceClient::getMessage         ], ["), std::string::npos)
      << log.text();
  EXPECT_NE(log.text().find("]: <callresult> does not contain child node <MESSAGE>\n"), std::string::npos);

  server_.reply("call", callReply("GetReportText", "<callResult><ERROR CODE=\"5\">No such text</ERROR></callResult>"));
  EXPECT_EQ(client_.getText(*cache_, 9), "");
  EXPECT_NE(log.text().find("]: <callResult> contains error code 5: No such text\n"), std::string::npos);
  server_.reply("call", callReply("GetReportText", "<callResult/>"));
  EXPECT_EQ(client_.getText(*cache_, 9), "");
  EXPECT_NE(log.text().find("]: <callresult> does not contain child node <TEXT>\n"), std::string::npos);

  server_.reply("call", "not xml");
  EXPECT_EQ(client_.getText(*cache_, 9), "");
  EXPECT_EQ(client_.getMessage(*cache_, "M"), "");
  cache_->setCurrencyFormats({});
  client_.getCurrencyFormats(*cache_);
  EXPECT_EQ(cache_->getCurrencyFormats()->size(), 0u);
}


}  // namespace
}  // namespace quilrun
