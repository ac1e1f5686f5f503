#include "cache/DataFileCache.h"

#include <charconv>
#include <cstring>
#include <pugixml.hpp>
#include <utility>

#include "diagnostics/LogRecord.h"
#include "diagnostics/QuillonUtils.h"
#include "platform/Clock.h"
#include "platform/PathRules.h"
#include "platform/Platform.h"

namespace quilrun {

namespace {

const char* text(const char* value) { return value != nullptr ? value : ""; }

// Appends a key part that cannot run into the next one: its length, ':' and the part.
void appendPart(std::string& key, const char* part, std::size_t size) {
  char digits[24];
  key.append(digits, std::to_chars(digits, digits + sizeof digits, size).ptr);
  key += ':';
  key.append(part, size);
}

std::string sizeKeyOf(int height, int width) {
  char buffer[32];
  char* end = std::to_chars(buffer, buffer + 12, height).ptr;
  *end++ = 'x';
  end = std::to_chars(end, buffer + sizeof buffer, width).ptr;
  return std::string(buffer, end);
}

std::string enumKeyOf(int value, const char* domain, std::size_t size) {
  char digits[12];
  char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  std::string key;
  key.reserve(static_cast<std::size_t>(end - digits) + 1 + size);
  key.append(digits, end);
  key += ':';
  key.append(domain, size);
  return key;
}

std::string fileKeyOf(const char* package, std::size_t packageSize, const char* module,
                      std::size_t moduleSize, const char* name, std::size_t nameSize) {
  std::string key;
  key.reserve(packageSize + moduleSize + nameSize + 8);
  appendPart(key, package, packageSize);
  appendPart(key, module, moduleSize);
  key.append(name, nameSize);
  return key;
}

std::string formatKeyOf(const char* code, std::size_t codeSize, const char* currency,
                        std::size_t currencySize) {
  std::string key;
  key.reserve(codeSize + currencySize + 4);
  appendPart(key, code, codeSize);
  key.append(currency, currencySize);
  return key;
}

// Why a data file could not be loaded: the XML parser's description, or,
// when the file could not even be read, the system's reason in the words
// the parser uses for a missing file.
std::string readFailure(const FileRead& file, const pugi::xml_parse_result& parsed) {
  pugi::xml_parse_result failure;
  switch (file.status) {
    case FileRead::Status::Ok:
      return parsed.description();
    case FileRead::Status::NotFound:
      failure.status = pugi::status_file_not_found;
      return failure.description();
    case FileRead::Status::IsDirectory:
      return "Is a directory";
    case FileRead::Status::PermissionDenied:
      return "Permission denied";
    case FileRead::Status::IoError:
      break;
  }
  failure.status = pugi::status_io_error;
  return std::string(failure.description()) + (file.error.empty() ? "" : ": " + file.error);
}

// The text of the first element the XPath selects, or "".
std::string firstText(const pugi::xml_document& document, const char* xpath) {
  return document.select_node(xpath).node().child_value();
}

}  // namespace

DataFileCache::DataFileCache(const char* dataFileName)
    : DataFileCache(dataFileName != nullptr ? readExtraData(dataFileName) : Session()) {}

DataFileCache::DataFileCache(Session session) : session_(std::move(session)) {
  lastUsed_.store(Clock::current().nowSeconds());
}

DataFileCache::~DataFileCache() = default;

std::string DataFileCache::dataFilePath(const std::string& dataShare, char separator,
                                        const std::string& dataFileName) {
  return PathRules::join(PathRules::join(dataShare, separator, "Talmxmlfiles"), separator,
                         dataFileName + "-i");
}

Session DataFileCache::readExtraData(const std::string& dataFileName) {
  const char* const function = "DataFileCache::readExtraData";
  std::string jsessionId = kDefaultSessionId;
  std::string webserviceURL = kDefaultWebserviceURL;
  Platform& platform = Platform::current();
  const std::string path =
      dataFilePath(QuillonUtils::getDataShare(), platform.pathSeparator(), dataFileName);
  QLOG(function, 5, LogType::Debug) << "Trying to read data file '" << path << "'" << std::endl;
  const FileRead file = platform.readFile(path);
  pugi::xml_document document;
  pugi::xml_parse_result parsed;
  if (file.status == FileRead::Status::Ok) {
    parsed = document.load_buffer(file.contents.data(), file.contents.size());
  }
  // The time of the read, taken after it: a read that stalled counts from its end.
  const std::int64_t readTime = Clock::current().nowSeconds();
  if (file.status != FileRead::Status::Ok || !parsed) {
    QLOG(function, 1, LogType::Error) << "Data file '" << path << "' could not be parsed: "
                                      << readFailure(file, parsed) << std::endl;
    return Session(dataFileName, jsessionId, webserviceURL, false, readTime);
  }
  const std::string sessionId = firstText(document, "//jsessionId");
  if (!sessionId.empty()) {
    jsessionId = sessionId;
    QLOG(function, 5, LogType::Debug) << "Found jsessionId = '" << sessionId << "'" << std::endl;
  } else {
    QLOG(function, 2, LogType::Warning)
        << "Data file does not contain 'jsessionId' value" << std::endl;
  }
  const std::string url = firstText(document, "//webserviceURL");
  if (!url.empty()) {
    webserviceURL = url;
    QLOG(function, 5, LogType::Debug) << "Found webserviceURL = '" << url << "'" << std::endl;
  } else {
    QLOG(function, 1, LogType::Error)
        << "Data file does not contain 'webserviceURL' value" << std::endl;
  }
  return Session(dataFileName, jsessionId, webserviceURL, true, readTime);
}

void DataFileCache::holdRequests(std::int64_t until, std::string reason) {
  MutexLock lock(&holdMutex_);
  hold_.until = until;
  hold_.reason = std::move(reason);
}

DataFileCache::RequestHold DataFileCache::getRequestHold() const {
  MutexLock lock(&holdMutex_);
  return hold_;
}

void DataFileCache::touch() { recordUse(); }

std::int64_t DataFileCache::recordUse() {
  const std::int64_t now = Clock::current().nowSeconds();
  // Write only what changes: a lookup then reads shared lines instead of
  // taking them exclusive with two locked exchanges.
  if (lastUsed_.load(std::memory_order_relaxed) != now) lastUsed_.store(now);
  if (markedOld_.load(std::memory_order_relaxed)) markedOld_.store(false);
  return now;
}

template <typename T, typename Read>
auto DataFileCache::readStore(Store<T>& store, Read read)
    -> decltype(read(std::declval<const T&>())) {
  const std::int64_t now = recordUse();
  ReaderLock lock(&store.mutex);
  const T* value = store.entry ? store.entry->getValue(now) : nullptr;
  if (value == nullptr) return std::nullopt;
  return read(*value);
}

template <typename T, typename Write>
void DataFileCache::updateStore(Store<T>& store, Write write) {
  const std::int64_t now = recordUse();
  WriterLock lock(&store.mutex);
  T* value = store.entry ? store.entry->getValue(now) : nullptr;
  if (value == nullptr) {
    store.entry.reset(new CacheEntry<T>(T(), kLifetime, now));
    value = &store.entry->value();
  }
  write(*value);
}

template <typename T>
void DataFileCache::replaceStore(Store<T>& store, T value, double lifetime) {
  const std::int64_t now = recordUse();
  WriterLock lock(&store.mutex);
  store.entry.reset(new CacheEntry<T>(std::move(value), lifetime, now));
}

DataFileCache::ImageList DataFileCache::imageList(std::vector<ImageData> images,
                                                  std::string (*key)(const ImageData&)) {
  ImageList list;
  for (ImageData& image : images) {
    std::string imageKey = key(image);
    list.add(std::move(imageKey), std::move(image));
  }
  return list;
}

std::string DataFileCache::sensitivityKey(const ImageData& image) {
  return sizeKeyOf(image.getHeight(), image.getWidth());
}

std::string DataFileCache::applicationKey(const ImageData& image) { return image.getGuid(); }

std::string DataFileCache::enumKey(const ImageData& image) {
  return enumKeyOf(image.getValue(), image.getDomain().data(), image.getDomain().size());
}

std::string DataFileCache::additionalFileKey(const ImageData& image) {
  return fileKeyOf(image.getPackage().data(), image.getPackage().size(), image.getModule().data(),
                   image.getModule().size(), image.getName().data(), image.getName().size());
}

std::string DataFileCache::formatKey(const FormatData& format) {
  return formatKeyOf(format.getCode().data(), format.getCode().size(), format.getCurrency().data(),
                     format.getCurrency().size());
}

namespace {

template <typename Container>
std::optional<Container> copyOf(const Container& container) {
  return container;
}

template <typename Record>
std::optional<std::vector<Record>> recordsOf(const KeyedList<Record>& list) {
  return list.records();
}

std::optional<std::string> urlOf(const KeyedList<ImageData>& list, const std::string& key) {
  const ImageData* image = list.find(key);
  return image != nullptr ? std::optional<std::string>(image->getUrl()) : std::nullopt;
}

template <typename Map, typename Key>
std::optional<std::string> valueOf(const Map& map, const Key& key) {
  auto found = map.find(key);
  return found != map.end() ? std::optional<std::string>(found->second) : std::nullopt;
}

}  // namespace

// Company logo ---------------------------------------------------------------

std::optional<std::string> DataFileCache::getCompanyLogo() {
  return readStore(companyLogo_, copyOf<std::string>);
}

void DataFileCache::setCompanyLogo(const char* url) {
  replaceStore(companyLogo_, std::string(text(url)));
}

// Labels -----------------------------------------------------------------------

std::optional<std::vector<LabelData>> DataFileCache::getLabels() {
  return readStore(labels_, [](const LabelList& list) {
    return std::optional<std::vector<LabelData>>(list.records());
  });
}

void DataFileCache::setLabels(std::vector<LabelData> variants) {
  LabelList list;
  for (LabelData& variant : variants) list.add(std::move(variant));
  replaceStore(labels_, std::move(list));
}

void DataFileCache::addLabels(std::vector<LabelData> variants) {
  updateStore(labels_, [&variants](LabelList& list) {
    for (LabelData& variant : variants) list.add(std::move(variant));
  });
}

void DataFileCache::addLabelVariants(std::vector<LabelData> variants) {
  // Appending to a valid store, and starting a new one from the variants when
  // there is none, is exactly what addLabels does.
  addLabels(std::move(variants));
}

bool DataFileCache::hasLabels() {
  return readStore(labels_, [](const LabelList&) { return std::optional<bool>(true); }).has_value();
}

std::optional<std::string> DataFileCache::findLabel(const char* code, int length, int height) {
  const std::string wanted = text(code);
  return readStore(labels_, [&](const LabelList& list) {
    const std::string* choice = list.find(wanted, length, height);
    return choice != nullptr ? std::optional<std::string>(*choice) : std::nullopt;
  });
}

// Sensitivity images -------------------------------------------------------------

std::optional<std::vector<ImageData>> DataFileCache::getSensitivityImages() {
  return readStore(sensitivityImages_, recordsOf<ImageData>);
}

void DataFileCache::setSensitivityImages(std::vector<ImageData> images) {
  replaceStore(sensitivityImages_, imageList(std::move(images), &sensitivityKey));
}

void DataFileCache::addSensitivityImage(ImageData image) {
  std::string key = sensitivityKey(image);
  updateStore(sensitivityImages_,
              [&](ImageList& list) { list.add(std::move(key), std::move(image)); });
}

std::optional<std::string> DataFileCache::findSensitivityImage(int height, int width) {
  const std::string key = sizeKeyOf(height, width);
  return readStore(sensitivityImages_, [&](const ImageList& list) { return urlOf(list, key); });
}

// Application images -------------------------------------------------------------

std::optional<std::vector<ImageData>> DataFileCache::getApplicationImages() {
  return readStore(applicationImages_, recordsOf<ImageData>);
}

void DataFileCache::setApplicationImages(std::vector<ImageData> images) {
  replaceStore(applicationImages_, imageList(std::move(images), &applicationKey));
}

void DataFileCache::addApplicationImage(ImageData image) {
  std::string key = applicationKey(image);
  updateStore(applicationImages_,
              [&](ImageList& list) { list.add(std::move(key), std::move(image)); });
}

std::optional<std::string> DataFileCache::findApplicationImage(const char* guid) {
  const std::string key = text(guid);
  return readStore(applicationImages_, [&](const ImageList& list) { return urlOf(list, key); });
}

// Enum images ----------------------------------------------------------------------

std::optional<std::vector<ImageData>> DataFileCache::getEnumImages() {
  return readStore(enumImages_, recordsOf<ImageData>);
}

void DataFileCache::setEnumImages(std::vector<ImageData> images) {
  replaceStore(enumImages_, imageList(std::move(images), &enumKey));
}

void DataFileCache::addEnumImage(ImageData image) {
  std::string key = enumKey(image);
  updateStore(enumImages_, [&](ImageList& list) { list.add(std::move(key), std::move(image)); });
}

std::optional<std::string> DataFileCache::findEnumImage(const char* domain, int value) {
  const char* const d = text(domain);
  const std::string key = enumKeyOf(value, d, std::strlen(d));
  return readStore(enumImages_, [&](const ImageList& list) { return urlOf(list, key); });
}

// Additional files -----------------------------------------------------------------

std::optional<std::vector<ImageData>> DataFileCache::getAdditionalFiles() {
  return readStore(additionalFiles_, recordsOf<ImageData>);
}

void DataFileCache::setAdditionalFiles(std::vector<ImageData> files) {
  replaceStore(additionalFiles_, imageList(std::move(files), &additionalFileKey));
}

void DataFileCache::addAdditionalFile(ImageData file) {
  std::string key = additionalFileKey(file);
  updateStore(additionalFiles_,
              [&](ImageList& list) { list.add(std::move(key), std::move(file)); });
}

std::optional<std::string> DataFileCache::findAdditionalFile(const char* package,
                                                             const char* module, const char* name) {
  const char* const p = text(package);
  const char* const m = text(module);
  const char* const n = text(name);
  const std::string key = fileKeyOf(p, std::strlen(p), m, std::strlen(m), n, std::strlen(n));
  return readStore(additionalFiles_, [&](const ImageList& list) { return urlOf(list, key); });
}

// Properties -------------------------------------------------------------------

std::optional<StringMap> DataFileCache::getProperties() {
  return readStore(properties_, copyOf<StringMap>);
}

void DataFileCache::setProperties(StringMap properties) {
  // Properties belong to the session and never expire.
  replaceStore(properties_, std::move(properties), 0.0);
}

std::optional<std::string> DataFileCache::findProperty(const char* name) {
  const std::string key = text(name);
  return readStore(properties_, [&](const StringMap& map) { return valueOf(map, key); });
}

// Currency formats ---------------------------------------------------------------

std::optional<std::vector<FormatData>> DataFileCache::getCurrencyFormats() {
  return readStore(currencyFormats_, recordsOf<FormatData>);
}

void DataFileCache::setCurrencyFormats(std::vector<FormatData> formats) {
  FormatList list;
  for (FormatData& format : formats) {
    std::string key = formatKey(format);
    list.add(std::move(key), std::move(format));
  }
  replaceStore(currencyFormats_, std::move(list));
}

void DataFileCache::addCurrencyFormat(FormatData format) {
  std::string key = formatKey(format);
  updateStore(currencyFormats_,
              [&](FormatList& list) { list.add(std::move(key), std::move(format)); });
}

bool DataFileCache::hasCurrencyFormats() {
  return readStore(currencyFormats_, [](const FormatList&) { return std::optional<bool>(true); })
      .has_value();
}

std::optional<std::string> DataFileCache::findDisplayFormat(const char* code, const char* currency,
                                                            bool& decimalPoint) {
  const char* const c = text(code);
  const char* const u = text(currency);
  const std::string key = formatKeyOf(c, std::strlen(c), u, std::strlen(u));
  return readStore(currencyFormats_, [&](const FormatList& list) -> std::optional<std::string> {
    const FormatData* format = list.find(key);
    if (format == nullptr) return std::nullopt;
    decimalPoint = format->getDecimalPoint();
    return format->getDisplayFormat();
  });
}

// Texts --------------------------------------------------------------------------

std::optional<TextMap> DataFileCache::getTexts() { return readStore(texts_, copyOf<TextMap>); }

void DataFileCache::setTexts(TextMap texts) { replaceStore(texts_, std::move(texts)); }

void DataFileCache::addText(long long textNumber, const char* value) {
  updateStore(texts_, [&](TextMap& map) { map.emplace(textNumber, text(value)); });
}

std::optional<std::string> DataFileCache::findText(long long textNumber) {
  return readStore(texts_, [&](const TextMap& map) { return valueOf(map, textNumber); });
}

// Messages -----------------------------------------------------------------------

std::optional<StringMap> DataFileCache::getMessages() {
  return readStore(messages_, copyOf<StringMap>);
}

void DataFileCache::setMessages(StringMap messages) {
  replaceStore(messages_, std::move(messages));
}

void DataFileCache::addMessage(const char* messageCode, const char* value) {
  updateStore(messages_, [&](StringMap& map) { map.emplace(text(messageCode), text(value)); });
}

std::optional<std::string> DataFileCache::findMessage(const char* messageCode) {
  const std::string key = text(messageCode);
  return readStore(messages_, [&](const StringMap& map) { return valueOf(map, key); });
}

}  // namespace quilrun
