// The event manifest and the writers' descriptor table, checked against
// each other and against the provider's published definition.
#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <map>
#include <set>
#include <sstream>

#include "instrumentation/provider_definitions.h"
#include "pal/trace_session.h"

namespace {

namespace pv = Halvex::Tessaran::PAL::detail::provider;
using boost::property_tree::ptree;

// id|task|opcode|level|keywords|fields (name:type[:map])|channel
const char* const kPartEvents[] = {
    "1|KvDbDatabase-readMdlFile|Start|normal|-|data:string|channel",
    "2|KvDbDatabase-readMdlFile|End|normal|-|data:string|channel",
    "3|KvApApp-init|Start|normal|Startup||channel",
    "4|KvApApp-init|End|normal|Startup||channel",
    "5|CPyraApp-InitInstance|Start|normal|Startup||channel",
    "6|CPyraApp-InitInstance|End|normal|Startup||channel",
    "7|KvDbImpObject-objectRecordIn|Start|detailed|-|KvRxClassPointer:pointer|channel",
    "8|KvDbImpObject-objectRecordIn|End|detailed|-|KvRxClassPointer:pointer|channel",
    "9|KvGiDrawable-viewportDraw|Start|detailed|GsPerformance|KvRxClassPointer:pointer|channel",
    "10|KvGiDrawable-viewportDraw|End|detailed|GsPerformance|KvRxClassPointer:pointer|channel",
    "11|LoadModule|Start|normal|Startup|data:string|channel",
    "12|LoadModule|End|normal|Startup|data:string|channel",
    "13|KvApDocImpManager-OpenDocumentFile|Start|minimal|Startup Commands|data:string|channel",
    "14|KvApDocImpManager-OpenDocumentFile|End|minimal|Startup Commands|data:string|channel",
    "15|Command|Start|minimal|Startup Commands|Command:string|channel",
    "16|Command|End|minimal|Startup Commands|Command:string|-",
    "17|kvdbImpBindToRuntime|Start|normal|Startup||channel",
    "18|kvdbImpBindToRuntime|End|normal|Startup||channel",
    "19|CFontInfo-Init|Start|normal|Startup||channel",
    "20|CFontInfo-Init|End|normal|Startup||channel",
    "21|HxApplicationFrame-Initialize|Start|normal|Startup||channel",
    "22|HxApplicationFrame-Initialize|End|normal|Startup||channel",
    "23|HxApplicationFrame-CreateInstance|Start|normal|Startup||channel",
    "24|HxApplicationFrame-CreateInstance|End|normal|Startup||channel",
    "25|CustomizationSection-ConstructorGuts|Start|normal|Startup|data1:string,data2:string|channel",
    "26|CustomizationSection-ConstructorGuts|End|normal|Startup|data1:string,data2:string|channel",
    "27|QuickAccessToolbarService-LoadQuickAccessToolbar|Start|normal|Startup||channel",
    "28|QuickAccessToolbarService-LoadQuickAccessToolbar|End|normal|Startup||channel",
    "29|KvSignalhubConn-LoadSignalhub|Start|normal|Startup||channel",
    "30|KvSignalhubConn-LoadSignalhub|End|normal|Startup||channel",
    "31|RibbonTabSwitch|Start|normal|-|data:string|channel",
    "32|RibbonTabSwitch|End|normal|-|data:string|channel",
    "33|LoadResource|Start|detailed|-|data:string|channel",
    "34|LoadResource|End|detailed|-|data:string|channel",
    "37|KvRxClassLifetime|Start|detailed|GsPerformance|KvRxClassPointer:pointer,KvRxClassName:string|channel",
    "38|KvRxClassLifetime|End|detailed|GsPerformance|KvRxClassPointer:pointer,KvRxClassName:string|channel",
    "39|SysvarList|Info|detailed|-|data1:string,data2:string|channel",
    "42|Doc|Lock|normal|Commands Doc|LockObject:pointer,Mode:uint32:DocLockMode,Command:string,Force:uint8|channel",
    "43|Doc|Unlock|normal|Commands Doc|Lock:pointer|channel",
    "44|Doc|Info|normal|Commands|Lock:pointer,ErrorStatus:uint32|channel",
    "45|Assert|Info|win:Error|Startup Commands|Message:string|channel",
    "46|BolLifetime|Start|normal|-||channel",
    "47|BolLifetime|End|normal|-||channel",
    "48|BolNotify|Start|normal|-||channel",
    "49|BolNotify|End|normal|-||channel",
    "86|VmtMainDomain|MainDomain|detailed|GsPerformance|data:string|channel",
    "90|KvGiDrawable-worldDraw|Start|detailed|GsPerformance|KvRxClassPointer:pointer|channel",
    "91|KvGiDrawable-worldDraw|End|detailed|GsPerformance|KvRxClassPointer:pointer|channel",
    "101|Tregenall|Start|detailed|GsPerformance||channel",
    "102|Tregenall|End|detailed|GsPerformance||channel",
    "200|Command|Invoke|detailed|Commands|Parameters:string,Ilk:uint32:CommandIlk|channel",
    "201|Command|RetrieveToken|detailed|Commands|Restype:uint32hex,Token:string|channel",
    "202|Command|Cancelled|minimal|Commands|Command:string|channel",
    "203|Command|Failed|minimal|Commands|Command:string|channel",
    "204|Lisp|SetContextState|diagnostic|Commands Lisp|ContextId:pointer,State:uint32:LispContextState|channel",
    "205|Lisp|InvokeLisp|detailed|Commands Lisp|Name:string,Expression:string|channel",
    "206|Doc|Start|detailed|Doc|Doc:pointer|channel",
    "207|Doc|End|detailed|Doc|Doc:pointer|channel",
    "208|Doc|Activated|detailed|Doc|Doc:pointer|channel",
    "209|Doc|Activate|detailed|Doc|Doc:pointer,Flags:int32,Result:string|channel",
    "210|Doc|SetCurrent|detailed|Doc|Doc:pointer|channel",
    "211|Doc|OnActivate|detailed|Doc|Doc:pointer|channel",
    "212|CommandThroat|Start|detailed|Commands Doc||channel",
    "213|CommandThroat|Queue|detailed|Commands Doc|Token:string|channel",
    "214|CommandThroat|Processed|detailed|Commands Doc|result:string|channel",
    "215|CommandThroat|End|detailed|Commands Doc||channel",
    "216|MessageLoop|Start|diagnostic|Commands Doc||channel",
    "217|MessageLoop|End|diagnostic|Commands Doc||channel",
    "218|ProgressiveLoading|Start|diagnostic|PointCloudLoading|Query:pointer|channel",
    "219|ProgressiveLoading|End|diagnostic|PointCloudLoading|Query:pointer|channel",
    "220|ProgressiveThreading|Start|diagnostic|PointCloudThreading|Query:pointer|channel",
    "221|ProgressiveThreading|End|diagnostic|PointCloudThreading|Query:pointer|channel",
    "222|Lisp|CreateContext|diagnostic|Commands Lisp|ContextId:pointer|channel",
    "223|Lisp|DestroyContext|diagnostic|Commands Lisp|ContextId:pointer|channel",
    "224|DMDriverFPSTask|Info|detailed|GsPerformance|data1:string,data2:string|channel",
    "225|Generic|Generic|diagnostic|Generic|kind:string,payload:string|channel",
};
const char* const kPartLevels = "2=win:Error 16=minimal 17=normal 18=detailed 19=diagnostic";
const char* const kPartOpcodes = "10=Start 11=End 12=Info 13=SwitchIn 14=SwitchOut 15=Lock 16=Unlock 17=Access 18=CreateContext 19=DestroyContext 23=Invoke 24=RetrieveToken 25=Cancelled 30=MainDomain 39=Processed 40=Queue 42=Failed 43=SetContextState 44=InvokeLisp 45=Activated 46=Activate 47=SetCurrent 48=OnActivate 49=Generic";
const char* const kPartKeywords = "0x1=Startup 0x2=Commands 0x4=Lisp 0x8=GsPerformance 0x40=Interactive 0x80=Doc 0x200=PointCloudLoading 0x400=PointCloudThreading 0x800=Generic";
const char* const kPartTasks = "1=KvDbDatabase-readMdlFile 2=KvApApp-init 3=CPyraApp-InitInstance 4=KvDbImpObject-objectRecordIn 5=KvGiDrawable-viewportDraw 6=LoadModule 7=KvApDocImpManager-OpenDocumentFile 8=Command 9=kvdbImpBindToRuntime 10=CFontInfo-Init 11=HxApplicationFrame-Initialize 12=HxApplicationFrame-CreateInstance 13=CustomizationSection-ConstructorGuts 14=QuickAccessToolbarService-LoadQuickAccessToolbar 15=KvSignalhubConn-LoadSignalhub 16=RibbonTabSwitch 17=LoadResource 19=KvRxClassLifetime 20=SysvarList 22=Doc 23=Assert 24=BolLifetime 25=BolNotify 41=DeviceUpdate 43=VmtMainDomain 47=KvGiDrawable-worldDraw 53=Tregenall 59=CommandThroat 60=MessageLoop 61=Lisp 62=ProgressiveLoading 63=ProgressiveThreading 64=Generic 65=DMDriverFPSTask";

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::string item;
  std::istringstream in(s);
  while (std::getline(in, item, sep)) out.push_back(item);
  if (!s.empty() && s.back() == sep) out.emplace_back();
  return out;
}

