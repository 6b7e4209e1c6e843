// Fuzzes the decoding of event payloads into Chrome trace records: any id
// and any bytes must give one valid JSON object.
#include <json/json.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "instrumentation/chrome_trace.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  Halvex::Tessaran::PAL::Trace::EventRecord r{};
  std::memcpy(&r.id, data, 2);
  r.opcode = data[2];
  std::memcpy(&r.task, data + 3, 2);
  r.keywords = 0x8000000000000000ull | data[2];
  r.payload = data + 5;
  r.payloadSize = size - 5;
  std::string json = Halvex::Tessaran::PAL::detail::chromeTraceEvent(r);

  Json::CharReaderBuilder builder;
  builder["strictRoot"] = true;
  builder["rejectDupKeys"] = true;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value v;
  std::string errors;
  if (!reader->parse(json.data(), json.data() + json.size(), &v, &errors) || !v.isObject()) __builtin_trap();
  return 0;
}
