#include "server/WebServiceClient.h"

#include <cstdio>
#include <utility>

#include "cache/DataFileCache.h"
#include "diagnostics/LogRecord.h"
#include "platform/Clock.h"
#include "server/VarnDLLCall.h"

namespace quilrun {

namespace {

const char* text(const char* value) { return value != nullptr ? value : ""; }

// The text of the first node the XPath selects, or "".
std::string firstText(const pugi::xml_node& context, const char* xpath) {
  return context.select_node(xpath).node().child_value();
}

// A property's value, or "" when absent.
std::string valueOf(const StringMap& properties, const char* name) {
  auto found = properties.find(name);
  return found != properties.end() ? found->second : std::string();
}

const char* const kLanguage = "Language";
const char* const kCompanyNumber = "CompanyNumber";
const char* const kDecimalSeparator = "DecimalSeparator";
const char* const kPostRequest = "WebServiceClient::postRequest";

// seconds as "2026-12-11 13:04:02 UTC".
std::string utcText(std::int64_t seconds) {
  const UtcTime utc = Clock::utcOf(seconds);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d UTC", utc.year, utc.month,
                utc.day, utc.hour, utc.minute, utc.second);
  return text;
}

}  // namespace

WebServiceClient::WebServiceClient(std::unique_ptr<CurlHelper> curlHelper)
    : curlHelper_(std::move(curlHelper)) {}

void WebServiceClient::configure(const ConnectorSettings& settings) {
  MutexLock lock(&settingsMutex_);
  settings_ = settings;
}

ConnectorSettings WebServiceClient::settings() const {
  MutexLock lock(&settingsMutex_);
  return settings_;
}

void WebServiceClient::closeIdleConnections() { pool_.closeIdle(); }

bool WebServiceClient::held(const DataFileCache& cache, std::int64_t now) {
  const DataFileCache::RequestHold hold = cache.getRequestHold();
  if (hold.until <= now) return false;
  QLOG(kPostRequest, 1, LogType::Error)
      << "Web service not asked for datafile '" << cache.getDataFileName() << "' until "
      << utcText(hold.until) << ": " << hold.reason << std::endl;
  return true;
}

PostResult WebServiceClient::postRequest(DataFileCache& cache, const char* servicePath,
                                         const pugi::xml_node& request) {
  const Session& session = cache.getSession();
  const ConnectorSettings limits = settings();
  // Without a URL the transport reports why nothing is sent.
  if (session.getWebserviceURL().empty()) {
    return curlHelper_->postXmlRequest(session, nullptr, servicePath, request, limits);
  }
  Clock& clock = Clock::current();
  if (held(cache, clock.nowSeconds())) return PostResult();
  ConnectionPool::Refusal refusal = ConnectionPool::Refusal::None;
  const std::int64_t waitStart = clock.nowMilliseconds();
  ConnectionPool::Lease lease =
      pool_.acquire(session.getDataFileName(), limits.maxConnections,
                    static_cast<std::int64_t>(limits.connectTimeout) * 1000, refusal);
  if (!lease) {
    if (refusal == ConnectionPool::Refusal::Full) {
      QLOG(kPostRequest, 1, LogType::Error)
          << "No connection to the web service came free for datafile '"
          << session.getDataFileName() << "' within "
          << (clock.nowMilliseconds() - waitStart) / 1000
          << " s: the pool is full (all MaxConnections = " << limits.maxConnections
          << " are busy)" << std::endl;
    }
    return PostResult();
  }
  // A transfer of this data file that timed out while this call waited for
  // the connection holds this request too.
  if (held(cache, clock.nowSeconds())) return PostResult();
  PostResult result = curlHelper_->postXmlRequest(session, lease.connection().handle(),
                                                  servicePath, request, limits);
  if (result.timedOut) {
    const std::int64_t now = clock.nowSeconds();
    const std::int64_t until = now + kHoldSeconds;
    cache.holdRequests(until, "a transfer timed out at " + utcText(now) + " (" + result.error +
                                  "; ConnectTimeout = " + std::to_string(limits.connectTimeout) +
                                  " s, RequestTimeout = " + std::to_string(limits.requestTimeout) +
                                  " s)");
    QLOG(kPostRequest, 2, LogType::Warning)
        << "Requests for datafile '" << session.getDataFileName() << "' are not sent until "
        << utcText(until) << " after a transfer timed out" << std::endl;
  }
  return result;
}