std::map<std::string, std::string> valueNames(const std::string& list) {
  std::map<std::string, std::string> out;
  for (const auto& pair : split(list, ' ')) {
    auto eq = pair.find('=');
    out[pair.substr(0, eq)] = pair.substr(eq + 1);
  }
  return out;
}

std::string attr(const ptree& node, const char* name) {
  return node.get<std::string>(std::string("<xmlattr>.") + name, "");
}

// The manifest's provider element, parsed once.
const ptree& provider() {
  static const ptree root = [] {
    ptree t;
    std::istringstream in(Halvex::Tessaran::PAL::Trace::providerManifest());
    boost::property_tree::read_xml(in, t);
    return t;
  }();
  return root.get_child("instrumentationManifest.instrumentation.events.provider");
}

std::map<std::string, std::string> children(const char* section, const char* element, const char* key,
                                            const char* value) {
  std::map<std::string, std::string> out;
  for (const auto& [name, node] : provider().get_child(section))
    if (name == element) out[attr(node, key)] = attr(node, value);
  return out;
}

// Field list of a template in the test's notation (name:type[:map]).
std::string templateFields(const ptree& tmpl) {
  std::string out;
  for (const auto& [name, d] : tmpl) {
    if (name != "data") continue;
    std::string in = attr(d, "inType"), type;
    if (in == "win:UnicodeString") type = "string";
    if (in == "win:Pointer") type = "pointer";
    if (in == "win:Int32") type = "int32";
    if (in == "win:UInt32") type = attr(d, "outType") == "win:HexInt32" ? "uint32hex" : "uint32";
    if (in == "win:UInt8") type = "uint8";
    EXPECT_FALSE(type.empty()) << in;
    out += (out.empty() ? "" : ",") + attr(d, "name") + ":" + type + (attr(d, "map").empty() ? "" : ":" + attr(d, "map"));
  }
  return out;
}

