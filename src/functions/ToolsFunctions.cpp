#include "functions/ToolsFunctions.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "cache/LabelList.h"
#include "diagnostics/ConnectorSettings.h"
#include "diagnostics/LogRecord.h"
#include "diagnostics/QuillonUtils.h"
#include "functions/DisplayFormat.h"
#include "host/ResultBuffer.h"
#include "platform/Clock.h"
#include "platform/NoDestructor.h"
#include "server/CurlHelper.h"
#include "server/WebServiceClient.h"

namespace quilrun {

namespace {

// The two process-wide services. The atomics make the everyday check a plain
// load; creation and release happen under the mutex.
struct Services {
  std::mutex mutex;
  std::unique_ptr<DataCache> dataCacheOwner;
  std::atomic<DataCache*> dataCache{nullptr};
  std::unique_ptr<IWebServiceClient> clientOwner;
  std::atomic<IWebServiceClient*> client{nullptr};
  std::atomic<std::int64_t> lastReload{0};
  std::unique_ptr<PatternCache> patternCacheOwner;
  std::atomic<PatternCache*> patternCache{nullptr};
  // The connector settings last read, for services made later.
  ConnectorSettings settings;
};

Services& services() {
  static NoDestructor<Services> instance;
  return instance.get();
}

}  // namespace

// Services -----------------------------------------------------------------------

DataCache& ToolsFunctions::initDataCache() {
  QLOG("ToolsFunctions::initDataCache", 5, LogType::Debug) << "Get data cache" << std::endl;
  Services& s = services();
  DataCache* cache = s.dataCache.load(std::memory_order_acquire);
  if (cache != nullptr) return *cache;
  std::lock_guard<std::mutex> lock(s.mutex);
  cache = s.dataCache.load(std::memory_order_acquire);
  if (cache != nullptr) return *cache;
  QLOG("ToolsFunctions::initDataCache", 4, LogType::Info) << "Reset data cache" << std::endl;
  s.dataCacheOwner = std::make_unique<DataCache>();
  s.dataCacheOwner->setMaxDataFiles(s.settings.maxDataFiles);
  // Every time the scanner wakes, the client closes its idle connections.
  s.dataCacheOwner->setScanStep([] {
    Services& owner = services();
    std::lock_guard<std::mutex> held(owner.mutex);
    if (owner.clientOwner) owner.clientOwner->closeIdleConnections();
  });
  s.dataCacheOwner->startScannerThread();
  s.dataCache.store(s.dataCacheOwner.get(), std::memory_order_release);
  return *s.dataCacheOwner;
}

void ToolsFunctions::initWebService() {
  QLOG("ToolsFunctions::initWebService", 5, LogType::Debug)
      << "Get web service client" << std::endl;
  Services& s = services();
  if (s.client.load(std::memory_order_acquire) != nullptr) return;
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.client.load(std::memory_order_acquire) != nullptr) return;
  QLOG("ToolsFunctions::initWebService", 4, LogType::Info)
      << "Reset web service client" << std::endl;
  s.clientOwner = std::make_unique<WebServiceClient>(std::make_unique<CurlHelper>());
  s.clientOwner->configure(s.settings);
  s.client.store(s.clientOwner.get(), std::memory_order_release);
}

IWebServiceClient* ToolsFunctions::webService() {
  return services().client.load(std::memory_order_acquire);
}

PatternCache& ToolsFunctions::patternCache() {
  Services& s = services();
  PatternCache* cache = s.patternCache.load(std::memory_order_acquire);
  if (cache != nullptr) return *cache;
  std::lock_guard<std::mutex> lock(s.mutex);
  if (!s.patternCacheOwner) {
    s.patternCacheOwner = std::make_unique<PatternCache>();
    s.patternCache.store(s.patternCacheOwner.get(), std::memory_order_release);
  }
  return *s.patternCacheOwner;
}

std::unique_ptr<IWebServiceClient> ToolsFunctions::replaceWebService(
    std::unique_ptr<IWebServiceClient> client) {
  Services& s = services();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (client) client->configure(s.settings);
  std::swap(s.clientOwner, client);
  s.client.store(s.clientOwner.get(), std::memory_order_release);
  return client;
}

