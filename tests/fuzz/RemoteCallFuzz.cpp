// Fuzzes the reading of web-service replies: the remote-call reply into its
// parameters, and the URL reply of the image requests.
#include <cstddef>
#include <cstdint>
#include <string>

#include <pugixml.hpp>

#include "fuzz/DiscardSink.h"
#include "server/VarnDLLCall.h"
#include "server/WebServiceClient.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quilrun::DiscardSink::install();
  const std::string reply(reinterpret_cast<const char*>(data), size);

  quilrun::VarnDLLCall call("GetLabelVariants");
  using quilrun::VarnDLLParameter;
  call.addParameter("LABELCODE", VarnDLLParameter::kIn, VarnDLLParameter::kString)
      ->setStringValue("code");
  call.addParameter("FLAG", VarnDLLParameter::kOut, VarnDLLParameter::kBoolean);
  call.addParameter("COUNT", VarnDLLParameter::kOut, VarnDLLParameter::kInt);
  call.addParameter("AMOUNT", VarnDLLParameter::kOut, VarnDLLParameter::kR8);
  VarnDLLParameter* result =
      call.addParameter("callResult", VarnDLLParameter::kOut, VarnDLLParameter::kXmlNode);
  if (call.processResponse(reply.c_str())) {
    for (const pugi::xpath_node& label : result->getXmlValue().select_nodes("//LABELS/LABEL")) {
      label.node().attribute("LENGTH").as_int();
    }
    result->getValueAsString();
  }

  quilrun::PostResult post;
  post.success = true;
  post.statusCode = 200;
  post.body = reply;
  pugi::xml_document document;
  quilrun::WebServiceClient::extractUrlFromResult(post, document);
  return 0;
}
