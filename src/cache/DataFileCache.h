#ifndef QUILRUN_CACHE_DATAFILECACHE_H
#define QUILRUN_CACHE_DATAFILECACHE_H

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cache/CacheEntry.h"
#include "cache/FormatData.h"
#include "cache/ImageData.h"
#include "cache/KeyedList.h"
#include "cache/LabelData.h"
#include "cache/LabelList.h"
#include "cache/ReadMostlyMutex.h"
#include "cache/RecordMaps.h"
#include "cache/Session.h"
#include "platform/Mutex.h"

namespace quilrun {

// Everything the library keeps for one report run, identified by its data
// file name: the session read from the data file (session identifier and
// web-service URL) and ten stores of values fetched from the server. Every
// store expires 300 s after its last read, except the properties, which
// never expire; an expired store counts as absent until the next set or add
// replaces it. The connection that carries the data file's requests is not
// the cache's: connections come from the web-service client's pool.
//
// Every store operation (get, set, add, find) first touches the cache
// (records its use and clears the marked-old flag). Lookups copy the answer
// out, so nothing handed out points into the cache.
// Thread-safety: all operations may be called from any thread; each store
// has its own reader-writer lock, held for the duration of one operation on
// it (shared by lookups, alone by changes). The session never changes.
class DataFileCache {
 public:
  static constexpr double kLifetime = 300.0;
  static constexpr const char* kDefaultSessionId = "0";
  static constexpr const char* kDefaultWebserviceURL = "http://localhost:8312/svcgw";

  // Why and until when the web service is not asked for this data file.
  struct RequestHold {
    std::int64_t until = 0;  // seconds since the epoch; 0: not held
    std::string reason;
  };

  // A cache for dataFileName; reads the data file's session unless the name
  // is null (then the cache has no name and no session strings).
  explicit DataFileCache(const char* dataFileName);
  // A cache for a session already read.
  explicit DataFileCache(Session session);
  ~DataFileCache();

  DataFileCache(const DataFileCache&) = delete;
  DataFileCache& operator=(const DataFileCache&) = delete;

  // Reads the session of dataFileName from its data file in the data share;
  // the defaults (session "0", the local web-service URL) stand in for what
  // the file does not give, and the session is incomplete when the file
  // could not be read or parsed. Logs each step.
  static Session readExtraData(const std::string& dataFileName);

  // Session (fixed at construction; these do not touch the cache).
  const Session& getSession() const { return session_; }
  bool hasDataFileName() const { return session_.hasDataFileName(); }
  const std::string& getDataFileName() const { return session_.getDataFileName(); }
  const std::string& getJsessionId() const { return session_.getJsessionId(); }
  const std::string& getWebserviceURL() const { return session_.getWebserviceURL(); }

  // The data file's path in the data share: <share>/Talmxmlfiles/<name>-i.
  static std::string dataFilePath(const std::string& dataShare, char separator,
                                  const std::string& dataFileName);

  // After a transfer timed out, the web service is not asked for this data
  // file until then; a later hold replaces an earlier one.
  void holdRequests(std::int64_t until, std::string reason) EXCLUDES(holdMutex_);
  RequestHold getRequestHold() const EXCLUDES(holdMutex_);

  // Use bookkeeping for the registry.
  void touch();
  std::int64_t getLastUsed() const { return lastUsed_.load(); }
  void markAsOld() { markedOld_.store(true); }
  bool isMarkedAsOld() const { return markedOld_.load(); }

  // Company logo.
  std::optional<std::string> getCompanyLogo();
  void setCompanyLogo(const char* url);

  // Label variants of all codes.
  std::optional<std::vector<LabelData>> getLabels();
  void setLabels(std::vector<LabelData> variants);
  void addLabels(std::vector<LabelData> variants);
  // Adds to a valid label store, or makes the variants the new store.
  void addLabelVariants(std::vector<LabelData> variants);
  // True when the label store is present and valid (restarting its idle time).
  bool hasLabels();
  // The text of the best-fitting variant (see LabelList::find).
  std::optional<std::string> findLabel(const char* code, int length, int height);