void ToolsFunctions::releaseServices() {
  Services& s = services();
  std::unique_ptr<DataCache> dataCache;
  std::unique_ptr<IWebServiceClient> client;
  std::unique_ptr<PatternCache> patterns;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.dataCache.store(nullptr, std::memory_order_release);
    s.client.store(nullptr, std::memory_order_release);
    s.patternCache.store(nullptr, std::memory_order_release);
    dataCache = std::move(s.dataCacheOwner);
    client = std::move(s.clientOwner);
    patterns = std::move(s.patternCacheOwner);
  }
  // Outside the lock: destroying the data cache waits for its scanner.
  dataCache.reset();
  client.reset();
  patterns.reset();
  s.lastReload.store(0);
  std::lock_guard<std::mutex> lock(s.mutex);
  s.settings = ConnectorSettings();
}

void ToolsFunctions::resetReloadTime() { services().lastReload.store(0); }

DataCache& ToolsFunctions::prepareServices() {
  Services& s = services();
  const std::int64_t now = Clock::current().nowSeconds();
  std::int64_t last = s.lastReload.load();
  // One thread reloads; the others go on with the level they have.
  if ((last == 0 || now > last + kLogLevelReloadSeconds) &&
      s.lastReload.compare_exchange_strong(last, now)) {
    reloadConfiguration();
  }
  DataCache& dataCache = initDataCache();
  initWebService();
  return dataCache;
}

void ToolsFunctions::reloadConfiguration() {
  reloadLogLevel();
  const ConnectorSettings settings = ConnectorSettings::read(QuillonUtils::getConfigFileName());
  Services& s = services();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.settings = settings;
  if (s.dataCacheOwner) s.dataCacheOwner->setMaxDataFiles(settings.maxDataFiles);
  if (s.clientOwner) s.clientOwner->configure(settings);
}

template <typename Lookup>
bool ToolsFunctions::lookUp(const char* function, const char* dataFile, Lookup lookup) {
  const bool exists = initDataCache().withDataFileCache(dataFile, [&](DataFileCache& cache) {
    logCacheState(function, dataFile, true);
    lookup(cache);
  });
  if (!exists) logCacheState(function, dataFile, false);
  return exists;
}

void ToolsFunctions::logCacheState(const char* function, const char* dataFile, bool exists) {
  if (exists) {
    QLOG(function, 4, LogType::Info) << "Cache exists for datafile " << dataFile << std::endl;
  } else {
    QLOG(function, 4, LogType::Info)
        << "Cache does not yet exist for datafile " << dataFile << std::endl;
  }
}

DataCache::CachePointer ToolsFunctions::storeCache(const char* function, const char* dataFile,
                                                   DataCache::CachePointer cache) {
  if (!cache) cache = initDataCache().renewDataFileCache(dataFile);
  if (!cache) {
    QLOG(function, 1, LogType::Error)
        << "No cache could be created for datafile " << dataFile << std::endl;
  }
  return cache;
}

// Image and file URLs ----------------------------------------------------------------

namespace {

// The end of every URL operation: the return line, and the URL into result.
void returnUrl(const char* function, char* result, int resultSize, const std::string& url) {
  QLOG(function, 4, LogType::Info) << "Returns URL \"" << url << "\"" << std::endl;
  ResultBuffer::write(result, resultSize, url);
}

// What result holds now ("" for no buffer).
std::string written(const char* result, int resultSize) {
  return result != nullptr && resultSize >= 1 ? std::string(result) : std::string();
}

}  // namespace

void ToolsFunctions::getCompanyLogo(char* result, int resultSize, const char* dataFile) {
  const char* const function = "ToolsFunctions::getCompanyLogo";
  prepareServices();
  QLOG(function, 4, LogType::Info) << "Params: " << dataFile << std::endl;
  ResultBuffer::clear(result, resultSize);
  std::optional<std::string> url;
  lookUp(function, dataFile, [&](DataFileCache& cache) { url = cache.getCompanyLogo(); });
  if (!url) {
    QLOG(function, 4, LogType::Info) << "URL not found in cache" << std::endl;
    DataCache::CachePointer fileCache = initDataCache().getDataFileCache(dataFile);
    url = webService()->getCompanyLogo(*fileCache);
    if (!url->empty()) {
      fileCache = storeCache(function, dataFile, fileCache);
      if (fileCache) fileCache->setCompanyLogo(url->c_str());
    } else {
      QLOG(function, 1, LogType::Error) << "Didn't find a valid URL for companylogo" << std::endl;
    }
  }
  returnUrl(function, result, resultSize, *url);
}

