// erp-sim driven from outside, as the library and the end-to-end tests use
// it: a child process on a free port, spoken to over HTTP(S) with
// cpp-httplib's client. Request bodies are written the way the library
// serialises them.
#include <curl/curl.h>
#include <httplib.h>
#include <pugixml.hpp>
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "erp-sim/ErpSimProcess.h"
#include "support/TempFolder.h"

namespace {

using quilrun::ErpSimProcess;
using quilrun::TempFolder;

const char* const fixtures = R"(<?xml version="1.0" encoding="UTF-8"?>
<erpSimFixtures>
  <session id="S1">
    <dataFile name="R1"/>
    <dataFile name="R2"/>
    <property name="Language">2</property>
    <property name="CompanyNumber">042</property>
    <property name="DecimalSeparator">,</property>
    <companyLogo url="http://img/logo.png"/>
    <sensitivityImage height="16" width="16" url="http://img/s16x16.png"/>
    <sensitivityImage height="16" width="32" url="http://img/s16x32.png"/>
    <applicationImage guid="{G-1}" url="http://img/app1.png"/>
    <enumImage domain="tcyesno" value="-999" url="http://img/yn-999.png"/>
    <enumImage domain="tcyesno" value="9999" url="http://img/yn9999.png"/>
    <additionalFile package="tc" module="mcs" name="logo.png" url="http://files/tc/mcs/logo.png"/>
    <barcode value="4711" parameters="ean13" url="http://bc/fixed.png"/>
    <barcode url="http://bc/{value}?p={parameters}"/>
    <label code="tdsls.orno" language="2">
      <variant length="10" height="1">Order no</variant>
      <variant length="20" height="2">Sales order number</variant>
    </label>
    <label code="tdsls.orno" language="3"><variant length="10" height="1">Auftrag</variant></label>
    <label code="bare" language="2"><variant>No size</variant></label>
    <label code="none" language="2"/>
    <label code="any"><variant length="3" height="1">Any</variant></label>
    <text number="42" language="2">Forty-two</text>
    <text number="-5" language="2" company="042">Company text</text>
    <text number="7" language="2" errorCode="3">Text 7 is blocked</text>
    <message code="m1" language="2">Message one &amp; more</message>
    <currencyFormat code="AMT" currency="EUR">ZZZTZZ9VD99</currencyFormat>
    <currencyFormat code="TRS" currency="EUR">ZZ9VD99   </currencyFormat>
  </session>
  <session id="S2">
    <dataFile name="R9"/>
  </session>
</erpSimFixtures>
)";

// Request bodies as the library writes them.
std::string imageRequest(const std::string& dataFile, const std::string& type,
                         const std::vector<std::pair<std::string, std::string>>& fields = {}) {
  std::string body = "<imageRequest><datafile>" + dataFile + "</datafile><type>" + type + "</type>";
  for (const auto& field : fields) {
    body += "<" + field.first + ">" + field.second + "</" + field.first + ">";
  }
  return body + "</imageRequest>";
}

std::string propertiesRequest(const std::string& dataFile) {
  return "<propertiesRequest><datafile>" + dataFile + "</datafile></propertiesRequest>";
}

std::string stringIn(const std::string& name, const std::string& value) {
  return "<" + name + " scope=\"in\" dt=\"string\" dims=\"" + std::to_string(value.size()) +
         "\">" + value + "</" + name + ">";
}

std::string elementsOut(const std::string& name) {
  return "<" + name + " scope=\"out\" ct=\"elements\" />";
}

std::string callRequest(const std::string& dataFile, const std::string& method,
                        const std::string& parameters, const std::string& dll = "oqrptdllutil") {
  return "<callRequest><datafile>" + dataFile +
         "</datafile><dllRequest><constructor language=\"VarnDLL\"><dll>" + dll +
         "</dll><method>" + method + "</method><parameters>" + parameters +
         "</parameters></constructor></dllRequest></callRequest>";
}

std::string labelCall(const std::string& code, const std::string& language,
                      const std::string& dataFile = "R1") {
  return callRequest(dataFile, "GetLabelVariants",
                     stringIn("LABELCODE", code) + stringIn("LANGUAGE", language) +
                         elementsOut("callResult"));
}

std::string messageCall(const std::string& code, const std::string& language) {
  return callRequest("R1", "GetMessageText",
                     stringIn("MESSAGECODE", code) + stringIn("LANGUAGE", language) +
                         elementsOut("callResult"));
}

std::string textCall(const std::string& number, const std::string& language,
                     const std::string& company) {
  return callRequest("R1", "GetReportText",
                     "<CALLINFO scope=\"in\" ct=\"elements\"><TEXTID NAME=\"dummyfield\" LANG=\"" +
                         language + "\" COMP=\"" + company + "\">" + number +
                         "</TEXTID></CALLINFO>" + elementsOut("callResult"));
}

std::string formatsCall() {
  return callRequest("R1", "GetCurrencyFormats", elementsOut("CALLRESULT"));
}

// The envelope of a successful call reply around the method element.
std::string callReply(const std::string& method, const std::string& out) {
  return "<callResponse><status>1</status><dllResponse><reply><" + method + ">" + out + "</" +
         method + "></reply></dllResponse></callResponse>";
}

std::string storeReply(const std::string& url) {
  return "<imageResponse><status>1</status><url>" + url + "</url></imageResponse>";
}

std::string failureReply(const std::string& root, const std::string& message) {
  return "<" + root + "><status>0</status><message>" + message + "</message></" + root + ">";
}