  // Sensitivity images, by height and width.
  std::optional<std::vector<ImageData>> getSensitivityImages();
  void setSensitivityImages(std::vector<ImageData> images);
  void addSensitivityImage(ImageData image);
  std::optional<std::string> findSensitivityImage(int height, int width);

  // Application images, by GUID.
  std::optional<std::vector<ImageData>> getApplicationImages();
  void setApplicationImages(std::vector<ImageData> images);
  void addApplicationImage(ImageData image);
  std::optional<std::string> findApplicationImage(const char* guid);

  // Enum images, by domain and value.
  std::optional<std::vector<ImageData>> getEnumImages();
  void setEnumImages(std::vector<ImageData> images);
  void addEnumImage(ImageData image);
  std::optional<std::string> findEnumImage(const char* domain, int value);

  // Additional files, by package, module and file name.
  std::optional<std::vector<ImageData>> getAdditionalFiles();
  void setAdditionalFiles(std::vector<ImageData> files);
  void addAdditionalFile(ImageData file);
  std::optional<std::string> findAdditionalFile(const char* package, const char* module,
                                                const char* name);

  // Properties (never expire).
  std::optional<StringMap> getProperties();
  void setProperties(StringMap properties);
  std::optional<std::string> findProperty(const char* name);

  // Currency display formats, by code and currency.
  std::optional<std::vector<FormatData>> getCurrencyFormats();
  void setCurrencyFormats(std::vector<FormatData> formats);
  void addCurrencyFormat(FormatData format);
  // True when the format store is present and valid (restarting its idle time).
  bool hasCurrencyFormats();
  // The display format; on a match also sets decimalPoint, otherwise leaves it.
  std::optional<std::string> findDisplayFormat(const char* code, const char* currency,
                                               bool& decimalPoint);

  // Report texts, by text number.
  std::optional<TextMap> getTexts();
  void setTexts(TextMap texts);
  void addText(long long textNumber, const char* text);
  std::optional<std::string> findText(long long textNumber);

  // Messages, by message code.
  std::optional<StringMap> getMessages();
  void setMessages(StringMap messages);
  void addMessage(const char* messageCode, const char* text);
  std::optional<std::string> findMessage(const char* messageCode);

 private:
  using ImageList = KeyedList<ImageData>;
  using FormatList = KeyedList<FormatData>;

  // One store with its own lock, so that lookups in different stores do not
  // wait for each other; lookups share the lock, changes hold it alone.
  template <typename T>
  struct alignas(64) Store {
    ReadMostlyMutex mutex;
    std::unique_ptr<CacheEntry<T>> entry GUARDED_BY(mutex);
  };

  // Records use (as touch does) and returns the time.
  std::int64_t recordUse();

  // Under the store lock, after touching: read(value) of a present and valid
  // store (restarting its idle time), or nothing.
  template <typename T, typename Read>
  auto readStore(Store<T>& store, Read read) -> decltype(read(std::declval<const T&>()));
  // Under the store lock, after touching: write(value) on the valid store,
  // or on a new empty one that replaces an absent or expired store.
  template <typename T, typename Write>
  void updateStore(Store<T>& store, Write write);
  // Under the store lock, after touching: value becomes the store.
  template <typename T>
  void replaceStore(Store<T>& store, T value, double lifetime = kLifetime);

  static ImageList imageList(std::vector<ImageData> images, std::string (*key)(const ImageData&));
  static std::string sensitivityKey(const ImageData& image);
  static std::string applicationKey(const ImageData& image);
  static std::string enumKey(const ImageData& image);
  static std::string additionalFileKey(const ImageData& image);
  static std::string formatKey(const FormatData& format);

  const Session session_;

  std::atomic<std::int64_t> lastUsed_{0};
  std::atomic<bool> markedOld_{false};

  mutable Mutex holdMutex_;
  RequestHold hold_ GUARDED_BY(holdMutex_);

  Store<std::string> companyLogo_;
  Store<LabelList> labels_;
  Store<ImageList> sensitivityImages_;
  Store<ImageList> applicationImages_;
  Store<ImageList> enumImages_;
  Store<ImageList> additionalFiles_;
  Store<StringMap> properties_;
  Store<FormatList> currencyFormats_;
  Store<TextMap> texts_;
  Store<StringMap> messages_;
};

}  // namespace quilrun

#endif
