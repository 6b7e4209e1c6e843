// The PerfLog_* event writers, enabled queries and host callbacks.
#include "pal/perf_log.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "base/utf16.h"
#include "instrumentation/event_provider.h"

namespace Halvex::Tessaran::PAL::detail {
namespace {

using provider::FieldType;

// Argument wrappers: each says how one payload field is encoded.
struct Str {
  const wchar_t* text;
};
struct Ptr {
  const void* value;
};
struct I32 {
  std::int32_t value;
};
struct U32 {
  std::uint32_t value;
};
struct U32Hex {
  std::uint32_t value;
};
struct U8 {
  bool value;
};

constexpr FieldType typeOf(Str) {
  return FieldType::String;
}
constexpr FieldType typeOf(Ptr) {
  return FieldType::Pointer;
}
constexpr FieldType typeOf(I32) {
  return FieldType::Int32;
}
constexpr FieldType typeOf(U32) {
  return FieldType::UInt32;
}
constexpr FieldType typeOf(U32Hex) {
  return FieldType::UInt32Hex;
}
constexpr FieldType typeOf(U8) {
  return FieldType::UInt8;
}

// The payload is assembled on the stack; only long strings spill to the heap.
class Payload {
 public:
  void add(Str s) {
    std::u16string u = wideToUtf16(s.text ? s.text : L"");
    append(u.c_str(), (u.size() + 1) * sizeof(char16_t));
  }
  void add(Ptr p) {
    auto v = reinterpret_cast<std::uintptr_t>(p.value);
    static_assert(sizeof v == 8);
    append(&v, sizeof v);
  }
  void add(I32 v) { append(&v.value, 4); }
  void add(U32 v) { append(&v.value, 4); }
  void add(U32Hex v) { append(&v.value, 4); }
  void add(U8 v) {
    std::uint8_t b = v.value ? 1 : 0;
    append(&b, 1);
  }

  const std::uint8_t* data() const { return spilled_ ? heap_.data() : local_.data(); }
  std::size_t size() const { return size_; }

 private:
  void append(const void* p, std::size_t n) {
    // A flag, not heap_.empty(): a first field too long for local_ spills
    // while heap_ is still empty.
    if (!spilled_ && size_ + n > local_.size()) {
      heap_.assign(local_.begin(), local_.begin() + size_);
      spilled_ = true;
    }
    if (!spilled_) {
      std::memcpy(local_.data() + size_, p, n);
    } else {
      auto* b = static_cast<const std::uint8_t*>(p);
      heap_.insert(heap_.end(), b, b + n);
    }
    size_ += n;
  }