// URL requests -------------------------------------------------------------------

pugi::xml_node WebServiceClient::imageRequest(pugi::xml_document& document,
                                              DataFileCache& cache, int kind) {
  pugi::xml_node root = document.append_child("imageRequest");
  root.append_child("datafile").text().set(cache.getDataFileName().c_str());
  root.append_child("type").text().set(kind);
  return root;
}

std::string WebServiceClient::requestUrl(DataFileCache& cache, pugi::xml_document& document) {
  const PostResult post = postRequest(cache, "store", document.first_child());
  return extractUrlFromResult(post, document);
}

std::string WebServiceClient::extractUrlFromResult(const PostResult& post,
                                                   pugi::xml_document& document) {
  const char* const function = "WebServiceClient::extractUrlFromResult";
  if (!post.success) {
    QLOG(function, 1, LogType::Error) << "Web service call was not successful" << std::endl;
    return std::string();
  }
  document.reset();
  const pugi::xml_parse_result parsed = document.load_string(post.body.c_str());
  if (!parsed) {
    QLOG(function, 1, LogType::Error) << "Web service response could not be parsed: "
                                      << parsed.description() << std::endl;
    return std::string();
  }
  const std::string status = firstText(document, "//status");
  if (status != "1") {
    QLOG(function, 1, LogType::Error) << "Web service call failed with status " << status << ": "
                                      << firstText(document, "//message") << std::endl;
    return std::string();
  }
  std::string url = firstText(document, "//url");
  if (url.empty()) {
    QLOG(function, 1, LogType::Error) << "Web service did not return a URL" << std::endl;
    return url;
  }
  QLOG(function, 5, LogType::Debug) << "url = " << url << std::endl;
  return url;
}

std::string WebServiceClient::getCompanyLogo(DataFileCache& cache) {
  QLOG("WebServiceClient::getCompanyLogo", 4, LogType::Info)
      << "Params: " << cache.getDataFileName() << std::endl;
  pugi::xml_document document;
  imageRequest(document, cache, 0);
  return requestUrl(cache, document);
}

std::string WebServiceClient::getSensitivityImage(DataFileCache& cache, int height, int width) {
  QLOG("WebServiceClient::getSensitivityImage", 4, LogType::Info)
      << "Params: " << cache.getDataFileName() << ", " << height << ", " << width << std::endl;
  pugi::xml_document document;
  pugi::xml_node root = imageRequest(document, cache, 1);
  root.append_child("height").text().set(height);
  root.append_child("width").text().set(width);
  return requestUrl(cache, document);
}

std::string WebServiceClient::getApplicationImage(DataFileCache& cache, const char* guid) {
  QLOG("WebServiceClient::getApplicationImage", 4, LogType::Info)
      << "Params: " << cache.getDataFileName() << ", \"" << text(guid) << "\"" << std::endl;
  pugi::xml_document document;
  pugi::xml_node root = imageRequest(document, cache, 2);
  root.append_child("guid").text().set(text(guid));
  return requestUrl(cache, document);
}

std::string WebServiceClient::getEnumImage(DataFileCache& cache, const char* domain, int value) {
  QLOG("WebServiceClient::getEnumImage", 4, LogType::Info)
      << "Params: " << cache.getDataFileName() << ", " << text(domain) << ", " << value
      << std::endl;
  pugi::xml_document document;
  pugi::xml_node root = imageRequest(document, cache, 3);
  root.append_child("domain").text().set(text(domain));
  // The whole number: a fixed width of four characters would cut larger values.
  root.append_child("value").text().set(value);
  return requestUrl(cache, document);
}

