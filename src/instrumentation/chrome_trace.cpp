// Chrome trace-event JSON for performance events, and the completion of a
// trace file after its writers have gone.
#include "instrumentation/chrome_trace.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "base/json_string.h"
#include "base/utf16.h"
#include "instrumentation/provider_definitions.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

namespace pv = provider;

// Reads the payload field by field; a short payload ends the fields early.
class PayloadReader {
 public:
  PayloadReader(const std::uint8_t* p, std::size_t n) : p_(p), n_(n) {}

  bool readUtf16Json(std::string& out) {
    std::u16string text;
    for (;;) {
      std::uint16_t u;
      if (!take(&u, 2)) return false;
      if (u == 0) break;
      text.push_back(static_cast<char16_t>(u));
    }
    out += jsonString(utf16ToWide(text), JsonText::Ascii);
    return true;
  }
  template <typename T>
  bool read(T& v) {
    return take(&v, sizeof v);
  }

 private:
  bool take(void* dst, std::size_t k) {
    if (n_ - pos_ < k) return false;
    std::memcpy(dst, p_ + pos_, k);
    pos_ += k;
    return true;
  }
  const std::uint8_t* p_;
  std::size_t n_, pos_ = 0;
};

std::string hex(std::uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "\"0x%" PRIx64 "\"", v);
  return buf;
}

std::string mapped(std::string_view mapName, std::uint32_t v) {
  if (const auto* m = pv::findMap(mapName))
    for (const auto& e : m->entries)
      if (e.value == v) return jsonString(e.text, JsonText::Ascii);
  return std::to_string(v);
}

// Reads one value of type T and appends its JSON form.
template <typename T, typename Format>
bool appendValue(std::string& out, PayloadReader& in, Format format) {
  T v;
  if (!in.read(v)) return false;
  out += format(v);
  return true;
}

bool appendField(std::string& out, const pv::Field& f, PayloadReader& in) {
  auto decimal = [](auto v) { return std::to_string(v); };
  switch (f.type) {
    case pv::FieldType::String:
      return in.readUtf16Json(out);
    case pv::FieldType::Pointer:
      return appendValue<std::uint64_t>(out, in, hex);
    case pv::FieldType::Int32:
      return appendValue<std::int32_t>(out, in, decimal);
    case pv::FieldType::UInt32:
      return appendValue<std::uint32_t>(
          out, in, [&](std::uint32_t v) { return f.map.empty() ? std::to_string(v) : mapped(f.map, v); });
    case pv::FieldType::UInt32Hex:
      return appendValue<std::uint32_t>(out, in, hex);
    case pv::FieldType::UInt8:
      return appendValue<std::uint8_t>(out, in,
                                       [](std::uint8_t v) { return std::string(v ? "true" : "false"); });
  }
  return false;
}

// The trace viewer's category: the keywords, or the channel for events
// without any.
std::string category(std::uint64_t mask) {
  std::string names = pv::keywordNames(mask, ",");
  return names.empty() ? std::string(pv::kChannelName) : names;
}

}  // namespace

std::string chromeTraceEvent(const Trace::EventRecord& r) {
  const pv::Task* task = pv::findTask(r.task);
  const pv::Opcode* op = pv::findOpcode(r.opcode);
  const pv::Level* level = pv::findLevel(r.level);
  std::string taskName = task ? std::string(task->name) : "task " + std::to_string(r.task);
  std::string opName = op ? std::string(op->name) : "opcode " + std::to_string(r.opcode);

  const char* phase = r.opcode == pv::kOpStart ? "B" : r.opcode == pv::kOpEnd ? "E" : "i";
  std::string name = *phase == 'i' ? taskName + " " + opName : taskName;

  char ts[48];
  std::snprintf(ts, sizeof ts, "%" PRIu64 ".%03u", r.timestampNs / 1000,
                static_cast<unsigned>(r.timestampNs % 1000));

  std::string out =
      "{\"name\":" + jsonString(name, JsonText::Ascii) +
      ",\"cat\":" + jsonString(category(r.keywords), JsonText::Ascii) + ",\"ph\":\"" + phase + "\"" +
      (*phase == 'i' ? ",\"s\":\"t\"" : "") + ",\"ts\":" + ts + ",\"pid\":" + std::to_string(r.processId) +
      ",\"tid\":" + std::to_string(r.threadId) + ",\"args\":{\"id\":" + std::to_string(r.id) +
      ",\"opcode\":" + jsonString(opName, JsonText::Ascii) +
      ",\"level\":" + (level ? jsonString(level->name, JsonText::Ascii) : std::to_string(r.level));
  const pv::Event* e = pv::findEvent(r.id);
  if (const pv::Template* t = e ? pv::findTemplate(*e) : nullptr) {
    PayloadReader in(r.payload, r.payloadSize);
    for (const auto& f : t->fields) {
      std::string value;
      if (!appendField(value, f, in)) break;
      out += "," + jsonString(f.name, JsonText::Ascii) + ":" + value;
    }
  }
  return out + "}}";
}

bool finishChromeTrace(const std::string& path, std::string_view closingRecord, std::string* error) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) {
    *error = "cannot read " + path;
    return false;
  }
  // Records never contain a raw line feed, so everything after the last one
  // is a torn record.
  std::streamoff end = in.tellg(), keep = 0;
  char buf[4096];
  for (std::streamoff pos = end; pos > 0 && keep == 0;) {
    std::streamoff chunk = std::min<std::streamoff>(pos, sizeof buf);
    pos -= chunk;
    if (!in.seekg(pos) || !in.read(buf, chunk)) break;
    for (std::streamoff i = chunk; i-- > 0;)
      if (buf[i] == '\n') {
        keep = pos + i + 1;
        break;
      }
  }
  in.close();
  std::string tail;
  if (keep == 0) tail = kChromeTraceOpening;  // not even the opening survived
  tail.append(closingRecord);
  tail += "\n]\n";
  std::error_code ec;
  std::filesystem::resize_file(path, static_cast<std::uintmax_t>(keep), ec);
  std::ofstream out(path, std::ios::binary | std::ios::app);
  if (ec || !out || !out.write(tail.data(), static_cast<std::streamsize>(tail.size())) || !out.flush()) {
    *error = "cannot complete " + path + (ec ? ": " + ec.message() : std::string());
    return false;
  }
  return true;
}

}  // namespace Halvex::Tessaran::PAL::detail