void ToolsFunctions::getSensitivityImage(char* result, int resultSize, const char* dataFile,
                                         int height, int width) {
  const char* const function = "ToolsFunctions::getSensitivityImage";
  prepareServices();
  QLOG(function, 4, LogType::Info)
      << "Params: " << dataFile << ", " << height << ", " << width << std::endl;
  ResultBuffer::clear(result, resultSize);
  std::optional<std::string> url;
  lookUp(function, dataFile,
         [&](DataFileCache& cache) { url = cache.findSensitivityImage(height, width); });
  if (!url) {
    QLOG(function, 4, LogType::Info) << "URL not found in cache" << std::endl;
    DataCache& dataCache = initDataCache();
    DataCache::CachePointer fileCache = dataCache.getDataFileCache(dataFile);
    url = webService()->getSensitivityImage(*fileCache, height, width);
    if (!url->empty()) {
      if (!dataCache.addSensitivityImage(dataFile, fileCache, height, width, url->c_str())) {
        storeCache(function, dataFile, nullptr);
      }
    } else {
      QLOG(function, 1, LogType::Error)
          << "Didn't find a valid URL for sensitivity image (height = " << height
          << ", width = " << width << ")" << std::endl;
    }
  }
  returnUrl(function, result, resultSize, *url);
}

void ToolsFunctions::getApplicationImage(char* result, int resultSize, const char* dataFile,
                                         const char* guid) {
  const char* const function = "ToolsFunctions::getApplicationImage";
  prepareServices();
  QLOG(function, 4, LogType::Info) << "Params: " << dataFile << ", \"" << guid << "\"" << std::endl;
  ResultBuffer::clear(result, resultSize);
  std::optional<std::string> url;
  lookUp(function, dataFile, [&](DataFileCache& cache) { url = cache.findApplicationImage(guid); });
  if (!url) {
    QLOG(function, 4, LogType::Info) << "URL not found in cache" << std::endl;
    DataCache& dataCache = initDataCache();
    DataCache::CachePointer fileCache = dataCache.getDataFileCache(dataFile);
    url = webService()->getApplicationImage(*fileCache, guid);
    if (!url->empty()) {
      if (!dataCache.addApplicationImage(dataFile, fileCache, guid, url->c_str())) {
        storeCache(function, dataFile, nullptr);
      }
    } else {
      QLOG(function, 1, LogType::Error)
          << "Didn't find a valid URL for application image (guid = \"" << guid << "\")"
          << std::endl;
    }
  }
  returnUrl(function, result, resultSize, *url);
}

void ToolsFunctions::getEnumImage(char* result, int resultSize, const char* dataFile,
                                  const char* domain, int value) {
  const char* const function = "ToolsFunctions::getEnumImage";
  prepareServices();
  QLOG(function, 4, LogType::Info)
      << "Params: " << dataFile << ", " << domain << ", " << value << std::endl;
  ResultBuffer::clear(result, resultSize);
  std::optional<std::string> url;
  lookUp(function, dataFile,
         [&](DataFileCache& cache) { url = cache.findEnumImage(domain, value); });
  if (!url) {
    QLOG(function, 4, LogType::Info) << "URL not found in cache" << std::endl;
    DataCache& dataCache = initDataCache();
    DataCache::CachePointer fileCache = dataCache.getDataFileCache(dataFile);
    url = webService()->getEnumImage(*fileCache, domain, value);
    if (!url->empty()) {
      if (!dataCache.addEnumImage(dataFile, fileCache, domain, value, url->c_str())) {
        storeCache(function, dataFile, nullptr);
      }
    } else {
      QLOG(function, 1, LogType::Error) << "Didn't find a valid URL for enum image (domain = \""
                                        << domain << "\", value = " << value << ")" << std::endl;
    }
  }
  returnUrl(function, result, resultSize, *url);
}

