#include "Fault.h"

#include <initializer_list>
#include <stdexcept>

#include "Numbers.h"

namespace erpsim {

namespace {

const char* bodyName(Fault::Body body) {
  switch (body) {
    case Fault::Body::Malformed: return "malformed";
    case Fault::Body::Empty: return "empty";
    case Fault::Body::Close: return "close";
    case Fault::Body::Truncate: return "truncate";
    case Fault::Body::Large: return "size";
    case Fault::Body::Nul: return "nul";
    case Fault::Body::Stall: return "stall";
    case Fault::Body::Trickle: return "trickle";
    case Fault::Body::Endless: return "endless";
    case Fault::Body::Overlength: return "overlength";
    case Fault::Body::Reply: break;
  }
  return "";
}

// The body item key names, if it is one written without a value.
std::optional<Fault::Body> plainBody(const std::string& key) {
  for (const Fault::Body body :
       {Fault::Body::Malformed, Fault::Body::Empty, Fault::Body::Close, Fault::Body::Truncate,
        Fault::Body::Stall, Fault::Body::Endless, Fault::Body::Overlength}) {
    if (key == bodyName(body)) return body;
  }
  return std::nullopt;
}

long long bounded(const std::string& item, const std::string& value, long long low,
                  long long high) {
  const std::optional<long long> number = Numbers::wide(value);
  if (!number || *number < low || *number > high) {
    throw std::invalid_argument("fault item '" + item + "' needs a number from " +
                                std::to_string(low) + " to " + std::to_string(high));
  }
  return *number;
}

}  // namespace

std::vector<std::string> Fault::items(const std::string& text) {
  std::vector<std::string> found;
  std::string item;
  for (const char c : text) {
    if (c == ',' || c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (!item.empty()) found.push_back(item);
      item.clear();
    } else {
      item += c;
    }
  }
  if (!item.empty()) found.push_back(item);
  return found;
}

Fault Fault::parse(const std::string& text) {
  Fault fault;
  const std::vector<std::string> list = items(text);
  if (list.empty()) throw std::invalid_argument("no fault given");
  bool delaySet = false;
  bool statusSet = false;
  for (const std::string& item : list) {
    const std::size_t equals = item.find('=');
    const std::string key = item.substr(0, equals);
    const bool hasValue = equals != std::string::npos;
    const std::string value = hasValue ? item.substr(equals + 1) : "";
    Body body = Body::Reply;
    if (key == "delay" && !delaySet) {
      fault.delayMs = static_cast<int>(bounded(item, value, 0, 600000));
      delaySet = true;
    } else if (key == "status" && !statusSet) {
      fault.status = static_cast<int>(bounded(item, value, 200, 599));
      statusSet = true;
    } else if (key == "size") {
      fault.sizeMiB = static_cast<std::size_t>(bounded(item, value, 1, 1024));
      body = Body::Large;
    } else if (key == "nul") {
      if (hasValue) {
        fault.nulOffset = static_cast<std::size_t>(bounded(item, value, 0, 1LL << 40));
      }
      body = Body::Nul;
    } else if (key == "trickle") {
      fault.trickleMs = static_cast<int>(bounded(item, value, 1, 60000));
      body = Body::Trickle;
    } else if (const std::optional<Body> plain = plainBody(key); plain && !hasValue) {
      body = *plain;
    } else {
      throw std::invalid_argument("unknown or repeated fault item '" + item + "'");
    }
    if (body != Body::Reply) {
      if (fault.body != Body::Reply) {
        throw std::invalid_argument("fault item '" + item + "' conflicts with '" +
                                    bodyName(fault.body) + "': one body fault at a time");
      }
      fault.body = body;
    }
  }
  if (fault.body == Body::Stall && (delaySet || statusSet)) {
    throw std::invalid_argument("fault item 'stall' sends no reply, so it takes no " +
                                std::string(delaySet ? "delay" : "status"));
  }
  return fault;
}

std::string Fault::describe() const {
  std::vector<std::string> parts;
  if (delayMs != 0) parts.push_back("delay=" + std::to_string(delayMs));
  if (status != 200) parts.push_back("status=" + std::to_string(status));
  if (body == Body::Large) {
    parts.push_back("size=" + std::to_string(sizeMiB));
  } else if (body == Body::Nul && nulOffset) {
    parts.push_back("nul=" + std::to_string(*nulOffset));
  } else if (body == Body::Trickle) {
    parts.push_back("trickle=" + std::to_string(trickleMs));
  } else if (body != Body::Reply) {
    parts.push_back(bodyName(body));
  }
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : ",") + part;
  return text;
}

}  // namespace erpsim
