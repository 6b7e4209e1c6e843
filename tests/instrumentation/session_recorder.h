// Test fixture helper: an in-process session that keeps every record it
// receives, with the payload copied out.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "pal/trace_session.h"

namespace kvpal::test {

struct Recorded {
  std::uint16_t id;
  std::uint8_t version, channel, level, opcode;
  std::uint16_t task;
  std::uint64_t keywords;
  std::vector<std::uint8_t> payload;
};

class SessionRecorder {
 public:
  explicit SessionRecorder(std::uint8_t level = 0, std::uint64_t keywords = 0)
      : session_(level, keywords, [this](const Halvex::Tessaran::PAL::Trace::EventRecord& r) {
          std::lock_guard g(lock_);
          records_.push_back({r.id, r.version, r.channel, r.level, r.opcode, r.task, r.keywords,
                              std::vector<std::uint8_t>(r.payload, r.payload + r.payloadSize)});
        }) {}

  std::vector<Recorded> take() {
    std::lock_guard g(lock_);
    return std::move(records_);
  }

 private:
  std::mutex lock_;
  std::vector<Recorded> records_;
  Halvex::Tessaran::PAL::Trace::Session session_;
};

// Payload pieces in the wire layout.
inline std::vector<std::uint8_t> utf16z(std::u16string_view s) {
  std::vector<std::uint8_t> out;
  for (char16_t c : s) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  out.insert(out.end(), {0, 0});
  return out;
}
inline std::vector<std::uint8_t> le(std::uint64_t v, int bytes) {
  std::vector<std::uint8_t> out;
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  return out;
}
inline std::vector<std::uint8_t> cat(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace kvpal::test