  std::array<std::uint8_t, 512> local_;
  std::vector<std::uint8_t> heap_;
  bool spilled_ = false;
  std::size_t size_ = 0;
};

template <std::uint16_t Id>
constexpr std::size_t indexOf() {
  constexpr std::size_t i = provider::eventIndex(Id);
  static_assert(i < provider::kEventCount, "event not defined");
  return i;
}

// The arguments must match the event's template field for field.
template <std::uint16_t Id, typename... A>
constexpr bool matchesTemplate() {
  constexpr const provider::Event& e = provider::kEvents[indexOf<Id>()];
  if constexpr (sizeof...(A) == 0) {
    return e.tmpl == provider::kNoTemplate;
  } else {
    if (e.tmpl == provider::kNoTemplate) return false;
    const auto& f = provider::kTemplates[e.tmpl].fields;
    constexpr FieldType types[] = {typeOf(A{})...};
    if (f.size() != sizeof...(A)) return false;
    for (std::size_t i = 0; i < f.size(); ++i)
      if (f[i].type != types[i]) return false;
    return true;
  }
}

template <std::uint16_t Id>
bool enabled() {
  return eventEnabled(indexOf<Id>());
}

template <std::uint16_t Id, typename... A>
void write(A... args) {
  static_assert(matchesTemplate<Id, A...>(), "arguments do not match the event's template");
  constexpr std::size_t index = indexOf<Id>();
  if (!eventEnabled(index)) return;
  Payload p;
  (p.add(args), ...);
  writeEvent(index, p.data(), p.size());
}

template <std::uint16_t StartId, std::uint16_t EndId, typename... A>
void writeStartEnd(bool start, A... args) {
  if (start)
    write<StartId>(args...);
  else
    write<EndId>(args...);
}

// Process-wide state of the provider. Atomics with relaxed order cost what
// plain variables would and keep unsynchronised hosts free of data races.
std::atomic<void (*)()> g_classListCallback{nullptr};
std::atomic<void (*)()> g_pendingClassListCallback{nullptr};
std::atomic<void (*)()> g_regenStartReporter{nullptr};
std::atomic<void (*)()> g_regenEndReporter{nullptr};
std::atomic<bool> g_namedDocumentOpened{false};

void onProviderEnabled() {
  g_pendingClassListCallback.store(g_classListCallback.load(std::memory_order_relaxed),
                                   std::memory_order_relaxed);
}

// Runs the pending class-list callback once per enabling, before the first
// class event written after it.
template <std::uint16_t StartId, std::uint16_t EndId, typename... A>
void writeClassEvent(bool start, A... args) {
  pollSystemEnabling();
  if (!enabled<StartId>()) return;
  if (auto cb = g_pendingClassListCallback.exchange(nullptr, std::memory_order_relaxed)) cb();
  writeStartEnd<StartId, EndId>(start, args...);
}

// Copies the payload, escaping control characters as "\x<hex>,". Lengths
// count UTF-16 units, as the event carries them; a character or escape that
// would overflow the buffer ends the text.
std::wstring cleanGenericPayload(const wchar_t* payload) {
  constexpr std::size_t kMaxInput = 1024, kMaxOutput = 2047;
  std::wstring out;
  std::size_t read = 0, written = 0;
  for (const wchar_t* c = payload; *c; ++c) {
    std::size_t units = static_cast<std::uint32_t>(*c) > 0xFFFF ? 2 : 1;
    if (read + units > kMaxInput) break;
    read += units;
    if (static_cast<std::uint32_t>(*c) > 31) {
      if (written + units > kMaxOutput) break;
      out.push_back(*c);
      written += units;
    } else {
      wchar_t esc[8];
      int n = std::swprintf(esc, 8, L"\\x%x,", static_cast<unsigned>(*c));
      if (written + n > kMaxOutput) break;
      out.append(esc, n);
      written += n;
    }
  }
  return out;
}

// Registration when the module loads.
const bool g_registered = (registerProvider(&onProviderEnabled), true);

}  // namespace
}  // namespace Halvex::Tessaran::PAL::detail

using namespace Halvex::Tessaran::PAL::detail;

void PerfLog_WriteReadMdlEvent(const wchar_t* path, bool start) {
  writeStartEnd<1, 2>(start, Str{path});
}
void PerfLog_WriteKvApAppInitEvent(bool start) {
  writeStartEnd<3, 4>(start);
}
void PerfLog_WritePyraAppInitInstanceEvent(bool start) {
  writeStartEnd<5, 6>(start);
}

void PerfLog_WriteObjectRecordInEvent(const KvRxClass* cls, bool start) {
  writeClassEvent<7, 8>(start, Ptr{cls});
}
void PerfLog_WriteKvRxClassLifetimeEvent(const KvRxClass* cls, const wchar_t* name, bool start) {
  writeClassEvent<37, 38>(start, Ptr{cls}, Str{name});
}
void PerfLog_WriteKvGiDrawableWorldDrawEvent(const KvRxClass* cls, bool start) {
  writeClassEvent<90, 91>(start, Ptr{cls});
}
void PerfLog_WriteKvGiDrawableViewportDrawEvent(const KvRxClass* cls, bool start) {
  writeClassEvent<9, 10>(start, Ptr{cls});
}