std::string WebServiceClient::getAdditionalFile(DataFileCache& cache, const char* package,
                                                const char* module, const char* name) {
  QLOG("WebServiceClient::getAdditionalFile", 4, LogType::Info)
      << "Params: " << cache.getDataFileName() << ", " << text(package) << ", " << text(module)
      << ", " << text(name) << std::endl;
  pugi::xml_document document;
  pugi::xml_node root = imageRequest(document, cache, 4);
  root.append_child("package").text().set(text(package));
  root.append_child("module").text().set(text(module));
  root.append_child("name").text().set(text(name));
  return requestUrl(cache, document);
}

std::string WebServiceClient::getBarcodeImage(DataFileCache& cache, const char* value,
                                              const char* parameters) {
  QLOG("WebServiceClient::getBarcodeImage", 4, LogType::Info)
      << "Params: dataFile=" << cache.getDataFileName() << " value=" << text(value)
      << " parameters=" << text(parameters) << std::endl;
  pugi::xml_document document;
  pugi::xml_node root = imageRequest(document, cache, 5);
  root.append_child("value").text().set(text(value));
  root.append_child("parameters").text().set(text(parameters));
  return requestUrl(cache, document);
}

// Properties ---------------------------------------------------------------------

std::optional<StringMap> WebServiceClient::getProperties(DataFileCache& cache) {
  const char* const function = "WebServiceClient::getProperties";
  QLOG(function, 4, LogType::Info) << "Params: " << cache.getDataFileName() << std::endl;
  pugi::xml_document document;
  document.append_child("propertiesRequest")
      .append_child("datafile")
      .text()
      .set(cache.getDataFileName().c_str());
  const PostResult post = postRequest(cache, "properties", document.first_child());
  if (!post.success) {
    QLOG(function, 1, LogType::Error) << "Web service call failed with error code "
                                      << post.statusCode << std::endl;
    return std::nullopt;
  }
  document.reset();
  const pugi::xml_parse_result parsed = document.load_string(post.body.c_str());
  if (!parsed) {
    QLOG(function, 1, LogType::Error) << "Web service response could not be parsed: "
                                      << parsed.description() << std::endl;
    return std::nullopt;
  }
  if (firstText(document, "//status") != "1") {
    QLOG(function, 1, LogType::Error) << "Web service call failed: "
                                      << firstText(document, "//message") << std::endl;
    return std::nullopt;
  }
  QLOG(function, 5, LogType::Debug) << "Retrieving properties..." << std::endl;
  StringMap properties;
  for (const pugi::xpath_node& selected : document.select_nodes("//properties/property")) {
    const pugi::xml_node node = selected.node();
    const std::string name = node.attribute("name").value();
    const std::string value = node.child_value();
    // The first of two properties of one name is the one kept.
    properties.emplace(name, value);
    QLOG(function, 5, LogType::Debug) << name << " = " << value << std::endl;
  }
  return properties;
}

std::optional<StringMap> WebServiceClient::propertiesOf(DataFileCache& cache) {
  std::optional<StringMap> properties = cache.getProperties();
  if (properties) return properties;
  properties = getProperties(cache);
  if (properties) cache.setProperties(*properties);
  return properties;
}

// Remote calls -------------------------------------------------------------------

bool WebServiceClient::perform(DataFileCache& cache, VarnDLLCall& call) {
  call.setDataFile(cache.getDataFileName().c_str());
  const pugi::xml_node request = call.buildRequest();
  const PostResult post = postRequest(cache, "call", request);
  if (!post.success) return false;
  return call.processResponse(post.body.c_str());
}

