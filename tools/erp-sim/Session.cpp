#include "Session.h"

#include <algorithm>

namespace erpsim {

namespace {

// An entry's optional key matches any request value when it is absent.
bool matches(const std::optional<std::string>& entry, const std::string& requested) {
  return !entry || *entry == requested;
}

// text with every byte outside the URL-safe set written as %XX.
std::string percentEncoded(const std::string& text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
        (byte >= '0' && byte <= '9') || byte == '-' || byte == '_' || byte == '.' ||
        byte == '~') {
      out += c;
    } else {
      out += '%';
      out += hex[byte >> 4];
      out += hex[byte & 0x0F];
    }
  }
  return out;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

}  // namespace

bool Session::servesDataFile(const std::string& name) const {
  return std::find(dataFiles.begin(), dataFiles.end(), name) != dataFiles.end();
}

const std::string* Session::sensitivityImage(int height, int width) const {
  for (const SensitivityImage& image : sensitivityImages) {
    if (image.height == height && image.width == width) return &image.url;
  }
  return nullptr;
}

const std::string* Session::applicationImage(const std::string& guid) const {
  for (const ApplicationImage& image : applicationImages) {
    if (image.guid == guid) return &image.url;
  }
  return nullptr;
}

const std::string* Session::enumImage(const std::string& domain, int value) const {
  for (const EnumImage& image : enumImages) {
    if (image.domain == domain && image.value == value) return &image.url;
  }
  return nullptr;
}

const std::string* Session::additionalFile(const std::string& package, const std::string& module,
                                           const std::string& name) const {
  for (const AdditionalFile& file : additionalFiles) {
    if (file.package == package && file.module == module && file.name == name) return &file.url;
  }
  return nullptr;
}

std::optional<std::string> Session::barcode(const std::string& value,
                                            const std::string& parameters) const {
  for (const Barcode& entry : barcodes) {
    if (matches(entry.value, value) && matches(entry.parameters, parameters)) {
      std::string url = entry.url;
      replaceAll(url, "{value}", percentEncoded(value));
      replaceAll(url, "{parameters}", percentEncoded(parameters));
      return url;
    }
  }
  return std::nullopt;
}

std::optional<std::vector<LabelVariant>> Session::labelVariants(
    const std::string& code, const std::string& language) const {
  std::optional<std::vector<LabelVariant>> found;
  for (const Label& label : labels) {
    if (label.code != code || !matches(label.language, language)) continue;
    if (!found) found.emplace();
    found->insert(found->end(), label.variants.begin(), label.variants.end());
  }
  return found;
}

const ReportText* Session::text(long long number, const std::string& language,
                                const std::string& company) const {
  for (const ReportText& text : texts) {
    if (text.number == number && matches(text.language, language) &&
        matches(text.company, company)) {
      return &text;
    }
  }
  return nullptr;
}

const Message* Session::message(const std::string& code, const std::string& language) const {
  for (const Message& message : messages) {
    if (message.code == code && matches(message.language, language)) return &message;
  }
  return nullptr;
}

}  // namespace erpsim