void PerfLog_WriteLoadModuleEvent(const wchar_t* name, bool start) {
  writeStartEnd<11, 12>(start, Str{name});
}

void PerfLog_WriteOpenDocumentEvent(const wchar_t* path, bool start) {
  if (start && path && *path) g_namedDocumentOpened.store(true, std::memory_order_relaxed);
  writeStartEnd<13, 14>(start, Str{path});
}

void PerfLog_WriteStartCommandEvent(const wchar_t* command) {
  write<15>(Str{command});
}
void PerfLog_WriteEndCommandEvent(const wchar_t* command) {
  write<16>(Str{command});
}
void PerfLog_WriteCommandFailedEvent(const wchar_t* command) {
  write<203>(Str{command});
}
void PerfLog_WriteCommandCancelledEvent(const wchar_t* command) {
  write<202>(Str{command});
}

void PerfLog_WriteInvokeCommandEvent(const wchar_t* parameters, int ilk) {
  write<200>(Str{parameters}, U32{static_cast<std::uint32_t>(ilk)});
}
void PerfLog_WriteRetrieveCommandTokenEvent(int restype, const wchar_t* token) {
  write<201>(U32Hex{static_cast<std::uint32_t>(restype)}, Str{token});
}
void PerfLog_WriteSetLispContextStateEvent(void* context, unsigned int state) {
  write<204>(Ptr{context}, U32{state});
}
void PerfLog_WriteLispContextStateEvent(void* context, bool created) {
  if (created)
    write<222>(Ptr{context});
  else
    write<223>(Ptr{context});
}
void PerfLog_WriteInvokeLispEvent(const wchar_t* name, const wchar_t* expression) {
  write<205>(Str{name}, Str{expression});
}

void PerfLog_WriteBindToCLREvent(bool start) {
  writeStartEnd<17, 18>(start);
}
void PerfLog_WriteInitFontCacheEvent(bool start) {
  writeStartEnd<19, 20>(start);
}
void PerfLog_WriteHxApplicationFrameCreateInstanceEvent(bool start) {
  writeStartEnd<23, 24>(start);
}
void PerfLog_WriteHxApplicationFrameInitializeEvent(bool start) {
  writeStartEnd<21, 22>(start);
}
void PerfLog_WriteBolLifetimeEvent(bool start) {
  writeStartEnd<46, 47>(start);
}
void PerfLog_WriteBolNotifyEvent(bool start) {
  writeStartEnd<48, 49>(start);
}
void PerfLog_WriteCommandThroatEvent(bool start) {
  writeStartEnd<212, 215>(start);
}
void PerfLog_WriteMessageLoopEvent(bool start) {
  writeStartEnd<216, 217>(start);
}

void PerfLog_WriteLoadResourceEvent(const wchar_t* name, bool start) {
  writeStartEnd<33, 34>(start, Str{name});
}
void PerfLog_WriteSysvarListEntryEvent(const wchar_t* data1, const wchar_t* data2) {
  write<39>(Str{data1}, Str{data2});
}

void PerfLog_WriteDocLockEvent(const KvDbImpLock* lock, int mode, const wchar_t* command, bool force) {
  write<42>(Ptr{lock}, U32{static_cast<std::uint32_t>(mode)}, Str{command}, U8{force});
}
void PerfLog_WriteDocUnlockEvent(const KvDbImpLock* lock) {
  write<43>(Ptr{lock});
}
void PerfLog_WriteDocLockErrorEvent(const KvDbImpLock* lock, int errorStatus) {
  write<44>(Ptr{lock}, U32{static_cast<std::uint32_t>(errorStatus)});
}
void PerfLog_WriteAssertEvent(const wchar_t* message) {
  write<45>(Str{message});
}