void WebServiceClient::getCurrencyFormats(DataFileCache& cache) {
  const char* const function = "WebServiceClient::getCurrencyFormats";
  QLOG(function, 4, LogType::Info) << "Params: " << cache.getDataFileName() << std::endl;
  // A call that needs the properties first asks nothing while requests are
  // held: one line says why.
  if (held(cache, Clock::current().nowSeconds())) return;
  VarnDLLCall call("GetCurrencyFormats");
  VarnDLLParameter* callResult =
      call.addParameter("CALLRESULT", VarnDLLParameter::kOut, VarnDLLParameter::kXmlNode);
  // The reply does not say which decimal separator the company uses; only
  // the properties do. Formats cached with a guessed separator would render
  // every amount of a decimal-comma company wrongly for the cache's whole
  // life, so without properties nothing is asked and the amount gets its
  // fallback until a later call can read them.
  const std::optional<StringMap> properties = propertiesOf(cache);
  if (!properties) {
    QLOG(function, 1, LogType::Error)
        << "Currency formats not requested: the session's properties (decimal separator) "
           "could not be read"
        << std::endl;
    return;
  }
  const std::string separator = valueOf(*properties, kDecimalSeparator);
  const bool decimalPoint = separator.empty() || separator == ".";
  if (!perform(cache, call)) return;
  QLOG(function, 5, LogType::Debug) << "Retrieving currency formats..." << std::endl;
  // The leading // searches the whole reply; without a CALLRESULT element
  // there is no context node and nothing is found.
  const pugi::xml_node context = callResult->getXmlValue();
  if (!context) return;
  for (const pugi::xpath_node& selected : context.select_nodes("//CURRENCY_FORMATS/FORMAT")) {
    const pugi::xml_node node = selected.node();
    FormatData format;
    format.setCode(node.attribute("CODE").value());
    format.setCurrency(node.attribute("CURRENCY").value());
    format.setDecimalPoint(decimalPoint);
    format.setDisplayFormat(node.child_value());
    QLOG(function, 5, LogType::Debug)
        << "Format code = " << format.getCode() << ", currency = " << format.getCurrency()
        << ", value = " << format.getDisplayFormat() << std::endl;
    cache.addCurrencyFormat(std::move(format));
  }
}

std::optional<std::vector<LabelData>> WebServiceClient::getLabel(DataFileCache& cache,
                                                                 const char* labelCode) {
  const char* const function = "WebServiceClient::getLabel";
  QLOG(function, 4, LogType::Info) << "Params: " << cache.getDataFileName() << ", "
                                   << text(labelCode) << std::endl;
  if (held(cache, Clock::current().nowSeconds())) return std::nullopt;
  VarnDLLCall call("GetLabelVariants");
  call.addParameter("LABELCODE", VarnDLLParameter::kIn, VarnDLLParameter::kString)
      ->setStringValue(text(labelCode));
  VarnDLLParameter* language =
      call.addParameter("LANGUAGE", VarnDLLParameter::kIn, VarnDLLParameter::kString);
  VarnDLLParameter* callResult =
      call.addParameter("callResult", VarnDLLParameter::kOut, VarnDLLParameter::kXmlNode);
  // Without properties the language is empty: the server's default.
  const StringMap properties = propertiesOf(cache).value_or(StringMap());
  language->setStringValue(valueOf(properties, kLanguage).c_str());
  if (!perform(cache, call)) return std::nullopt;
  QLOG(function, 5, LogType::Debug) << "Retrieving label variants..." << std::endl;
  std::vector<LabelData> variants;
  const pugi::xml_node context = callResult->getXmlValue();
  if (!context) return variants;
  for (const pugi::xpath_node& selected : context.select_nodes("//LABELS/LABEL")) {
    const pugi::xml_node node = selected.node();
    LabelData variant;
    variant.setCode(node.attribute("ORIGNAME").value());
    variant.setText(node.child_value());
    variant.setHeight(node.attribute("HEIGHT").as_int());
    variant.setLength(node.attribute("LENGTH").as_int());
    QLOG(function, 5, LogType::Debug)
        << "Label code = " << variant.getCode() << ", length = " << variant.getLength()
        << ", height = " << variant.getHeight() << ", value = " << variant.getText() << std::endl;
    variants.push_back(std::move(variant));
  }
  return variants;
}