std::map<std::string, std::string> templatesByTid() {
  std::map<std::string, std::string> out;
  for (const auto& [name, t] : provider().get_child("templates"))
    if (name == "template") out[attr(t, "tid")] = templateFields(t);
  return out;
}

TEST(ProviderManifest, IdentifiesTheProviderAndChannel) {
  EXPECT_EQ(attr(provider(), "name"), "Halvex-Tessaran");
  EXPECT_EQ(attr(provider(), "guid"), pv::kProviderGuid);
  auto channels = children("channels", "channel", "chid", "value");
  EXPECT_EQ(channels, (std::map<std::string, std::string>{{"Performance", "16"}}));
}

TEST(ProviderManifest, DefinesTheLevelsOpcodesKeywordsAndTasks) {
  auto levels = valueNames(kPartLevels);
  levels.erase("2");  // a system level: referenced by events, not redefined
  std::map<std::string, std::string> manifestLevels;
  for (const auto& [name, value] : children("levels", "level", "name", "value")) manifestLevels[value] = name;
  EXPECT_EQ(manifestLevels, levels);

  std::map<std::string, std::string> opcodes;
  for (const auto& [name, value] : children("opcodes", "opcode", "name", "value")) opcodes[value] = name;
  EXPECT_EQ(opcodes, valueNames(kPartOpcodes));

  std::map<std::string, std::string> keywords;
  for (const auto& [name, mask] : children("keywords", "keyword", "name", "mask")) {
    std::ostringstream hex;
    hex << "0x" << std::hex << std::stoull(mask, nullptr, 16);
    keywords[hex.str()] = name;
  }
  EXPECT_EQ(keywords, valueNames(kPartKeywords));

  std::map<std::string, std::string> tasks;
  std::set<std::string> guids;
  for (const auto& [name, t] : provider().get_child("tasks")) {
    if (name != "task") continue;
    tasks[attr(t, "value")] = attr(t, "name");
    EXPECT_EQ(attr(t, "eventGUID").size(), 38u) << attr(t, "name");
    guids.insert(attr(t, "eventGUID"));
  }
  EXPECT_EQ(tasks, valueNames(kPartTasks));
  EXPECT_EQ(guids.size(), tasks.size()) << "task GUIDs are distinct";
}