// Only the first full regeneration after a named document was opened is
// reported to the host.
void PerfLog_WriteTRegenAllEvent(bool start) {
  writeStartEnd<101, 102>(start);
  if (!g_namedDocumentOpened.load(std::memory_order_relaxed)) return;
  if (start) {
    if (auto f = g_regenStartReporter.load(std::memory_order_relaxed)) f();
  } else {
    if (auto f = g_regenEndReporter.load(std::memory_order_relaxed)) f();
    g_namedDocumentOpened.store(false, std::memory_order_relaxed);
  }
}

void PerfLog_WriteVmtMainThreadParameteredEvent(const wchar_t* data) {
  write<86>(Str{data});
}

void PerfLog_WriteStartDocEvent(const void* doc) {
  write<206>(Ptr{doc});
}
void PerfLog_WriteEndDocEvent(const void* doc) {
  write<207>(Ptr{doc});
}
void PerfLog_WriteDocActivatedEvent(const void* doc) {
  write<208>(Ptr{doc});
}
void PerfLog_WriteSetCurrentDocEvent(const void* doc) {
  write<210>(Ptr{doc});
}
void PerfLog_WriteOnActivateDocEvent(const void* doc) {
  write<211>(Ptr{doc});
}
void PerfLog_WriteActivateDoc(const void* doc, int flags, const wchar_t* result) {
  write<209>(Ptr{doc}, I32{flags}, Str{result});
}

void PerfLog_WriteStuffCommandThroatEvent(const wchar_t* token) {
  write<213>(Str{token});
}
void PerfLog_WriteCommandThroatSelectDeviceEvent(const wchar_t* result) {
  write<214>(Str{result});
}

void PerfLog_WritePointCloudLoadingStartEvent(void* query) {
  write<218>(Ptr{query});
}
void PerfLog_WritePointCloudLoadingCompletedEvent(void* query) {
  write<219>(Ptr{query});
}
void PerfLog_WritePointCloudThreadStartEvent(void* query) {
  write<220>(Ptr{query});
}
void PerfLog_WritePointCloudThreadStopEvent(void* query) {
  write<221>(Ptr{query});
}

void PerfLog_WriteDMDriverFPSEvent(const wchar_t* data1, const wchar_t* data2) {
  write<224>(Str{data1}, Str{data2});
}

void PerfLog_WriteGenericEvent(const wchar_t* kind, const wchar_t* payload) {
  if (!enabled<225>()) return;
  std::wstring cleaned = cleanGenericPayload(payload ? payload : L"");
  write<225>(Str{kind}, Str{cleaned.c_str()});
}

bool PerfLog_IsInvokeCommandEventEnabled() {
  return enabled<200>();
}
bool PerfLog_IsInvokeLispEventEnabled() {
  return enabled<205>();
}
bool PerfLog_IsSysvarListEventEnabled() {
  return enabled<39>();
}
bool PerfLog_IsVmtMainThreadEventEnabled() {
  return enabled<86>();
}
bool PerfLog_IsStuffCommandThroatEventEnabled() {
  return enabled<213>();
}
bool PerfLog_IsGenericEventEnabled() {
  return enabled<225>();
}
bool PerfLog_IsDMDriverFPSEventEnabled() {
  return enabled<224>();
}
bool PerfLog_IsPointCloudEventEnabled() {
  return enabled<218>() || enabled<219>() || enabled<220>() || enabled<221>();
}

void PerfLog_RegisterKvRxClassListCallback(void (*callback)()) {
  pollSystemEnabling();
  if (enabled<37>()) return;
  g_classListCallback.store(callback, std::memory_order_relaxed);
  g_pendingClassListCallback.store(callback, std::memory_order_relaxed);
}

void PerfLogHelper_SetTelemetryRegenStartReporterCallback(void (*callback)()) {
  g_regenStartReporter.store(callback, std::memory_order_relaxed);
}
void PerfLogHelper_SetTelemetryRegenEndReporterCallback(void (*callback)()) {
  g_regenEndReporter.store(callback, std::memory_order_relaxed);
}