std::string WebServiceClient::getMessage(DataFileCache& cache, const char* messageCode) {
  const char* const function = "WebServiceClient::getMessage";
  QLOG(function, 4, LogType::Info) << "Params: " << cache.getDataFileName() << ", "
                                   << text(messageCode) << std::endl;
  if (held(cache, Clock::current().nowSeconds())) return std::string();
  VarnDLLCall call("GetMessageText");
  call.addParameter("MESSAGECODE", VarnDLLParameter::kIn, VarnDLLParameter::kString)
      ->setStringValue(text(messageCode));
  VarnDLLParameter* language =
      call.addParameter("LANGUAGE", VarnDLLParameter::kIn, VarnDLLParameter::kString);
  VarnDLLParameter* callResult =
      call.addParameter("callResult", VarnDLLParameter::kOut, VarnDLLParameter::kXmlNode);
  const StringMap properties = propertiesOf(cache).value_or(StringMap());
  language->setStringValue(valueOf(properties, kLanguage).c_str());
  if (!perform(cache, call)) return std::string();
  const pugi::xml_node message = callResult->getXmlValue().child("MESSAGE");
  if (!message) {
    QLOG(function, 1, LogType::Error) << "<callresult> does not contain child node <MESSAGE>"
                                      << std::endl;
  }
  const char* value = message.child_value();
  QLOG(function, 5, LogType::Debug) << "Retrieved message text: " << value << std::endl;
  return value;
}

std::string WebServiceClient::getText(DataFileCache& cache, long long textNumber) {
  const char* const function = "WebServiceClient::getText";
  QLOG(function, 4, LogType::Info) << "Params: " << cache.getDataFileName() << ", "
                                   << textNumber << std::endl;
  if (held(cache, Clock::current().nowSeconds())) return std::string();
  VarnDLLCall call("GetReportText");
  VarnDLLParameter* callInfo =
      call.addParameter("CALLINFO", VarnDLLParameter::kIn, VarnDLLParameter::kXmlNode);
  VarnDLLParameter* callResult =
      call.addParameter("callResult", VarnDLLParameter::kOut, VarnDLLParameter::kXmlNode);
  const StringMap properties = propertiesOf(cache).value_or(StringMap());
  pugi::xml_document info;
  pugi::xml_node infoRoot = info.append_child("CALLINFO");
  pugi::xml_node textId = infoRoot.append_child("TEXTID");
  textId.append_attribute("NAME") = "dummyfield";
  textId.append_attribute("LANG") = valueOf(properties, kLanguage).c_str();
  textId.append_attribute("COMP") = valueOf(properties, kCompanyNumber).c_str();
  // The whole number: only its low 32 bits would name another text.
  textId.text().set(std::to_string(textNumber).c_str());
  callInfo->setXmlValue(infoRoot);
  if (!perform(cache, call)) return std::string();
  const pugi::xml_node resultNode = callResult->getXmlValue();
  const pugi::xml_node textNode = resultNode.child("TEXT");
  if (!textNode) {
    const pugi::xml_node error = resultNode.child("ERROR");
    if (error) {
      QLOG(function, 1, LogType::Error) << "<callResult> contains error code "
                                        << error.attribute("CODE").value() << ": "
                                        << error.child_value() << std::endl;
    } else {
      QLOG(function, 1, LogType::Error) << "<callresult> does not contain child node <TEXT>"
                                        << std::endl;
    }
  }
  const char* value = textNode.child_value();
  QLOG(function, 5, LogType::Debug) << "Retrieved text: " << value << std::endl;
  return value;
}

}  // namespace quilrun
