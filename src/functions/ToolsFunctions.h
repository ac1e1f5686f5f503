#ifndef QUILRUN_FUNCTIONS_TOOLSFUNCTIONS_H
#define QUILRUN_FUNCTIONS_TOOLSFUNCTIONS_H

#include <memory>
#include <string>

#include "cache/DataCache.h"
#include "functions/PatternCache.h"
#include "server/IWebServiceClient.h"

namespace quilrun {

// The report functions behind the exports. Each runs one frame: prepare
// (reload the log level at most every 30 s, make sure the data cache and the
// web-service client exist, find the data file's cache), look the value up in
// the cache, ask the server on a miss, store what it gave, and leave the
// answer (or the operation's fallback) in the caller's result buffer. Inputs
// are never null: the exports turn null strings into "".
// Thread-safety: all operations may be called from any thread.
class ToolsFunctions {
 public:
  static constexpr std::int64_t kLogLevelReloadSeconds = 30;

  // The process's data cache, created (with its scanner started) at the first call.
  static DataCache& initDataCache();
  // Creates the process's web-service client if it does not exist yet.
  static void initWebService();
  // The client, or null before initWebService.
  static IWebServiceClient* webService();
  // The filters' compiled patterns, created at the first call.
  static PatternCache& patternCache();
  // The first steps of every report function: reloads the configuration
  // when due, creates the services if needed and returns the data cache.
  static DataCache& prepareServices();
  // Reads the log level and the connector settings from the configuration
  // file and applies them to the services there are.
  static void reloadConfiguration();

  // Destroys the services (the data cache stops and joins its scanner); the
  // next call creates them again. Called when the library is unloaded.
  static void releaseServices();
  // Replaces the client, for tests; returns the previous one.
  static std::unique_ptr<IWebServiceClient> replaceWebService(
      std::unique_ptr<IWebServiceClient> client);
  // Forgets the last log-level reload, for tests.
  static void resetReloadTime();

  // Image and file URLs; empty when the server has none.
  static void getCompanyLogo(char* result, int resultSize, const char* dataFile);
  static void getSensitivityImage(char* result, int resultSize, const char* dataFile, int height,
                                  int width);
  static void getApplicationImage(char* result, int resultSize, const char* dataFile,
                                  const char* guid);
  static void getEnumImage(char* result, int resultSize, const char* dataFile,
                           const char* domain, int value);
  static void getAdditionalFile(char* result, int resultSize, const char* dataFile,
                                const char* package, const char* module, const char* file);

  // Report texts: getText always asks the server, getCachedText caches; 0 is no text.
  static void getText(char* result, int resultSize, const char* dataFile, long long textNumber);
  static void getCachedText(char* result, int resultSize, const char* dataFile,
                            long long textNumber);
  // The variant of labelCode that fits length and height, or labelCode itself.
  static void getLabel(char* result, int resultSize, const char* dataFile, const char* labelCode,
                       int length, int height);
  // The message for messageCode, or messageCode itself.
  static void getMessage(char* result, int resultSize, const char* dataFile,
                         const char* messageCode);

  // A property of the report run, or empty.
  static void getProperty(char* result, int resultSize, const char* dataFile, const char* name);
  // The company number with as many digits (3 or 4) as the current company
  // number has, else printed plain.
  static void formatCompany(char* result, int resultSize, const char* dataFile, int company);
  // The amount through the display format of formatCode and currency; without
  // one "** %.2f **" of the amount; "!"s when it does not fit the format.
  static void formatAmount(char* result, int resultSize, const char* dataFile,
                           const char* formatCode, const char* currency, double amount);

 private:
  // The value of a property, from the cache or (fetching the whole map) the server.
  static std::string propertyValue(const char* dataFile, const char* name);
  // Logs whether the data file's cache exists and, when it does, runs
  // lookup(cache) on it. Returns whether it exists.
  template <typename Lookup>
  static bool lookUp(const char* function, const char* dataFile, Lookup lookup);
  static void logCacheState(const char* function, const char* dataFile, bool exists);
  // A cache to store into: cache, or a renewed one.
  static DataCache::CachePointer storeCache(const char* function, const char* dataFile,
                                            DataCache::CachePointer cache);
};

}  // namespace quilrun

#endif
