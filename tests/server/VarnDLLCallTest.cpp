#include "server/VarnDLLCall.h"

#include <gtest/gtest.h>

#include <string>

#include "server/RawXml.h"
#include "support/CapturingSink.h"

namespace quilrun {
namespace {

TEST(VarnDLLCallTest, BuildsTheLabelRequestExactly) {
  VarnDLLCall call("GetLabelVariants");
  call.addParameter("LABELCODE", VarnDLLParameter::kIn, VarnDLLParameter::kString)
      ->setStringValue("abcde");
  call.addParameter("LANGUAGE", VarnDLLParameter::kIn, VarnDLLParameter::kString)
      ->setStringValue("x");
  call.addParameter("callResult", VarnDLLParameter::kOut, VarnDLLParameter::kXmlNode);
  call.setDataFile("DATAFILE");
  const std::string request = RawXml::print(call.buildRequest());
  EXPECT_EQ(request,
            "<callRequest><datafile>DATAFILE</datafile><dllRequest><constructor "
            "language=\"VarnDLL\"><dll>oqrptdllutil</dll><method>GetLabelVariants</method>"
            "<parameters><LABELCODE scope=\"in\" dt=\"string\" dims=\"5\">abcde</LABELCODE>"
            "<LANGUAGE scope=\"in\" dt=\"string\" dims=\"1\">x</LANGUAGE><callResult "
            "scope=\"out\" ct=\"elements\" /></parameters></constructor></dllRequest>"
            "</callRequest>");
  // Building again starts from scratch.
  EXPECT_EQ(RawXml::print(call.buildRequest()), request);
}

struct ParameterCase {
  const char* name;
  int type;
  int scope;
  void (*set)(VarnDLLParameter&);
  const char* element;
};

TEST(VarnDLLCallTest, WritesEachKindOfParameter) {
  const ParameterCase cases[] = {
      {"empty string", VarnDLLParameter::kString, VarnDLLParameter::kIn,
       [](VarnDLLParameter& p) { p.setStringValue(""); }, "<P scope=\"in\" dt=\"string\" dims=\"0\"></P>"},
      {"string never set", VarnDLLParameter::kString, VarnDLLParameter::kIn,
       [](VarnDLLParameter&) {}, "<P scope=\"in\" dt=\"string\" dims=\"0\"></P>"},
      {"inout carries its value", VarnDLLParameter::kInt, VarnDLLParameter::kInOut,
       [](VarnDLLParameter& p) { p.setIntValue(-42); }, "<P scope=\"inout\" dt=\"int\">-42</P>"},
      {"out is empty", VarnDLLParameter::kInt, VarnDLLParameter::kOut,
       [](VarnDLLParameter& p) { p.setIntValue(7); }, "<P scope=\"out\" dt=\"int\" />"},
      {"boolean", VarnDLLParameter::kBoolean, VarnDLLParameter::kIn,
       [](VarnDLLParameter& p) { p.setBoolValue(true); }, "<P scope=\"in\" dt=\"boolean\">1</P>"},
      {"i8", VarnDLLParameter::kI8, VarnDLLParameter::kIn,
       [](VarnDLLParameter& p) { p.setLongValue(-9000000000LL); },
       "<P scope=\"in\" dt=\"i8\">-9000000000</P>"},
      {"r8", VarnDLLParameter::kR8, VarnDLLParameter::kIn,
       [](VarnDLLParameter& p) { p.setDoubleValue(0.1); }, "<P scope=\"in\" dt=\"r8\">0.1</P>"},
      {"void", VarnDLLParameter::kVoid, VarnDLLParameter::kIn, [](VarnDLLParameter&) {},
       "<P scope=\"in\" dt=\"void\"></P>"},
      {"escaped text", VarnDLLParameter::kString, VarnDLLParameter::kIn,
       [](VarnDLLParameter& p) { p.setStringValue("a<b&c"); },
       "<P scope=\"in\" dt=\"string\" dims=\"5\">a&lt;b&amp;c</P>"},
  };
  for (const ParameterCase& c : cases) {
    SCOPED_TRACE(c.name);
    VarnDLLCall call("M");
    c.set(*call.addParameter("P", c.scope, c.type));
    const std::string request = RawXml::print(call.buildRequest());
    EXPECT_EQ(request, std::string("<callRequest><dllRequest><constructor language=\"VarnDLL\"><dll>"
                                   "oqrptdllutil</dll><method>M</method><parameters>") +
                           c.element + "</parameters></constructor></dllRequest></callRequest>");
  }
}

TEST(VarnDLLCallTest, NodeParameterCarriesTheChildrenOfItsNode) {
  pugi::xml_document info;
  pugi::xml_node root = info.append_child("CALLINFO");
  root.append_child("A").append_attribute("x") = "1";
  root.append_child("B").text().set("t");
  VarnDLLCall call("M");
  call.addParameter("CALLINFO", VarnDLLParameter::kIn, VarnDLLParameter::kXmlNode)->setXmlValue(root);
  EXPECT_EQ(RawXml::print(call.buildRequest()),
            "<callRequest><dllRequest><constructor language=\"VarnDLL\"><dll>oqrptdllutil</dll>"
            "<method>M</method><parameters><CALLINFO scope=\"in\" ct=\"elements\"><A x=\"1\" />"
            "<B>t</B></CALLINFO></parameters></constructor></dllRequest></callRequest>");
}

TEST(VarnDLLCallTest, CallWithoutParametersWritesNoParametersElement) {
  VarnDLLCall call("Ping");
  call.setDataFile("D");
  EXPECT_EQ(RawXml::print(call.buildRequest()),
            "<callRequest><datafile>D</datafile><dllRequest><constructor language=\"VarnDLL\">"
            "<dll>oqrptdllutil</dll><method>Ping</method></constructor></dllRequest></callRequest>");
}

TEST(VarnDLLCallTest, UnknownTypeAndScopeAreFatal) {
  CapturingSink log;
  EXPECT_EQ(VarnDLLParameter::getTypeDescription(7), "");
  EXPECT_EQ(VarnDLLParameter::getScopeDescription(-1), "");
  EXPECT_NE(log.text().find("[FATAL  ], [VarnDLLParameter::getTypeDescription ], ["),
            std::string::npos)
      << log.text();
  EXPECT_NE(log.text().find("]: Unknown type\n"), std::string::npos);
  EXPECT_NE(log.text().find("]: Unknown scope\n"), std::string::npos);
}

std::string reply(const std::string& method) {
  return "<callResponse><status>1</status><dllResponse><reply>" + method +
         "</reply></dllResponse></callResponse>";
}

struct ResponseCase {
  const char* name;
  std::string reply;
  bool accepted;
  const char* logged;  // the message logged, or null for none
};

TEST(VarnDLLCallTest, ProcessesReplies) {
  const ResponseCase cases[] = {
      {"compact", reply("<M><OUT>v</OUT></M>"), true, nullptr},
      {"method and parameter in other case", reply("<m><out>v</out></m>"), true, nullptr},
      {"indented",
       "<callResponse>\n  <status>1</status>\n  <dllResponse>\n    <reply>\n      <M>\n        "
       "<OUT>v</OUT>\n      </M>\n    </reply>\n  </dllResponse>\n</callResponse>",
       true, nullptr},
      {"return value first", reply("<M><M>r</M><OUT>v</OUT></M>"), true, nullptr},
      {"unknown parameter", reply("<M><OTHER>x</OTHER><OUT>v</OUT></M>"), true,
       "Ignoring unrecognized parameter OTHER in response"},
      {"text child", reply("<M>loose<OUT>v</OUT></M>"), true,
       "Ignoring unrecognized parameter  in response"},
      {"not XML", "not xml", false, "Web service response could not be parsed: No document element found"},
      {"empty", "", false, "Web service response could not be parsed: No document element found"},
      {"no status", "<callResponse><dllResponse/></callResponse>", false,
       "Invalid web service response: <status> node is missing"},
      {"status with a blank",
       "<callResponse><status>1 </status><message>busy</message></callResponse>", false,
       "Web service response contains status 1 : busy"},
      {"status 0", "<callResponse><status>0</status><message>Unknown session</message></callResponse>",
       false, "Web service response contains status 0: Unknown session"},
      {"error element",
       "<callResponse><status>1</status><dllResponse><error code=\"5\">boom</error></dllResponse>"
       "</callResponse>",
       false, "Web service response contains <error> node: <error code=\"5\">boom</error>"},
      {"no reply", "<callResponse><status>1</status><dllResponse/></callResponse>", false,
       "Web service response does not contain <reply> node"},
      {"other method", reply("<N><OUT>v</OUT></N>"), false,
       "Web service response does not contain a <M> node"},
      {"text first in reply", reply("x<M><OUT>v</OUT></M>"), false,
       "Web service response does not contain a <M> node"},
  };
  for (const ResponseCase& c : cases) {
    SCOPED_TRACE(c.name);
    VarnDLLCall call("M");
    VarnDLLParameter* out = call.addParameter("OUT", VarnDLLParameter::kOut, VarnDLLParameter::kString);
    out->setStringValue("before");
    CapturingSink log;
    EXPECT_EQ(call.processResponse(c.reply.c_str()), c.accepted);
    EXPECT_EQ(out->getStringValue(), c.accepted ? "v" : "before");
    if (c.logged != nullptr) {
      EXPECT_NE(log.text().find(std::string("]: ") + c.logged + "\n"), std::string::npos)
          << log.text();
    } else {
      EXPECT_EQ(log.text(), "");
    }
  }
}

struct ValueCase {
  int type;
  const char* text;  // the reply element's content
  const char* expected;  // the parameter's value as text afterwards
};

TEST(VarnDLLCallTest, ConvertsReplyValuesByType) {
  const ValueCase cases[] = {
      {VarnDLLParameter::kBoolean, "", "1"},      {VarnDLLParameter::kBoolean, "1", "1"},
      {VarnDLLParameter::kBoolean, "true", "1"},  {VarnDLLParameter::kBoolean, "TRUE", "1"},
      {VarnDLLParameter::kBoolean, "0", "0"},     {VarnDLLParameter::kBoolean, "false", "0"},
      {VarnDLLParameter::kBoolean, "yes", "0"},   {VarnDLLParameter::kBoolean, " 1", "0"},
      {VarnDLLParameter::kBoolean, "11", "0"},    {VarnDLLParameter::kInt, "42", "42"},
      {VarnDLLParameter::kInt, "x", "0"},         {VarnDLLParameter::kI8, "-9000000000", "-9000000000"},
      {VarnDLLParameter::kR8, "2.5", "2.5"},      {VarnDLLParameter::kString, "<![CDATA[a<b]]>", "a<b"},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + " " + c.text);
    VarnDLLCall call("M");
    VarnDLLParameter* out = call.addParameter("OUT", VarnDLLParameter::kOut, c.type);
    out->setBoolValue(c.type == VarnDLLParameter::kBoolean && std::string(c.expected) == "0");
    ASSERT_TRUE(call.processResponse(reply(std::string("<M><OUT>") + c.text + "</OUT></M>").c_str()));
    EXPECT_EQ(out->getValueAsString(), c.expected);
  }
  // A boolean returned as an empty element reads as true.
  VarnDLLCall call("M");
  VarnDLLParameter* flag = call.addParameter("FLAG", VarnDLLParameter::kOut, VarnDLLParameter::kBoolean);
  ASSERT_TRUE(call.processResponse(reply("<M><FLAG/></M>").c_str()));
  EXPECT_TRUE(flag->getBoolValue());
}

TEST(VarnDLLCallTest, NodeOutParameterPointsIntoTheReply) {
  VarnDLLCall call("GetMessageText");
  VarnDLLParameter* result =
      call.addParameter("callResult", VarnDLLParameter::kOut, VarnDLLParameter::kXmlNode);
  ASSERT_TRUE(call.processResponse(
      reply("<GetMessageText><CALLRESULT><MESSAGE>Hi</MESSAGE></CALLRESULT></GetMessageText>").c_str()));
  EXPECT_STREQ(result->getXmlValue().child("MESSAGE").child_value(), "Hi");
  EXPECT_EQ(result->getValueAsString(), "<CALLRESULT><MESSAGE>Hi</MESSAGE></CALLRESULT>");
}

}  // namespace
}  // namespace quilrun
