#include "Fixtures.h"

#include <pugixml.hpp>

#include <algorithm>
#include <fstream>
#include <initializer_list>
#include <iterator>

#include "Numbers.h"
#include "SimError.h"

namespace erpsim {

namespace {

// Reads the elements of one fixture file, reporting errors with file and line.
class FixtureReader {
 public:
  FixtureReader(std::string path, std::string content)
      : path_(std::move(path)), content_(std::move(content)) {}

  std::vector<Session> read() {
    pugi::xml_document document;
    // Whitespace-only element text is kept: a label or display format may
    // consist of blanks.
    const pugi::xml_parse_result parsed = document.load_buffer(
        content_.data(), content_.size(), pugi::parse_default | pugi::parse_ws_pcdata_single);
    if (!parsed) fail(static_cast<std::ptrdiff_t>(parsed.offset), parsed.description());
    const pugi::xml_node root = document.document_element();
    if (std::string(root.name()) != "erpSimFixtures") {
      fail(root, "the root element must be <erpSimFixtures>, not <" + std::string(root.name()) +
                     ">");
    }
    expectAttributes(root, {});
    std::vector<Session> sessions;
    for (const pugi::xml_node node : elements(root)) {
      if (std::string(node.name()) != "session") unknownElement(node);
      sessions.push_back(readSession(node));
      for (std::size_t i = 0; i + 1 < sessions.size(); ++i) {
        if (sessions[i].id == sessions.back().id) {
          fail(node, "session '" + sessions.back().id + "' is defined twice");
        }
      }
    }
    return sessions;
  }

 private:
  Session readSession(const pugi::xml_node node) {
    expectAttributes(node, {"id"});
    Session session;
    session.id = required(node, "id");
    for (const pugi::xml_node child : elements(node)) {
      const std::string name = child.name();
      if (name == "dataFile") {
        expectAttributes(child, {"name"});
        session.dataFiles.push_back(required(child, "name"));
      } else if (name == "property") {
        expectAttributes(child, {"name"});
        session.properties.emplace_back(required(child, "name"), text(child));
      } else if (name == "companyLogo") {
        expectAttributes(child, {"url"});
        if (session.companyLogo) fail(child, "the session has a company logo already");
        session.companyLogo = required(child, "url");
      } else if (name == "sensitivityImage") {
        expectAttributes(child, {"height", "width", "url"});
        session.sensitivityImages.push_back(
            {number(child, "height"), number(child, "width"), required(child, "url")});
      } else if (name == "applicationImage") {
        expectAttributes(child, {"guid", "url"});
        session.applicationImages.push_back({required(child, "guid"), required(child, "url")});
      } else if (name == "enumImage") {
        expectAttributes(child, {"domain", "value", "url"});
        session.enumImages.push_back(
            {required(child, "domain"), number(child, "value"), required(child, "url")});
      } else if (name == "additionalFile") {
        expectAttributes(child, {"package", "module", "name", "url"});
        session.additionalFiles.push_back({required(child, "package"), required(child, "module"),
                                           required(child, "name"), required(child, "url")});
      } else if (name == "barcode") {
        expectAttributes(child, {"value", "parameters", "url"});
        session.barcodes.push_back({optionalAttribute(child, "value"),
                                    optionalAttribute(child, "parameters"),
                                    required(child, "url")});
      } else if (name == "label") {
        session.labels.push_back(readLabel(child));
      } else if (name == "text") {
        expectAttributes(child, {"number", "language", "company", "errorCode"});
        ReportText entry;
        entry.number = wideNumber(child, "number");
        entry.language = optionalAttribute(child, "language");
        entry.company = optionalAttribute(child, "company");
        entry.errorCode = optionalAttribute(child, "errorCode");
        entry.text = text(child);
        session.texts.push_back(entry);
      } else if (name == "message") {
        expectAttributes(child, {"code", "language"});
        session.messages.push_back(
            {required(child, "code"), optionalAttribute(child, "language"), text(child)});
      } else if (name == "currencyFormat") {
        expectAttributes(child, {"code", "currency"});
        session.currencyFormats.push_back(
            {required(child, "code"), required(child, "currency"), text(child)});
      } else {
        unknownElement(child);
      }
    }
    return session;
  }

