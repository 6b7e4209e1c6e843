// In-process consumers of the "Halvex-Tessaran" performance events: a host
// or a test opens a session with a level and a keyword mask and receives
// every event it admits as a record, with the payload in its wire layout.
//
// Differences from Windows: this takes the place of an event-tracing
// session of the operating system. The filtering rule is the same (level 0
// and keyword mask 0 admit everything; otherwise the event's level must not
// exceed the session's and the keyword masks must intersect), and opening a
// session counts as enabling the provider.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "pal/export.h"

namespace Halvex::Tessaran::PAL::Trace {

struct EventRecord {
  std::uint16_t id;
  std::uint8_t version;
  std::uint8_t channel;  // 0 for an event outside the channel
  std::uint8_t level;
  std::uint8_t opcode;
  std::uint16_t task;
  std::uint64_t keywords;  // with the channel bit for channel events
  // Field after field, in template order: UTF-16 strings with their NUL,
  // 8-byte pointers, 4-byte integers, 1-byte bools. Valid during the call.
  const std::uint8_t* payload;
  std::size_t payloadSize;
  std::uint64_t timestampNs;  // CLOCK_MONOTONIC
  std::uint32_t processId;
  std::uint32_t threadId;
};

// Receives the admitted events of its session, on the writing thread, while
// the session is open. It must neither open nor close sessions; events it
// writes itself reach no in-process session.
using EventCallback = std::function<void(const EventRecord&)>;

class PAL_EXPORT Session {
 public:
  Session(std::uint8_t level, std::uint64_t keywordMask, EventCallback callback);
  // No callback runs for this session once the destructor has returned.
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// The provider's event manifest (instrumentation manifest XML), the same
// text as the installed Halvex-Tessaran.man.
PAL_EXPORT std::string providerManifest();

}  // namespace Halvex::Tessaran::PAL::Trace
