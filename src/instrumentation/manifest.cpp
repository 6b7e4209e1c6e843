// The provider's event manifest, generated from its definition tables.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "instrumentation/provider_definitions.h"
#include "pal/trace_session.h"

namespace Halvex::Tessaran::PAL {

namespace {

namespace pv = detail::provider;

std::string xml(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string attr(std::string_view name, std::string_view value) {
  return " " + std::string(name) + "=\"" + xml(value) + "\"";
}

std::string hex(std::uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%" PRIX64, v);
  return buf;
}

const char* inType(pv::FieldType t) {
  switch (t) {
    case pv::FieldType::String: return "win:UnicodeString";
    case pv::FieldType::Pointer: return "win:Pointer";
    case pv::FieldType::Int32: return "win:Int32";
    case pv::FieldType::UInt32:
    case pv::FieldType::UInt32Hex: return "win:UInt32";
    case pv::FieldType::UInt8: return "win:UInt8";
  }
  return "";
}

std::string mapStringId(const pv::ValueMap& m, const pv::MapEntry& e) {
  return "map." + std::string(m.name) + "." + std::to_string(e.value);
}

std::string levelRef(std::uint8_t value) {
  const pv::Level* l = pv::findLevel(value);
  return l ? std::string(l->name) : std::to_string(value);
}

}  // namespace

std::string Trace::providerManifest() {
  std::string s =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<instrumentationManifest xmlns=\"http://schemas.microsoft.com/win/2004/08/events\""
      " xmlns:win=\"http://manifests.microsoft.com/win/2004/08/windows/events\""
      " xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">\n"
      "  <instrumentation>\n"
      "    <events>\n";
  s += "      <provider" + attr("name", pv::kProviderName) + attr("guid", pv::kProviderGuid) +
       attr("symbol", "HALVEX_TESSARAN") + attr("resourceFileName", "libKvPal.so") +
       attr("messageFileName", "libKvPal.so") + ">\n";

  s += "        <channels>\n          <channel" + attr("chid", pv::kChannelName) +
       attr("name", std::string(pv::kProviderName) + "/" + std::string(pv::kChannelName)) +
       attr("type", "Analytic") + attr("value", std::to_string(pv::kChannelValue)) +
       attr("enabled", "false") + "/>\n        </channels>\n";

  // System levels such as win:Error are referenced, never redefined.
  s += "        <levels>\n";
  for (const auto& l : pv::kLevels)
    if (!l.predefined)
      s += "          <level" + attr("name", l.name) + attr("symbol", "level_" + std::string(l.name)) +
           attr("value", std::to_string(l.value)) + "/>\n";
  s += "        </levels>\n";

  s += "        <tasks>\n";
  for (const auto& t : pv::kTasks)
    s += "          <task" + attr("name", t.name) + attr("value", std::to_string(t.value)) +
         attr("eventGUID", t.guid) + "/>\n";
  s += "        </tasks>\n";

  s += "        <opcodes>\n";
  for (const auto& o : pv::kOpcodes)
    s += "          <opcode" + attr("name", o.name) + attr("symbol", "opcode_" + std::string(o.name)) +
         attr("value", std::to_string(o.value)) + "/>\n";
  s += "        </opcodes>\n";

  s += "        <keywords>\n";
  for (const auto& k : pv::kKeywords)
    s += "          <keyword" + attr("name", k.name) + attr("symbol", "keyword_" + std::string(k.name)) +
         attr("mask", hex(k.mask)) + "/>\n";
  s += "        </keywords>\n";

  s += "        <maps>\n";
  for (const auto& m : pv::kMaps) {
    s += "          <valueMap" + attr("name", m.name) + ">\n";
    for (const auto& e : m.entries)
      s += "            <map" + attr("value", std::to_string(e.value)) +
           attr("message", "$(string." + mapStringId(m, e) + ")") + "/>\n";
    s += "          </valueMap>\n";
  }
  s += "        </maps>\n";

  s += "        <templates>\n";
  for (const auto& t : pv::kTemplates) {
    s += "          <template" + attr("tid", t.tid) + ">\n";
    for (const auto& f : t.fields) {
      s += "            <data" + attr("name", f.name) + attr("inType", inType(f.type));
      if (f.type == pv::FieldType::UInt32Hex) s += attr("outType", "win:HexInt32");
      if (!f.map.empty()) s += attr("map", f.map);
      s += "/>\n";
    }
    s += "          </template>\n";
  }
  s += "        </templates>\n";

  s += "        <events>\n";
  for (const auto& e : pv::kEvents) {
    s += "          <event" + attr("value", std::to_string(e.id)) + attr("version", std::to_string(e.version()));
    if (e.onChannel) s += attr("channel", pv::kChannelName);
    s += attr("level", levelRef(e.level)) + attr("task", pv::findTask(e.task)->name) +
         attr("opcode", pv::findOpcode(e.opcode)->name);
    if (e.keywords) s += attr("keywords", pv::keywordNames(e.keywords, " "));
    if (const auto* t = pv::findTemplate(e)) s += attr("template", t->tid);
    s += "/>\n";
  }
  s += "        </events>\n";

  s += "      </provider>\n    </events>\n  </instrumentation>\n";
  s += "  <localization>\n    <resources culture=\"en-US\">\n      <stringTable>\n";
  for (const auto& m : pv::kMaps)
    for (const auto& e : m.entries)
      s += "        <string" + attr("id", mapStringId(m, e)) + attr("value", e.text) + "/>\n";
  s += "      </stringTable>\n    </resources>\n  </localization>\n</instrumentationManifest>\n";
  return s;
}

}  // namespace Halvex::Tessaran::PAL