void ToolsFunctions::getAdditionalFile(char* result, int resultSize, const char* dataFile,
                                       const char* package, const char* module, const char* file) {
  const char* const function = "ToolsFunctions::getAdditionalFile";
  prepareServices();
  QLOG(function, 4, LogType::Info)
      << "Params: " << dataFile << ", " << package << ", " << module << ", " << file << std::endl;
  ResultBuffer::clear(result, resultSize);
  std::optional<std::string> url;
  lookUp(function, dataFile,
         [&](DataFileCache& cache) { url = cache.findAdditionalFile(package, module, file); });
  if (!url) {
    QLOG(function, 4, LogType::Info) << "URL not found in cache" << std::endl;
    DataCache& dataCache = initDataCache();
    DataCache::CachePointer fileCache = dataCache.getDataFileCache(dataFile);
    url = webService()->getAdditionalFile(*fileCache, package, module, file);
    if (!url->empty()) {
      if (!dataCache.addAdditionalFile(dataFile, fileCache, package, module, file, url->c_str())) {
        storeCache(function, dataFile, nullptr);
      }
    } else {
      QLOG(function, 1, LogType::Error)
          << "Didn't find a valid URL for additional file (package = \"" << package
          << "\", module = \"" << module << "\", file = \"" << file << "\")" << std::endl;
    }
  }
  returnUrl(function, result, resultSize, *url);
}

// Texts, labels and messages -----------------------------------------------------------

void ToolsFunctions::getText(char* result, int resultSize, const char* dataFile,
                             long long textNumber) {
  const char* const function = "ToolsFunctions::getText";
  prepareServices();
  QLOG(function, 4, LogType::Info) << "Params: " << dataFile << ", " << textNumber << std::endl;
  ResultBuffer::clear(result, resultSize);
  if (textNumber == 0) {
    QLOG(function, 4, LogType::Info) << "Empty text returned (text number = 0)" << std::endl;
    return;
  }
  DataCache::CachePointer fileCache = initDataCache().getDataFileCache(dataFile);
  const std::string answer = webService()->getText(*fileCache, textNumber);
  ResultBuffer::write(result, resultSize, answer);
  if (QuillonUtils::getConfiguredLogLevel() >= 3) {
    std::string text = answer;
    // Long texts are logged by their start only.
    if (text.size() > 100) text.resize(99);
    QLOG(function, 4, LogType::Info) << "Text: " << text << std::endl;
  }
}

void ToolsFunctions::getCachedText(char* result, int resultSize, const char* dataFile,
                                   long long textNumber) {
  const char* const function = "ToolsFunctions::getCachedText";
  prepareServices();
  QLOG(function, 4, LogType::Info) << "Params: " << dataFile << ", " << textNumber << std::endl;
  ResultBuffer::clear(result, resultSize);
  std::optional<std::string> text;
  lookUp(function, dataFile, [&](DataFileCache& cache) {
    if (textNumber != 0) text = cache.findText(textNumber);
  });
  if (textNumber == 0) {
    QLOG(function, 4, LogType::Info) << "Empty text returned (text number = 0)" << std::endl;
    return;
  }
  if (text) {
    QLOG(function, 4, LogType::Info) << "Text found in cache" << std::endl;
    ResultBuffer::write(result, resultSize, *text);
  } else {
    QLOG(function, 4, LogType::Info) << "Text not found in cache" << std::endl;
    DataCache::CachePointer fileCache = initDataCache().getDataFileCache(dataFile);
    text = webService()->getText(*fileCache, textNumber);
    if (text->empty()) {
      QLOG(function, 1, LogType::Error)
          << "No text found (text number = " << textNumber << ")" << std::endl;
      return;
    }
    fileCache = storeCache(function, dataFile, fileCache);
    if (fileCache) fileCache->addText(textNumber, text->c_str());
    ResultBuffer::write(result, resultSize, *text);
  }
  QLOG(function, 4, LogType::Info) << "Returns Text \"" << *text << "\"" << std::endl;
}