std::string dllError(const std::string& message) {
  return "<callResponse><status>1</status><dllResponse><error>" + message +
         "</error></dllResponse></callResponse>";
}

class ErpSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A server that drops a connection must fail our write, not end us.
    ::signal(SIGPIPE, SIG_IGN);
    fixtureFile_ = write("fixtures.xml", fixtures);
    start({"--port", "0", "--data", fixtureFile_});
  }

  // Every run ends cleanly, whatever it was put through; under the
  // sanitizers a report in erp-sim fails the test here.
  void TearDown() override { stopCleanly(); }

  void stopCleanly() {
    if (sim_) {
      EXPECT_EQ(sim_->stop(SIGTERM), 0) << sim_->errorOutput();
    }
  }

  void start(const std::vector<std::string>& args) {
    stopCleanly();
    sim_ = std::make_unique<ErpSimProcess>(QUILRUN_ERP_SIM, args,
                                           (folder_.path() / "stderr.txt").string());
    ASSERT_FALSE(sim_->url().empty()) << sim_->errorOutput();
  }

  std::string write(const std::string& name, const std::string& content) {
    const std::string path = (folder_.path() / name).string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  // A client of the simulator that keeps its connection open.
  std::unique_ptr<httplib::Client> client() {
    auto made = std::make_unique<httplib::Client>(sim_->root());
    made->set_keep_alive(true);
    // Headers and body go out in two writes; without this the body waits
    // for the server's delayed ACK on every request.
    made->set_tcp_nodelay(true);
    made->enable_server_certificate_verification(false);
    made->set_read_timeout(30, 0);
    return made;
  }

  // Posts body to endpoint (a path below the base path) as session; an
  // empty session sends no cookie.
  httplib::Result post(httplib::Client& with, const std::string& endpoint,
                       const std::string& body, const std::string& session = "S1",
                       httplib::Headers headers = {}) {
    if (!session.empty()) headers.emplace("Cookie", "JSESSIONID=" + session);
    return with.Post(("/svcgw/" + endpoint).c_str(), headers, body, "text/xml");
  }

  // The reply body, or a marker naming the transfer error.
  std::string answer(const std::string& endpoint, const std::string& body,
                     const std::string& session = "S1") {
    const auto result = post(*client(), endpoint, body, session);
    if (!result) return "<no reply: " + httplib::to_string(result.error()) + ">";
    EXPECT_EQ(result->status, 200);
    return result->body;
  }

  std::string get(httplib::Client& with, const std::string& path) {
    const auto result = with.Get(path.c_str());
    return result ? result->body : "<no reply>";
  }

  std::string stats() { return get(*client(), "/stats"); }

  TempFolder folder_;
  std::string fixtureFile_;
  std::unique_ptr<ErpSimProcess> sim_;
};

struct Exchange {
  const char* name;
  const char* endpoint;
  std::string request;
  std::string reply;
  const char* session = "S1";
};

TEST_F(ErpSimTest, AnswersEachRequestInItsReplyForm) {
  const Exchange exchanges[] = {
      {"company logo", "store", imageRequest("R1", "0"), storeReply("http://img/logo.png")},
      {"sensitivity 16x32", "store", imageRequest("R1", "1", {{"height", "16"}, {"width", "32"}}),
       storeReply("http://img/s16x32.png")},
      {"sensitivity 16x16", "store", imageRequest("R2", "1", {{"height", "16"}, {"width", "16"}}),
       storeReply("http://img/s16x16.png")},
      {"application image", "store", imageRequest("R1", "2", {{"guid", "{G-1}"}}),
       storeReply("http://img/app1.png")},
      {"enum -999", "store", imageRequest("R1", "3", {{"domain", "tcyesno"}, {"value", "-999"}}),
       storeReply("http://img/yn-999.png")},
      {"enum 9999", "store", imageRequest("R1", "3", {{"domain", "tcyesno"}, {"value", "9999"}}),
       storeReply("http://img/yn9999.png")},
      {"additional file", "store",
       imageRequest("R1", "4", {{"package", "tc"}, {"module", "mcs"}, {"name", "logo.png"}}),
       storeReply("http://files/tc/mcs/logo.png")},
      {"barcode, exact entry first", "store",
       imageRequest("R1", "5", {{"value", "4711"}, {"parameters", "ean13"}}),
       storeReply("http://bc/fixed.png")},
      {"barcode, template percent-encodes", "store",
       imageRequest("R1", "5", {{"value", "A 1/2"}, {"parameters", "c&amp;d"}}),
       storeReply("http://bc/A%201%2F2?p=c%26d")},
      {"properties in fixture order", "properties", propertiesRequest("R1"),
       "<propertiesResponse><status>1</status><properties>"
       "<property name=\"Language\">2</property><property name=\"CompanyNumber\">042</property>"
       "<property name=\"DecimalSeparator\">,</property></properties></propertiesResponse>"},
      {"session without properties", "properties", propertiesRequest("R9"),
       "<propertiesResponse><status>1</status><properties/></propertiesResponse>", "S2"},
      {"currency formats, blanks kept", "call", formatsCall(),
       callReply("GetCurrencyFormats",
                 "<CALLRESULT><CURRENCY_FORMATS>"
                 "<FORMAT CODE=\"AMT\" CURRENCY=\"EUR\">ZZZTZZ9VD99</FORMAT>"
                 "<FORMAT CODE=\"TRS\" CURRENCY=\"EUR\">ZZ9VD99   </FORMAT>"
                 "</CURRENCY_FORMATS></CALLRESULT>")},
      {"label variants of the language", "call", labelCall("tdsls.orno", "2"),
       callReply("GetLabelVariants",
                 "<callResult><LABELS>"
                 "<LABEL ORIGNAME=\"tdsls.orno\" LENGTH=\"10\" HEIGHT=\"1\">Order no</LABEL>"
                 "<LABEL ORIGNAME=\"tdsls.orno\" LENGTH=\"20\" HEIGHT=\"2\">Sales order number</LABEL>"
                 "</LABELS></callResult>")},
      {"label variant without size", "call", labelCall("bare", "2"),
       callReply("GetLabelVariants",
                 "<callResult><LABELS><LABEL ORIGNAME=\"bare\">No size</LABEL></LABELS></callResult>")},
      {"label without variants", "call", labelCall("none", "2"),
       callReply("GetLabelVariants", "<callResult><LABELS/></callResult>")},
      {"label of any language, empty LANGUAGE", "call", labelCall("any", ""),
       callReply("GetLabelVariants",
                 "<callResult><LABELS><LABEL ORIGNAME=\"any\" LENGTH=\"3\" HEIGHT=\"1\">Any</LABEL>"
                 "</LABELS></callResult>")},
      {"message, escaped", "call", messageCall("m1", "2"),
       callReply("GetMessageText", "<callResult><MESSAGE>Message one &amp; more</MESSAGE></callResult>")},
      {"report text", "call", textCall("42", "2", "042"),
       callReply("GetReportText", "<callResult><TEXT>Forty-two</TEXT></callResult>")},
      {"report text of the company", "call", textCall("-5", "2", "042"),
       callReply("GetReportText", "<callResult><TEXT>Company text</TEXT></callResult>")},
      {"report text with error code", "call", textCall("7", "2", "042"),
       callReply("GetReportText", "<callResult><ERROR CODE=\"3\">Text 7 is blocked</ERROR></callResult>")},
  };
  for (const Exchange& exchange : exchanges) {
    EXPECT_EQ(answer(exchange.endpoint, exchange.request, exchange.session), exchange.reply)
        << exchange.name;
  }
}