  Label readLabel(const pugi::xml_node node) {
    expectAttributes(node, {"code", "language"});
    Label label;
    label.code = required(node, "code");
    label.language = optionalAttribute(node, "language");
    for (const pugi::xml_node child : elements(node)) {
      if (std::string(child.name()) != "variant") unknownElement(child);
      expectAttributes(child, {"length", "height"});
      LabelVariant variant;
      if (child.attribute("length")) variant.length = number(child, "length");
      if (child.attribute("height")) variant.height = number(child, "height");
      variant.text = text(child);
      label.variants.push_back(variant);
    }
    return label;
  }

  // The element children of node; text beside them is an error, comments
  // and processing instructions are skipped by the parser already.
  std::vector<pugi::xml_node> elements(const pugi::xml_node node) {
    std::vector<pugi::xml_node> found;
    for (const pugi::xml_node child : node.children()) {
      if (child.type() == pugi::node_element) {
        found.push_back(child);
      } else if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
        if (std::string(child.value()).find_first_not_of(" \t\r\n") != std::string::npos) {
          fail(child, "unexpected text in <" + std::string(node.name()) + ">");
        }
      }
    }
    return found;
  }

  // The element's text; it holds no child elements.
  std::string text(const pugi::xml_node node) {
    for (const pugi::xml_node child : node.children()) {
      if (child.type() == pugi::node_element) {
        fail(child, "<" + std::string(node.name()) + "> holds text, not elements");
      }
    }
    return node.child_value();
  }

  void expectAttributes(const pugi::xml_node node, std::initializer_list<const char*> allowed) {
    for (const pugi::xml_attribute attribute : node.attributes()) {
      const std::string name = attribute.name();
      if (std::none_of(allowed.begin(), allowed.end(),
                       [&](const char* known) { return name == known; })) {
        fail(node, "unknown attribute '" + name + "' on <" + std::string(node.name()) + ">");
      }
    }
  }

  std::string required(const pugi::xml_node node, const char* attribute) {
    const pugi::xml_attribute found = node.attribute(attribute);
    if (!found) {
      fail(node, "<" + std::string(node.name()) + "> needs the attribute '" + attribute + "'");
    }
    return found.value();
  }

  std::optional<std::string> optionalAttribute(const pugi::xml_node node, const char* attribute) {
    const pugi::xml_attribute found = node.attribute(attribute);
    if (!found) return std::nullopt;
    return std::string(found.value());
  }

  long long wideNumber(const pugi::xml_node node, const char* attribute) {
    const std::string value = required(node, attribute);
    const std::optional<long long> parsed = Numbers::wide(value);
    if (!parsed) {
      fail(node, "attribute '" + std::string(attribute) + "' must be a whole number, not '" +
                     value + "'");
    }
    return *parsed;
  }

  int number(const pugi::xml_node node, const char* attribute) {
    const std::string value = required(node, attribute);
    const std::optional<int> parsed = Numbers::narrow(value);
    if (!parsed) {
      fail(node, "attribute '" + std::string(attribute) + "' must be a whole number of at most" +
                     " 32 bits, not '" + value + "'");
    }
    return *parsed;
  }

  [[noreturn]] void unknownElement(const pugi::xml_node node) {
    fail(node, "unknown element <" + std::string(node.name()) + "> in <" +
                   std::string(node.parent().name()) + ">");
  }

  [[noreturn]] void fail(const pugi::xml_node node, const std::string& message) {
    fail(node.offset_debug(), message);
  }

  [[noreturn]] void fail(std::ptrdiff_t offset, const std::string& message) {
    std::string where = path_;
    if (offset >= 0 && static_cast<std::size_t>(offset) <= content_.size()) {
      const auto line = 1 + std::count(content_.begin(), content_.begin() + offset, '\n');
      where += ":" + std::to_string(line);
    }
    throw SimError(ExitCode::Usage, "fixture file " + where + ": " + message);
  }

  std::string path_;
  std::string content_;
};

}  // namespace

Fixtures Fixtures::load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw SimError(ExitCode::Usage, "cannot read the fixture file " + path);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Fixtures fixtures;
  fixtures.sessions_ = FixtureReader(path, std::move(content)).read();
  return fixtures;
}

const Session* Fixtures::session(const std::string& id) const {
  for (const Session& session : sessions_) {
    if (session.id == id) return &session;
  }
  return nullptr;
}

}  // namespace erpsim