void ToolsFunctions::getLabel(char* result, int resultSize, const char* dataFile,
                              const char* labelCode, int length, int height) {
  const char* const function = "ToolsFunctions::getLabel";
  prepareServices();
  QLOG(function, 4, LogType::Info) << "Params: " << dataFile << ", " << labelCode << ", " << length
                                   << ", " << height << std::endl;
  ResultBuffer::clear(result, resultSize);
  std::optional<std::string> choice;
  bool labelsCached = false;
  lookUp(function, dataFile, [&](DataFileCache& cache) {
    labelsCached = cache.hasLabels();
    if (labelsCached) {
      QLOG(function, 5, LogType::Debug) << "Looking for label in cache" << std::endl;
      choice = cache.findLabel(labelCode, length, height);
    }
  });
  if (!labelsCached) {
    QLOG(function, 5, LogType::Debug) << "No labels are cached yet" << std::endl;
  }
  if (!choice) {
    QLOG(function, 5, LogType::Debug) << "Label not found in cache" << std::endl;
    DataCache& dataCache = initDataCache();
    DataCache::CachePointer fileCache = dataCache.getDataFileCache(dataFile);
    std::optional<std::vector<LabelData>> variants = webService()->getLabel(*fileCache, labelCode);
    if (variants && !variants->empty()) {
      QLOG(function, 5, LogType::Debug) << "Adding label variants to cache" << std::endl;
      DataCache::CachePointer holder = dataCache.addLabelVariants(dataFile, fileCache, *variants);
      if (holder) {
        choice = holder->findLabel(labelCode, length, height);
      } else {
        QLOG(function, 1, LogType::Error)
            << "No cache could be created for datafile " << dataFile << std::endl;
        LabelList alone;
        for (LabelData& variant : *variants) alone.add(std::move(variant));
        const std::string* best = alone.find(labelCode, length, height);
        if (best != nullptr) choice = *best;
      }
    }
    if (!choice) {
      QLOG(function, 1, LogType::Error)
          << "Didn't find a valid label (code = \"" << labelCode << "\", length = " << length
          << ", height = " << height << ")" << std::endl;
      ResultBuffer::write(result, resultSize, labelCode);
      return;
    }
  }
  QLOG(function, 4, LogType::Info) << "Returns Label \"" << *choice << "\"" << std::endl;
  ResultBuffer::write(result, resultSize, *choice);
}

void ToolsFunctions::getMessage(char* result, int resultSize, const char* dataFile,
                                const char* messageCode) {
  const char* const function = "ToolsFunctions::getMessage";
  prepareServices();
  QLOG(function, 4, LogType::Info)
      << "Params: " << dataFile << ", \"" << messageCode << "\"" << std::endl;
  ResultBuffer::clear(result, resultSize);
  std::optional<std::string> message;
  lookUp(function, dataFile,
         [&](DataFileCache& cache) { message = cache.findMessage(messageCode); });
  if (!message) {
    QLOG(function, 4, LogType::Info) << "Message not found in cache" << std::endl;
    DataCache::CachePointer fileCache = initDataCache().getDataFileCache(dataFile);
    message = webService()->getMessage(*fileCache, messageCode);
    if (!message->empty()) {
      fileCache = storeCache(function, dataFile, fileCache);
      if (fileCache) fileCache->addMessage(messageCode, message->c_str());
    } else {
      QLOG(function, 1, LogType::Error)
          << "Didn't find a valid Message (code = \"" << messageCode << "\")" << std::endl;
      message = messageCode;
    }
  }
  QLOG(function, 4, LogType::Info) << "Returns Message \"" << *message << "\"" << std::endl;
  ResultBuffer::write(result, resultSize, *message);
}

// Properties, company numbers and amounts ------------------------------------------------

std::string ToolsFunctions::propertyValue(const char* dataFile, const char* name) {
  const char* const function = "ToolsFunctions::getProperty";
  prepareServices();
  QLOG(function, 4, LogType::Info) << "Params: " << dataFile << ", " << name << std::endl;
  std::optional<std::string> value;
  lookUp(function, dataFile, [&](DataFileCache& cache) { value = cache.findProperty(name); });
  if (!value) {
    QLOG(function, 4, LogType::Info) << "Property not found in cache" << std::endl;
    DataCache::CachePointer fileCache = initDataCache().getDataFileCache(dataFile);
    std::optional<StringMap> properties = webService()->getProperties(*fileCache);
    if (properties) {
      fileCache = storeCache(function, dataFile, fileCache);
      if (fileCache) {
        fileCache->setProperties(std::move(*properties));
        value = fileCache->findProperty(name);
      }
    }
  }
  if (!value) {
    QLOG(function, 1, LogType::Error)
        << "Didn't find a valid Property (name = \"" << name << "\")" << std::endl;
    return std::string();
  }
  QLOG(function, 4, LogType::Info) << "Returns Property \"" << *value << "\"" << std::endl;
  return *value;
}