TEST_F(ErpSimTest, AnswersStatusZeroWithAMessageForWhatItCannotServe) {
  struct Case {
    const char* endpoint;
    const char* session;
    std::string request;
    std::string message;
  };
  const Case cases[] = {
      {"store", "", imageRequest("R1", "0"), "No session: the request carries no JSESSIONID cookie"},
      {"store", "S3", imageRequest("R1", "0"), "Invalid session: JSESSIONID 'S3' is not known"},
      {"store", "S2", imageRequest("R1", "0"), "Unknown data file 'R1' for this session"},
      {"store", "S2", imageRequest("R9", "0"), "No company logo is stored"},
      {"store", "S1", imageRequest("R1", "1", {{"height", "32"}, {"width", "16"}}),
       "No sensitivity image of height 32 and width 16"},
      {"store", "S1", imageRequest("R1", "2", {{"guid", "{g-1}"}}),
       "No application image with GUID '{g-1}'"},
      {"store", "S1", imageRequest("R1", "3", {{"domain", "tcyesno"}, {"value", "1"}}),
       "No image for value 1 of domain 'tcyesno'"},
      {"store", "S1", imageRequest("R1", "4", {{"package", "tc"}, {"module", "mcs"}, {"name", "x"}}),
       "No additional file 'x' in package 'tc', module 'mcs'"},
      {"store", "S1", imageRequest("R1", "1", {{"height", "1x"}, {"width", "16"}}),
       "Malformed request: &lt;height&gt; is not a number: '1x'"},
      {"store", "S1", imageRequest("R1", "1", {{"height", "16"}}),
       "Malformed request: &lt;width&gt; is missing"},
      {"store", "S1", imageRequest("R1", "6"), "Malformed request: unknown image type '6'"},
      {"store", "S1", "<imageRequest><type>0</type></imageRequest>",
       "Malformed request: &lt;datafile&gt; is missing"},
      {"store", "S1", propertiesRequest("R1"),
       "Malformed request: the request element is &lt;propertiesRequest&gt;, not &lt;imageRequest&gt;"},
      {"store", "S1", "", "Malformed request: not well-formed XML: No document element found"},
      {"properties", "S3", propertiesRequest("R1"), "Invalid session: JSESSIONID 'S3' is not known"},
      {"properties", "S1", propertiesRequest("R9"), "Unknown data file 'R9' for this session"},
      {"properties", "S1", "<propertiesRequest><datafile>R1</propertiesRequest>",
       "Malformed request: not well-formed XML: Start-end tags mismatch"},
      {"call", "", formatsCall(), "No session: the request carries no JSESSIONID cookie"},
      {"call", "S1", labelCall("tdsls.orno", "2", "R9"), "Unknown data file 'R9' for this session"},
      {"call", "S1", labelCall("tdsls.ORNO", "2"),
       "Label code 'tdsls.ORNO' not found for language '2'"},
      {"call", "S1", labelCall("tdsls.orno", "4"),
       "Label code 'tdsls.orno' not found for language '4'"},
      {"call", "S1", messageCall("m2", "2"), "Message code 'm2' not found for language '2'"},
      {"call", "S1", textCall("-5", "2", "100"),
       "Text -5 not found for language '2' and company '100'"},
      {"call", "S1", "<callRequest><datafile>R1</datafile></callRequest>",
       "Malformed request: &lt;dllRequest&gt; is missing in &lt;callRequest&gt;"},
      {"call", "S1",
       "<callRequest><datafile>R1</datafile><dllRequest><constructor language=\"Java\">"
       "<dll>oqrptdllutil</dll><method>GetCurrencyFormats</method></constructor></dllRequest>"
       "</callRequest>",
       "Malformed request: the constructor's language is 'Java', not 'VarnDLL'"},
  };
  for (const Case& c : cases) {
    const std::string root = std::string(c.endpoint) == "store"        ? "imageResponse"
                             : std::string(c.endpoint) == "properties" ? "propertiesResponse"
                                                                       : "callResponse";
    EXPECT_EQ(answer(c.endpoint, c.request, c.session), failureReply(root, c.message))
        << c.endpoint << " " << c.request;
  }
}