TEST(ProviderManifest, ValueMapsShowTheirTexts) {
  std::map<std::string, std::string> strings;
  ptree root;
  std::istringstream in(Halvex::Tessaran::PAL::Trace::providerManifest());
  boost::property_tree::read_xml(in, root);
  for (const auto& [name, s] : root.get_child("instrumentationManifest.localization.resources.stringTable"))
    if (name == "string") strings["$(string." + attr(s, "id") + ")"] = attr(s, "value");

  const std::map<std::string, std::string> expected = {
      {"DocLockMode", "0=kNone 1=kAutoWrite 2=kNotLocked 4=kWrite 20=kProtectedAutoWrite 32=kRead 64=kXWrite"},
      {"LispContextState", "1=kKvVlNone 2=kKvVlFirst 4=kKvVlResuming 8=kKvVlPending 16=kKvVlDone"},
      {"CommandIlk", "1=Subroutine (kKvEdCmdS) 2=Coroutine (kKvEdCmdC)"},
  };
  std::map<std::string, std::string> got;
  for (const auto& [name, m] : provider().get_child("maps")) {
    if (name != "valueMap") continue;
    std::string list;
    for (const auto& [n, e] : m)
      if (n == "map") list += (list.empty() ? "" : " ") + attr(e, "value") + "=" + strings[attr(e, "message")];
    got[attr(m, "name")] = list;
  }
  EXPECT_EQ(got, expected);
}

TEST(ProviderManifest, EventsMatchThePublishedTable) {
  auto templates = templatesByTid();
  std::map<std::string, std::string> manifestEvents;
  std::set<std::string> usedTemplates;
  for (const auto& [name, e] : provider().get_child("events")) {
    if (name != "event") continue;
    std::string kw = attr(e, "keywords");
    usedTemplates.insert(attr(e, "template"));
    manifestEvents[attr(e, "value")] = attr(e, "value") + "|" + attr(e, "task") + "|" + attr(e, "opcode") + "|" +
                                       attr(e, "level") + "|" + (kw.empty() ? "-" : kw) + "|" +
                                       templates[attr(e, "template")] + "|" +
                                       (attr(e, "channel") == "Performance" ? "channel" : attr(e, "channel") + "-");
    EXPECT_EQ(attr(e, "version"), "0");
  }
  ASSERT_EQ(manifestEvents.size(), std::size(kPartEvents));
  for (const char* row : kPartEvents) {
    std::string id = split(row, '|')[0];
    EXPECT_EQ(manifestEvents[id], row);
  }

  // The templates no event uses are defined all the same.
  std::multiset<std::string> unused;
  for (const auto& [tid, fields] : templates)
    if (!usedTemplates.count(tid)) unused.insert(fields);
  EXPECT_EQ(unused, (std::multiset<std::string>{"data:int32", "data:pointer", "data1:pointer,data2:string",
                                                "data1:pointer,data2:int32"}));
}

TEST(ProviderManifest, DescriptorTableAgreesWithTheManifest) {
  auto opcodes = valueNames(kPartOpcodes);
  auto levels = valueNames(kPartLevels);
  auto keywordNames = valueNames(kPartKeywords);
  std::map<std::string, std::uint64_t> keywordMask;
  for (const auto& [mask, name] : keywordNames) keywordMask[name] = std::stoull(mask, nullptr, 16);

  ASSERT_EQ(pv::kEventCount, std::size(kPartEvents));
  for (const char* row : kPartEvents) {
    auto f = split(row, '|');
    SCOPED_TRACE(row);
    const pv::Event* e = pv::findEvent(static_cast<std::uint16_t>(std::stoi(f[0])));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(pv::findTask(e->task)->name, f[1]);
    EXPECT_EQ(opcodes[std::to_string(e->opcode)], f[2]);
    EXPECT_EQ(levels[std::to_string(e->level)], f[3]);
    std::uint64_t mask = 0;
    if (f[4] != "-")
      for (const auto& k : split(f[4], ' ')) mask |= keywordMask.at(k);
    bool channel = f[6] == "channel";
    EXPECT_EQ(e->keywordMask(), mask | (channel ? 0x8000000000000000ull : 0));
    EXPECT_EQ(e->channel(), channel ? 16 : 0);
  }
}

}  // namespace
