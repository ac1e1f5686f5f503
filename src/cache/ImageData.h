#ifndef QUILRUN_CACHE_IMAGEDATA_H
#define QUILRUN_CACHE_IMAGEDATA_H

#include <string>

namespace quilrun {

// One image or file URL with the key it was asked for. Each image store fills
// only the key fields it is looked up by; the others stay empty or 0:
// sensitivity images width and height, application images guid, enum images
// domain and value, additional files package, module and name.
class ImageData {
 public:
  int getWidth() const { return width_; }
  void setWidth(int width) { width_ = width; }
  int getHeight() const { return height_; }
  void setHeight(int height) { height_ = height; }
  const std::string& getGuid() const { return guid_; }
  void setGuid(const char* guid) { guid_ = text(guid); }
  const std::string& getDomain() const { return domain_; }
  void setDomain(const char* domain) { domain_ = text(domain); }
  int getValue() const { return value_; }
  void setValue(int value) { value_ = value; }
  const std::string& getPackage() const { return package_; }
  void setPackage(const char* package) { package_ = text(package); }
  const std::string& getModule() const { return module_; }
  void setModule(const char* module) { module_ = text(module); }
  const std::string& getName() const { return name_; }
  void setName(const char* name) { name_ = text(name); }
  const std::string& getUrl() const { return url_; }
  void setUrl(const char* url) { url_ = text(url); }

 private:
  static const char* text(const char* value) { return value != nullptr ? value : ""; }

  int width_ = 0;
  int height_ = 0;
  std::string guid_;
  std::string domain_;
  int value_ = 0;
  std::string package_;
  std::string module_;
  std::string name_;
  std::string url_;
};

}  // namespace quilrun

#endif