TEST_F(ErpSimTest, AnswersCallsTheLibraryCannotRunWithItsError) {
  const std::pair<std::string, std::string> cases[] = {
      {callRequest("R1", "GetLabels", elementsOut("callResult")),
       "Method GetLabels is not part of library oqrptdllutil"},
      {callRequest("R1", "GetCurrencyFormats", elementsOut("CALLRESULT"), "oqrptdll"),
       "Library oqrptdll is not available"},
      {callRequest("R1", "GetCurrencyFormats", elementsOut("callResult")),
       "GetCurrencyFormats: the out-parameter CALLRESULT is missing"},
      {callRequest("R1", "GetLabelVariants", stringIn("LABELCODE", "any") + elementsOut("callResult")),
       "GetLabelVariants: the in-parameter LANGUAGE is missing"},
      {callRequest("R1", "GetLabelVariants",
                   "<LABELCODE scope=\"in\" dt=\"string\" dims=\"4\">any</LABELCODE>" +
                       stringIn("LANGUAGE", "2") + elementsOut("callResult")),
       "GetLabelVariants: the parameter LABELCODE declares dims '4' for a value of 3 bytes"},
      {callRequest("R1", "GetMessageText",
                   "<MESSAGECODE scope=\"in\" dt=\"int\" dims=\"2\">m1</MESSAGECODE>" +
                       stringIn("LANGUAGE", "2") + elementsOut("callResult")),
       "GetMessageText: the parameter MESSAGECODE has type 'int', not 'string'"},
      {callRequest("R1", "GetMessageText",
                   stringIn("MESSAGECODE", "m1") + stringIn("LANGUAGE", "2") +
                       "<callResult scope=\"in\" ct=\"elements\" />"),
       "GetMessageText: the parameter callResult has scope 'in', not 'out'"},
      {callRequest("R1", "GetReportText",
                   "<CALLINFO scope=\"in\" ct=\"elements\" />" + elementsOut("callResult")),
       "GetReportText: CALLINFO holds no &lt;TEXTID&gt;"},
      {textCall("4x", "2", "042"), "GetReportText: the text number '4x' is not a number"},
  };
  for (const auto& c : cases) EXPECT_EQ(answer("call", c.first), dllError(c.second)) << c.first;
}

// No prefix of a request, however cut, is a request: each gets a status-0
// reply, and the server keeps answering.
TEST_F(ErpSimTest, AnswersEveryTruncatedRequestWithStatusZero) {
  const auto with = client();
  const std::pair<std::string, std::string> requests[] = {
      {"store", imageRequest("R1", "4", {{"package", "tc"}, {"module", "mcs"}, {"name", "logo.png"}})},
      {"properties", propertiesRequest("R1")},
      {"call", textCall("42", "2", "042")},
  };
  for (const auto& request : requests) {
    for (std::size_t length = 0; length < request.second.size(); ++length) {
      const auto result = post(*with, request.first, request.second.substr(0, length));
      ASSERT_TRUE(result) << request.first << " cut at " << length;
      pugi::xml_document reply;
      ASSERT_TRUE(reply.load_string(result->body.c_str())) << result->body;
      EXPECT_STREQ(reply.select_node("/*/status").node().child_value(), "0")
          << request.first << " cut at " << length << ": " << result->body;
    }
  }
  EXPECT_EQ(answer("call", textCall("42", "2", "042")),
            callReply("GetReportText", "<callResult><TEXT>Forty-two</TEXT></callResult>"));
}

TEST_F(ErpSimTest, CountsRequestsPerEndpointAndMethodUntilReset) {
  const auto with = client();
  post(*with, "store", imageRequest("R1", "0"));
  post(*with, "store", imageRequest("R1", "0"), "S3");
  post(*with, "properties", propertiesRequest("R1"));
  post(*with, "call", labelCall("any", "2"));
  post(*with, "call", labelCall("none", "2"));
  post(*with, "call", textCall("42", "2", "042"));
  post(*with, "call", callRequest("R1", "Other", ""));
  post(*with, "call", "not xml");
  EXPECT_EQ(get(*with, "/stats"),
            "{\"connections\":1,\"requests\":{\"call\":5,\"properties\":1,\"store\":2},"
            "\"methods\":{\"GetCurrencyFormats\":0,\"GetLabelVariants\":2,\"GetMessageText\":0,"
            "\"GetReportText\":1,\"Other\":1},\"faults\":0}\n");

  const auto reset = with->Post("/stats/reset");
  ASSERT_TRUE(reset);
  EXPECT_EQ(get(*with, "/stats"),
            "{\"connections\":0,\"requests\":{\"call\":0,\"properties\":0,\"store\":0},"
            "\"methods\":{\"GetCurrencyFormats\":0,\"GetLabelVariants\":0,\"GetMessageText\":0,"
            "\"GetReportText\":0},\"faults\":0}\n");
}