void ToolsFunctions::getProperty(char* result, int resultSize, const char* dataFile,
                                 const char* name) {
  ResultBuffer::clear(result, resultSize);
  ResultBuffer::write(result, resultSize, propertyValue(dataFile, name));
}

void ToolsFunctions::formatCompany(char* result, int resultSize, const char* dataFile,
                                   int company) {
  const char* const function = "ToolsFunctions::formatCompany";
  prepareServices();
  QLOG(function, 4, LogType::Info) << "Params: " << dataFile << ", " << company << std::endl;
  lookUp(function, dataFile, [](DataFileCache&) {});
  ResultBuffer::clear(result, resultSize);
  const std::string current = propertyValue(dataFile, "CompanyNumber");
  char text[32] = "";
  if (!current.empty()) {
    QLOG(function, 4, LogType::Info) << "Current company is set." << std::endl;
    if (current.size() == 3) {
      std::snprintf(text, sizeof text, "%03d", company);
    } else if (current.size() == 4) {
      std::snprintf(text, sizeof text, "%04d", company);
    } else {
      QLOG(function, 1, LogType::Error)
          << "Current company (" << current << ") is not formatted with either 3 or 4 digits"
          << std::endl;
    }
  }
  if (text[0] == '\0') {
    QLOG(function, 1, LogType::Error)
        << "Unable to determine the correct company format" << std::endl;
    std::snprintf(text, sizeof text, "%d", company);
  }
  ResultBuffer::write(result, resultSize, text);
  QLOG(function, 4, LogType::Info)
      << "Returns Company \"" << written(result, resultSize) << "\"" << std::endl;
}

void ToolsFunctions::formatAmount(char* result, int resultSize, const char* dataFile,
                                  const char* formatCode, const char* currency, double amount) {
  const char* const function = "ToolsFunctions::formatAmount";
  prepareServices();
  QLOG(function, 4, LogType::Info) << "Params: " << dataFile << ", " << formatCode << ", "
                                   << currency << ", " << amount << std::endl;
  ResultBuffer::clear(result, resultSize);
  bool decimalPoint = true;
  std::optional<std::string> format;
  lookUp(function, dataFile, [&](DataFileCache& cache) {
    format = cache.findDisplayFormat(formatCode, currency, decimalPoint);
  });
  if (!format) {
    QLOG(function, 4, LogType::Info) << "Display format not found in cache" << std::endl;
    DataCache::CachePointer fileCache = initDataCache().getDataFileCache(dataFile);
    // Once the formats are cached, a missing combination needs no request.
    if (!fileCache->hasCurrencyFormats()) {
      webService()->getCurrencyFormats(*fileCache);
      format = fileCache->findDisplayFormat(formatCode, currency, decimalPoint);
    }
  }
  if (!format) {
    QLOG(function, 1, LogType::Error)
        << "No display format available (format code = \"" << formatCode << "\", currency = \""
        << currency << "\")" << std::endl;
    ResultBuffer::write(result, resultSize, DisplayFormat::fallback(amount));
    return;
  }
  QLOG(function, 4, LogType::Info) << "Using display format \"" << *format << "\"" << std::endl;
  const std::string company = propertyValue(dataFile, "CompanyNumber");
  const DisplayFormat::Outcome outcome =
      DisplayFormat::formatAmount(amount, *format, company, decimalPoint, result, resultSize);
  if (outcome.success) {
    QLOG(function, 4, LogType::Info)
        << "Formatted amount = \"" << written(result, resultSize) << "\"" << std::endl;
  } else {
    QLOG(function, 1, LogType::Error)
        << "Amount could not be formatted (amount = " << amount << ", format string = \""
        << outcome.format << "\" for format code = \"" << formatCode << "\" and currency = \""
        << currency << "\")" << std::endl;
  }
}

}  // namespace quilrun