TEST_F(ErpSimTest, KeepsTheLastRequestOfEachEndpoint) {
  const auto with = client();
  EXPECT_EQ(with->Get("/last?endpoint=store")->status, 404);
  EXPECT_EQ(with->Get("/last?endpoint=image")->status, 400);

  // Bytes that are not XML, and a NUL, come back as they were sent.
  const std::string odd = std::string("<imageRequest>\xE4\0\x01", 17) + "</imageRequest>";
  post(*with, "store", imageRequest("R1", "0"));
  post(*with, "store", odd);
  post(*with, "properties", propertiesRequest("R2"));
  EXPECT_EQ(get(*with, "/last?endpoint=store"), odd);
  EXPECT_EQ(get(*with, "/last?endpoint=properties&part=body"), propertiesRequest("R2"));
  const std::string head = get(*with, "/last?endpoint=store&part=headers");
  EXPECT_EQ(head.rfind("POST /svcgw/store\n", 0), 0u) << head;
  EXPECT_NE(head.find("\nCookie: JSESSIONID=S1\n"), std::string::npos) << head;
  EXPECT_NE(head.find("\nContent-Type: text/xml\n"), std::string::npos) << head;
  EXPECT_EQ(head.find("REMOTE_PORT"), std::string::npos) << head;
}

size_t appendTo(char* data, size_t size, size_t count, void* reply) {
  static_cast<std::string*>(reply)->append(data, size * count);
  return size * count;
}

// Posts body to url the way the library's transport does: one easy handle
// per data file, reset before each request, the session as a cookie.
std::string curlPost(CURL* handle, const std::string& url, const std::string& body) {
  std::string reply;
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: text/xml");
  curl_easy_reset(handle);
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_POST, 1L);
  curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(handle, CURLOPT_COOKIE, "JSESSIONID=S1");
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &reply);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &appendTo);
  const CURLcode code = curl_easy_perform(handle);
  curl_slist_free_all(headers);
  return code == CURLE_OK ? reply : std::string("<curl: ") + curl_easy_strerror(code) + ">";
}

// What a libcurl client got for one request: how it ended, the status and
// announced length, and how much of the body came.
struct Transfer {
  CURLcode code = CURLE_OK;
  // 0 when no status line came.
  long status = 0;
  // -1 when the reply announced no Content-Length.
  curl_off_t length = -1;
  std::size_t received = 0;
  // The body's first bytes, at most keptBytes.
  std::string start;
  static constexpr std::size_t keptBytes = 64 * 1024;
  // The client aborts once more than this has come, as a client must do
  // itself against a body without end.
  std::size_t cap = 0;
};

size_t receive(char* data, size_t size, size_t count, void* transfer) {
  Transfer& into = *static_cast<Transfer*>(transfer);
  const std::size_t bytes = size * count;
  into.received += bytes;
  into.start.append(data, std::min(bytes, Transfer::keptBytes - into.start.size()));
  return into.received > into.cap ? 0 : bytes;
}

// Posts a store request to url with libcurl, giving up after timeoutMs or
// once more than cap bytes of body have come; fault, unless null, goes in
// the fault header.
Transfer curlTransfer(const std::string& url, const char* fault, long timeoutMs, std::size_t cap) {
  Transfer transfer;
  transfer.cap = cap;
  const std::string body = imageRequest("R1", "0");
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: text/xml");
  if (fault) {
    headers = curl_slist_append(headers, (std::string("X-Erp-Sim-Fault: ") + fault).c_str());
  }
  CURL* handle = curl_easy_init();
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(handle, CURLOPT_COOKIE, "JSESSIONID=S1");
  curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, timeoutMs);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &receive);
  transfer.code = curl_easy_perform(handle);
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &transfer.status);
  curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &transfer.length);
  curl_easy_cleanup(handle);
  curl_slist_free_all(headers);
  return transfer;
}

TEST_F(ErpSimTest, ServesOneClientsRequestsOnOneConnection) {
  CURL* handle = curl_easy_init();
  ASSERT_NE(handle, nullptr);
  for (int i = 0; i < 20; ++i) {
    const bool store = i % 2 == 0;
    EXPECT_EQ(curlPost(handle, sim_->url() + (store ? "/store" : "/call"),
                       store ? imageRequest("R1", "0") : labelCall("none", "2")),
              store ? storeReply("http://img/logo.png")
                    : callReply("GetLabelVariants", "<callResult><LABELS/></callResult>"))
        << i;
  }
  curl_easy_cleanup(handle);
  const auto kept = client();
  EXPECT_NE(get(*kept, "/stats").find("\"connections\":2,"), std::string::npos)
      << "one for the 20 posts, one for this query";

  // Clients that close their connection count once each.
  for (int i = 0; i < 3; ++i) {
    httplib::Client once(sim_->root());
    ASSERT_TRUE(post(once, "store", imageRequest("R1", "0")));
  }
  EXPECT_NE(get(*kept, "/stats").find("\"connections\":5,"), std::string::npos);
}

TEST_F(ErpSimTest, AltersTheReplyAsTheRequestsFaultSays) {
  const std::string request = imageRequest("R1", "0");
  const std::string good = storeReply("http://img/logo.png");
  struct Case {
    const char* fault;
    int status;
    std::string body;
  };
  const Case cases[] = {
      {"status=500", 500, good},
      {"malformed", 200, good.substr(0, good.size() / 2)},
      {"empty", 200, ""},
      {"nul", 200, good + std::string(1, '\0')},
      {"nul=7", 200, good.substr(0, 7) + std::string(1, '\0') + good.substr(7)},
      {"delay=10;status=503 empty", 503, ""},
      {"status=502,trickle=1", 502, good},
  };
  const auto with = client();
  for (const Case& c : cases) {
    const auto result = post(*with, "store", request, "S1", {{"X-Erp-Sim-Fault", c.fault}});
    ASSERT_TRUE(result) << c.fault;
    EXPECT_EQ(result->status, c.status) << c.fault;
    EXPECT_EQ(result->body, c.body) << c.fault;
  }

  // Padded to exactly the size, and still the same reply to an XML reader.
  const auto large = post(*with, "store", request, "S1", {{"X-Erp-Sim-Fault", "size=3"}});
  ASSERT_TRUE(large);
  EXPECT_EQ(large->body.size(), 3u * 1024 * 1024);
  pugi::xml_document padded;
  ASSERT_TRUE(padded.load_buffer(large->body.data(), large->body.size()));
  EXPECT_STREQ(padded.select_node("//url").node().child_value(), "http://img/logo.png");

  // Connections cut before or during the reply.
  for (const char* fault : {"close", "truncate"}) {
    httplib::Client cut(sim_->root());
    EXPECT_FALSE(post(cut, "store", request, "S1", {{"X-Erp-Sim-Fault", fault}})) << fault;
  }

  // The fault in the path serves clients that cannot set headers, such as
  // the library given a web-service URL ending in /svcgw/fault/FAULT.
  const auto inPath = post(*with, "fault/status=502,delay=5/store", request);
  ASSERT_TRUE(inPath);
  EXPECT_EQ(inPath->status, 502);
  EXPECT_EQ(inPath->body, good);

  // A bad fault is the test's mistake: 400 and nothing counted.
  EXPECT_EQ(post(*with, "store", request, "S1", {{"X-Erp-Sim-Fault", "empty,close"}})->status, 400);
  EXPECT_EQ(post(*with, "store", request, "S1", {{"X-Erp-Sim-Fault", "slow"}})->status, 400);
  EXPECT_NE(stats().find("\"store\":11},"), std::string::npos) << stats();
  EXPECT_NE(stats().find("\"faults\":11}"), std::string::npos) << stats();
  EXPECT_EQ(answer("store", request), good);
}

// A delay is checked as a lower bound only: the reply may come later on a
// loaded machine, never earlier.
TEST_F(ErpSimTest, DelaysTheReplyByAtLeastTheFaultsTime) {
  const auto with = client();
  const auto start = std::chrono::steady_clock::now();
  const auto result =
      post(*with, "properties", propertiesRequest("R9"), "S1", {{"X-Erp-Sim-Fault", "delay=300"}});
  const auto elapsed = std::chrono::steady_clock::now() - start;
  ASSERT_TRUE(result);
  EXPECT_EQ(result->body, failureReply("propertiesResponse", "Unknown data file 'R9' for this session"));
  EXPECT_GE(elapsed, std::chrono::milliseconds(300));
}

// Faults that keep a client waiting, seen by a libcurl client with a
// time-out. erp-sim runs with a single worker here: the request after each
// case is answered only once the worker has let go of the connection the
// client gave up on.
TEST_F(ErpSimTest, KeepsTheClientWaitingUntilItGivesUp) {
  start({"--port", "0", "--data", fixtureFile_, "--threads", "1"});
  const std::string good = storeReply("http://img/logo.png");
  const std::string head = good.substr(0, good.rfind("</")) + "<!--";
  const std::size_t cap = 4 * 1024 * 1024;
  struct Case {
    const char* path;
    const char* fault;
    long timeoutMs;
    CURLcode code;
    long status;
    curl_off_t length;
    std::size_t least;
    std::size_t most;
    // What the body's first bytes are a prefix of.
    std::string body;
  };
  const Case cases[] = {
      {"store", "stall", 300, CURLE_OPERATION_TIMEDOUT, 0, -1, 0, 0, ""},
      // A byte every 100 ms: two or three within the time-out.
      {"store", "trickle=100", 300, CURLE_OPERATION_TIMEDOUT, 200,
       static_cast<curl_off_t>(good.size()), 1, 3, good},
      {"store", "overlength", 300, CURLE_OPERATION_TIMEDOUT, 200,
       static_cast<curl_off_t>(good.size() + 1024), good.size(), good.size(), good},
      {"fault/status=503,overlength/store", nullptr, 300, CURLE_OPERATION_TIMEDOUT, 503,
       static_cast<curl_off_t>(good.size() + 1024), good.size(), good.size(), good},
      // No length and no end: only the client's own cap stops it.
      {"store", "endless", 10000, CURLE_WRITE_ERROR, 200, -1, cap + 1, cap + 64 * 1024,
       head + std::string(Transfer::keptBytes, 'x')},
  };
  for (const Case& c : cases) {
    const std::string name = std::string(c.path) + " " + (c.fault ? c.fault : "");
    const Transfer got = curlTransfer(sim_->url() + "/" + c.path, c.fault, c.timeoutMs, cap);
    EXPECT_EQ(got.code, c.code) << name << ": " << curl_easy_strerror(got.code);
    EXPECT_EQ(got.status, c.status) << name;
    EXPECT_EQ(got.length, c.length) << name;
    EXPECT_GE(got.received, c.least) << name;
    EXPECT_LE(got.received, c.most) << name;
    EXPECT_EQ(got.start, c.body.substr(0, got.start.size())) << name;

    httplib::Client next(sim_->root());
    next.set_read_timeout(2, 0);
    const auto result = post(next, "store", imageRequest("R1", "0"));
    ASSERT_TRUE(result) << name << ": the worker still holds the connection";
    EXPECT_EQ(result->body, good) << name;
  }
}

TEST_F(ErpSimTest, FaultRuleAppliesToTheNextRequestsItSelects) {
  const auto with = client();
  const auto set = [&](const std::string& rule) { return with->Post("/faults", rule, "text/plain"); };
  ASSERT_EQ(set("status=503 count=2 endpoint=store")->status, 200);
  EXPECT_EQ(get(*with, "/faults"), "status=503,count=2,endpoint=store\n");

  EXPECT_EQ(post(*with, "properties", propertiesRequest("R1"))->status, 200);
  EXPECT_EQ(post(*with, "store", imageRequest("R1", "0"))->status, 503);
  // A fault of the request's own leaves the rule's count alone.
  EXPECT_EQ(post(*with, "store", imageRequest("R1", "0"), "S1", {{"X-Erp-Sim-Fault", "status=299"}})
                ->status,
            299);
  EXPECT_EQ(post(*with, "store", imageRequest("R1", "0"))->status, 503);
  EXPECT_EQ(post(*with, "store", imageRequest("R1", "0"))->status, 200);

  // A bad rule is refused and the old one stays; an empty body clears it.
  ASSERT_EQ(set("status=503 endpoint=login")->status, 400);
  ASSERT_EQ(set("count=3")->status, 400);
  EXPECT_EQ(get(*with, "/faults"), "status=503,count=0,endpoint=store\n");
  ASSERT_EQ(set("")->status, 200);
  EXPECT_EQ(get(*with, "/faults"), "none\n");
}

// A rule is read back in the form it is written in, which reads the same
// again; a bad one is refused with the reason.
TEST_F(ErpSimTest, ReadsFaultsBackAsWrittenAndRefusesBadOnes) {
  const auto with = client();
  const auto set = [&](const std::string& rule) {
    return with->Post("/faults", rule, "text/plain");
  };
  const std::pair<const char*, const char*> readable[] = {
      {"stall", "stall"},
      {"trickle=60000 status=504 delay=1", "delay=1,status=504,trickle=60000"},
      {"trickle=1", "trickle=1"},
      {"endless;status=500", "status=500,endless"},
      {"overlength delay=20 count=2", "delay=20,overlength,count=2"},
  };
  for (const auto& rule : readable) {
    ASSERT_EQ(set(rule.first)->body, std::string(rule.second) + "\n") << rule.first;
    EXPECT_EQ(set(rule.second)->body, std::string(rule.second) + "\n") << rule.first;
  }
  const std::pair<const char*, const char*> refused[] = {
      {"trickle=0", "fault item 'trickle=0' needs a number from 1 to 60000"},
      {"trickle=60001", "fault item 'trickle=60001' needs a number from 1 to 60000"},
      {"trickle", "fault item 'trickle' needs a number from 1 to 60000"},
      {"stall=1", "unknown or repeated fault item 'stall=1'"},
      {"endless=0", "unknown or repeated fault item 'endless=0'"},
      {"stall,malformed", "fault item 'malformed' conflicts with 'stall'"},
      {"trickle=5 overlength", "fault item 'overlength' conflicts with 'trickle'"},
      {"endless size=2", "fault item 'size=2' conflicts with 'endless'"},
      {"status=503 stall", "fault item 'stall' sends no reply, so it takes no status"},
      {"stall delay=10", "fault item 'stall' sends no reply, so it takes no delay"},
  };
  for (const auto& rule : refused) {
    const auto result = set(rule.first);
    EXPECT_EQ(result->status, 400) << rule.first;
    EXPECT_EQ(result->body.rfind(rule.second, 0), 0u) << rule.first << ": " << result->body;
  }
}

TEST_F(ErpSimTest, PercentRulePicksTheSameRequestsForTheSameSeed) {
  const auto with = client();
  const auto pattern = [&]() {
    EXPECT_EQ(with->Post("/faults", "status=500 percent=30 seed=7", "text/plain")->status, 200);
    std::string picked;
    for (int i = 0; i < 60; ++i) {
      picked += post(*with, "call", formatsCall())->status == 500 ? 'x' : '.';
    }
    return picked;
  };
  const std::string first = pattern();
  EXPECT_EQ(pattern(), first);
  const auto faulted = std::count(first.begin(), first.end(), 'x');
  EXPECT_GT(faulted, 5) << first;
  EXPECT_LT(faulted, 40) << first;
  EXPECT_NE(stats().find("\"faults\":" + std::to_string(2 * faulted) + "}"), std::string::npos);
}

class ErpSimStopTest : public ErpSimTest, public ::testing::WithParamInterface<int> {};

// Open keep-alive connections and requests held by a long delay or by a
// fault that waits on the client must not hold the stop up.
TEST_P(ErpSimStopTest, EndsWithExitCodeZero) {
  const auto idle = client();
  ASSERT_TRUE(post(*idle, "store", imageRequest("R1", "0")));
  const char* const held[] = {"delay=60000", "stall", "trickle=60000", "endless", "overlength"};
  std::vector<std::thread> waiting;
  for (const char* fault : held) {
    waiting.emplace_back([this, fault] {
      curlTransfer(sim_->url() + "/store", fault, 60000, std::numeric_limits<std::size_t>::max());
    });
  }
  while (stats().find("\"store\":6") == std::string::npos) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(sim_->stop(GetParam()), 0) << sim_->errorOutput();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  for (std::thread& thread : waiting) thread.join();
}

INSTANTIATE_TEST_SUITE_P(Signals, ErpSimStopTest, ::testing::Values(SIGTERM, SIGINT));

TEST_F(ErpSimTest, ServesHttpsWithASelfSignedCertificate) {
  const std::string key = (folder_.path() / "key.pem").string();
  const std::string certificate = (folder_.path() / "cert.pem").string();
  const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost"
                              " -keyout " + key + " -out " + certificate + " 2>/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  start({"--port", "0", "--data", fixtureFile_, "--tls", certificate, key});
  EXPECT_EQ(sim_->url(), "https://127.0.0.1:" + std::to_string(sim_->port()) + "/svcgw");

  const auto with = client();
  for (int i = 0; i < 3; ++i) {
    const auto result = post(*with, "store", imageRequest("R1", "0"));
    ASSERT_TRUE(result) << httplib::to_string(result.error());
    EXPECT_EQ(result->body, storeReply("http://img/logo.png"));
  }
  EXPECT_NE(get(*with, "/stats").find("\"connections\":1,"), std::string::npos);
}

TEST_F(ErpSimTest, AnswersFromTheDemoFixtures) {
  start({"--port", "0", "--data", QUILRUN_DEMO_FIXTURES});
  const std::string properties =
      answer("properties", propertiesRequest("R1002"), "9F2C4E61A07B3D58C1E2F3A4B5C6D7E8");
  EXPECT_NE(properties.find("<property name=\"CompanyNumber\">042</property>"), std::string::npos)
      << properties;
  const std::string formats = answer(
      "call", callRequest("R2001", "GetCurrencyFormats", elementsOut("CALLRESULT")),
      "4D7A1C2B9E8F06A5B3C4D2E1F0A9B8C7");
  EXPECT_NE(formats.find("<FORMAT CODE=\"NEG\" CURRENCY=\"EUR\">(ZZZTZZZTZZ9VD99)</FORMAT>"),
            std::string::npos)
      << formats;
}

// Starts that must fail, with the exit code and a message on stderr.
TEST(ErpSimStartTest, RefusesBadCommandLinesAndFixtures) {
  TempFolder folder;
  const auto file = [&](const std::string& name, const std::string& content) {
    const std::string path = (folder.path() / name).string();
    std::ofstream(path) << content;
    return path;
  };
  const std::string good = file("good.xml", fixtures);
  ErpSimProcess running(QUILRUN_ERP_SIM, {"--port", "0", "--data", good},
                        (folder.path() / "running.txt").string());
  ASSERT_FALSE(running.url().empty());

  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string message;
  };
  const Case cases[] = {
      {{"--port", "0"}, 2, "--data FILE is required"},
      {{"--data", good, "--verbose"}, 2, "unknown argument '--verbose'"},
      {{"--port", "http", "--data", good}, 2, "--port needs a number, not 'http'"},
      {{"--port", "70000", "--data", good}, 2, "--port must be between 0 and 65535"},
      {{"--data", (folder.path() / "missing.xml").string()}, 2, "cannot read the fixture file"},
      {{"--port", "0", "--data", file("broken.xml", "<erpSimFixtures>\n<session id='a'>\n")}, 2,
       "broken.xml:2: Start-end tags mismatch"},
      {{"--port", "0", "--data",
        file("typo.xml", "<erpSimFixtures>\n<session id='a'>\n<lable code='x'/></session></erpSimFixtures>")},
       2, "typo.xml:3: unknown element <lable> in <session>"},
      {{"--port", "0", "--data",
        file("attribute.xml", "<erpSimFixtures><session id='a'><label code='x'>\n"
                              "<variant lenght='3'>x</variant></label></session></erpSimFixtures>")},
       2, "attribute.xml:2: unknown attribute 'lenght' on <variant>"},
      {{"--port", "0", "--data",
        file("number.xml", "<erpSimFixtures><session id='a'>"
                           "<enumImage domain='d' value='1.5' url='u'/></session></erpSimFixtures>")},
       2, "attribute 'value' must be a whole number"},
      {{"--port", "0", "--data",
        file("twice.xml", "<erpSimFixtures><session id='a'/><session id='a'/></erpSimFixtures>")},
       2, "session 'a' is defined twice"},
      {{"--port", "0", "--data", good, "--tls", good, good}, 1, "cannot serve HTTPS"},
      {{"--port", std::to_string(running.port()), "--data", good}, 1,
       "cannot listen on 127.0.0.1:" + std::to_string(running.port())},
  };
  for (const Case& c : cases) {
    ErpSimProcess failing(QUILRUN_ERP_SIM, c.args, (folder.path() / "stderr.txt").string());
    EXPECT_EQ(failing.url(), "");
    EXPECT_EQ(failing.wait(), c.exitCode) << c.message;
    const std::string error = failing.errorOutput();
    EXPECT_EQ(error.rfind("erp-sim: ", 0), 0u) << error;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

}  // namespace
