// The PerfLog_* writers, queries and callbacks, observed through in-process
// sessions.
#include "pal/perf_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

#include "instrumentation/event_provider.h"
#include "instrumentation/session_recorder.h"
#include "support/child_process.h"

namespace {

using kvpal::test::cat;
using kvpal::test::le;
using kvpal::test::Recorded;
using kvpal::test::SessionRecorder;
using kvpal::test::utf16z;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t C = 0x8000000000000000ull;  // the channel's keyword bit

const KvRxClass* const kClass = reinterpret_cast<const KvRxClass*>(0x1122334455667788ull);
const KvDbImpLock* const kLock = reinterpret_cast<const KvDbImpLock*>(0x00007f0012345678ull);
void* const kPtr = reinterpret_cast<void*>(0xdeadbeefcafef00dull);

Bytes s(std::u16string_view text) {
  return utf16z(text);
}
Bytes p(const void* v) {
  return le(reinterpret_cast<std::uintptr_t>(v), 8);
}
Bytes u32(std::uint32_t v) {
  return le(v, 4);
}

struct WriterCase {
  const char* what;
  std::function<void()> write;
  std::uint16_t id, task;
  std::uint8_t opcode, level;
  std::uint64_t keywords;
  Bytes payload;
  std::uint8_t channel = 16;
};

// Descriptors and payloads as the provider defines them.
const std::vector<WriterCase>& writerCases() {
  static const std::vector<WriterCase> cases = {
      {"ReadMdl start", [] { PerfLog_WriteReadMdlEvent(L"a.dwg", true); }, 1, 1, 10, 17, C, s(u"a.dwg")},
      {"ReadMdl end", [] { PerfLog_WriteReadMdlEvent(L"a.dwg", false); }, 2, 1, 11, 17, C, s(u"a.dwg")},
      {"ReadMdl non-BMP path", [] { PerfLog_WriteReadMdlEvent(L"d\u00e9\U0001F600", true); }, 1, 1, 10, 17, C,
       s(u"d\u00e9\U0001F600")},
      {"KvApAppInit start", [] { PerfLog_WriteKvApAppInitEvent(true); }, 3, 2, 10, 17, C | 1, {}},
      {"KvApAppInit end", [] { PerfLog_WriteKvApAppInitEvent(false); }, 4, 2, 11, 17, C | 1, {}},
      {"PyraAppInitInstance start",
       [] { PerfLog_WritePyraAppInitInstanceEvent(true); },
       5,
       3,
       10,
       17,
       C | 1,
       {}},
      {"PyraAppInitInstance end",
       [] { PerfLog_WritePyraAppInitInstanceEvent(false); },
       6,
       3,
       11,
       17,
       C | 1,
       {}},
      {"ObjectRecordIn start", [] { PerfLog_WriteObjectRecordInEvent(kClass, true); }, 7, 4, 10, 18, C,
       p(kClass)},
      {"ObjectRecordIn end", [] { PerfLog_WriteObjectRecordInEvent(kClass, false); }, 8, 4, 11, 18, C,
       p(kClass)},
      {"ViewportDraw start", [] { PerfLog_WriteKvGiDrawableViewportDrawEvent(kClass, true); }, 9, 5, 10, 18,
       C | 8, p(kClass)},
      {"ViewportDraw end", [] { PerfLog_WriteKvGiDrawableViewportDrawEvent(kClass, false); }, 10, 5, 11, 18,
       C | 8, p(kClass)},
      {"LoadModule start", [] { PerfLog_WriteLoadModuleEvent(L"m.so", true); }, 11, 6, 10, 17, C | 1,
       s(u"m.so")},
      {"LoadModule end", [] { PerfLog_WriteLoadModuleEvent(L"m.so", false); }, 12, 6, 11, 17, C | 1,
       s(u"m.so")},
      {"OpenDocument start", [] { PerfLog_WriteOpenDocumentEvent(L"/d/x.dwg", true); }, 13, 7, 10, 16, C | 3,
       s(u"/d/x.dwg")},
      {"OpenDocument end", [] { PerfLog_WriteOpenDocumentEvent(L"", false); }, 14, 7, 11, 16, C | 3, s(u"")},
      {"StartCommand", [] { PerfLog_WriteStartCommandEvent(L"LINE"); }, 15, 8, 10, 16, C | 3, s(u"LINE")},
      {"StartCommand null", [] { PerfLog_WriteStartCommandEvent(nullptr); }, 15, 8, 10, 16, C | 3, s(u"")},
      {"EndCommand: no channel", [] { PerfLog_WriteEndCommandEvent(L"LINE"); }, 16, 8, 11, 16, 3, s(u"LINE"),
       0},
      {"BindToCLR start", [] { PerfLog_WriteBindToCLREvent(true); }, 17, 9, 10, 17, C | 1, {}},
      {"BindToCLR end", [] { PerfLog_WriteBindToCLREvent(false); }, 18, 9, 11, 17, C | 1, {}},
      {"InitFontCache start", [] { PerfLog_WriteInitFontCacheEvent(true); }, 19, 10, 10, 17, C | 1, {}},
      {"InitFontCache end", [] { PerfLog_WriteInitFontCacheEvent(false); }, 20, 10, 11, 17, C | 1, {}},
      {"FrameInitialize start",
       [] { PerfLog_WriteHxApplicationFrameInitializeEvent(true); },
       21,
       11,
       10,
       17,
       C | 1,
       {}},
      {"FrameInitialize end",
       [] { PerfLog_WriteHxApplicationFrameInitializeEvent(false); },
       22,
       11,
       11,
       17,
       C | 1,
       {}},
      {"FrameCreateInstance start",
       [] { PerfLog_WriteHxApplicationFrameCreateInstanceEvent(true); },
       23,
       12,
       10,
       17,
       C | 1,
       {}},
      {"FrameCreateInstance end",
       [] { PerfLog_WriteHxApplicationFrameCreateInstanceEvent(false); },
       24,
       12,
       11,
       17,
       C | 1,
       {}},
      {"LoadResource start", [] { PerfLog_WriteLoadResourceEvent(L"r", true); }, 33, 17, 10, 18, C, s(u"r")},
      {"LoadResource end", [] { PerfLog_WriteLoadResourceEvent(L"r", false); }, 34, 17, 11, 18, C, s(u"r")},
      {"ClassLifetime start", [] { PerfLog_WriteKvRxClassLifetimeEvent(kClass, L"AcDbLine", true); }, 37, 19,
       10, 18, C | 8, cat({p(kClass), s(u"AcDbLine")})},
      {"ClassLifetime end", [] { PerfLog_WriteKvRxClassLifetimeEvent(kClass, L"AcDbLine", false); }, 38, 19,
       11, 18, C | 8, cat({p(kClass), s(u"AcDbLine")})},
      {"SysvarListEntry", [] { PerfLog_WriteSysvarListEntryEvent(L"OSMODE", L"35"); }, 39, 20, 12, 18, C,
       cat({s(u"OSMODE"), s(u"35")})},
      {"DocLock", [] { PerfLog_WriteDocLockEvent(kLock, 4, L"MOVE", true); }, 42, 22, 15, 17, C | 0x82,
       cat({p(kLock), u32(4), s(u"MOVE"), {1}})},
      {"DocLock not forced", [] { PerfLog_WriteDocLockEvent(kLock, 32, L"", false); }, 42, 22, 15, 17,
       C | 0x82, cat({p(kLock), u32(32), s(u""), {0}})},
      {"DocUnlock", [] { PerfLog_WriteDocUnlockEvent(kLock); }, 43, 22, 16, 17, C | 0x82, p(kLock)},
      {"DocLockError", [] { PerfLog_WriteDocLockErrorEvent(kLock, -5); }, 44, 22, 12, 17, C | 2,
       cat({p(kLock), u32(0xFFFFFFFBu)})},
      {"Assert", [] { PerfLog_WriteAssertEvent(L"x > 0"); }, 45, 23, 12, 2, C | 3, s(u"x > 0")},
      {"BolLifetime start", [] { PerfLog_WriteBolLifetimeEvent(true); }, 46, 24, 10, 17, C, {}},
      {"BolLifetime end", [] { PerfLog_WriteBolLifetimeEvent(false); }, 47, 24, 11, 17, C, {}},
      {"BolNotify start", [] { PerfLog_WriteBolNotifyEvent(true); }, 48, 25, 10, 17, C, {}},
      {"BolNotify end", [] { PerfLog_WriteBolNotifyEvent(false); }, 49, 25, 11, 17, C, {}},
      {"VmtMainThread", [] { PerfLog_WriteVmtMainThreadParameteredEvent(L"v"); }, 86, 43, 30, 18, C | 8,
       s(u"v")},
      {"WorldDraw start", [] { PerfLog_WriteKvGiDrawableWorldDrawEvent(kClass, true); }, 90, 47, 10, 18,
       C | 8, p(kClass)},
      {"WorldDraw end", [] { PerfLog_WriteKvGiDrawableWorldDrawEvent(kClass, false); }, 91, 47, 11, 18, C | 8,
       p(kClass)},
      {"TRegenAll start", [] { PerfLog_WriteTRegenAllEvent(true); }, 101, 53, 10, 18, C | 8, {}},
      {"TRegenAll end", [] { PerfLog_WriteTRegenAllEvent(false); }, 102, 53, 11, 18, C | 8, {}},
      {"InvokeCommand", [] { PerfLog_WriteInvokeCommandEvent(L"_LINE 0,0", 2); }, 200, 8, 23, 18, C | 2,
       cat({s(u"_LINE 0,0"), u32(2)})},
      {"RetrieveCommandToken", [] { PerfLog_WriteRetrieveCommandTokenEvent(0x1388, L"tok"); }, 201, 8, 24, 18,
       C | 2, cat({u32(0x1388), s(u"tok")})},
      {"CommandCancelled", [] { PerfLog_WriteCommandCancelledEvent(L"ARC"); }, 202, 8, 25, 16, C | 2,
       s(u"ARC")},
      {"CommandFailed", [] { PerfLog_WriteCommandFailedEvent(L"ARC"); }, 203, 8, 42, 16, C | 2, s(u"ARC")},
      {"SetLispContextState", [] { PerfLog_WriteSetLispContextStateEvent(kPtr, 8); }, 204, 61, 43, 19, C | 6,
       cat({p(kPtr), u32(8)})},
      {"InvokeLisp", [] { PerfLog_WriteInvokeLispEvent(L"f", L"(+ 1 2)"); }, 205, 61, 44, 18, C | 6,
       cat({s(u"f"), s(u"(+ 1 2)")})},
      {"StartDoc", [] { PerfLog_WriteStartDocEvent(kPtr); }, 206, 22, 10, 18, C | 0x80, p(kPtr)},
      {"EndDoc", [] { PerfLog_WriteEndDocEvent(kPtr); }, 207, 22, 11, 18, C | 0x80, p(kPtr)},
      {"DocActivated", [] { PerfLog_WriteDocActivatedEvent(kPtr); }, 208, 22, 45, 18, C | 0x80, p(kPtr)},
      {"ActivateDoc", [] { PerfLog_WriteActivateDoc(kPtr, -1, L"ok"); }, 209, 22, 46, 18, C | 0x80,
       cat({p(kPtr), u32(0xFFFFFFFFu), s(u"ok")})},
      {"SetCurrentDoc", [] { PerfLog_WriteSetCurrentDocEvent(kPtr); }, 210, 22, 47, 18, C | 0x80, p(kPtr)},
      {"OnActivateDoc", [] { PerfLog_WriteOnActivateDocEvent(kPtr); }, 211, 22, 48, 18, C | 0x80, p(kPtr)},
      {"CommandThroat start", [] { PerfLog_WriteCommandThroatEvent(true); }, 212, 59, 10, 18, C | 0x82, {}},
      {"StuffCommandThroat", [] { PerfLog_WriteStuffCommandThroatEvent(L"t"); }, 213, 59, 40, 18, C | 0x82,
       s(u"t")},
      {"CommandThroatSelectDevice", [] { PerfLog_WriteCommandThroatSelectDeviceEvent(L"r"); }, 214, 59, 39,
       18, C | 0x82, s(u"r")},
      {"CommandThroat end", [] { PerfLog_WriteCommandThroatEvent(false); }, 215, 59, 11, 18, C | 0x82, {}},
      {"MessageLoop start", [] { PerfLog_WriteMessageLoopEvent(true); }, 216, 60, 10, 19, C | 0x82, {}},
      {"MessageLoop end", [] { PerfLog_WriteMessageLoopEvent(false); }, 217, 60, 11, 19, C | 0x82, {}},
      {"PointCloudLoadingStart", [] { PerfLog_WritePointCloudLoadingStartEvent(kPtr); }, 218, 62, 10, 19,
       C | 0x200, p(kPtr)},
      {"PointCloudLoadingCompleted", [] { PerfLog_WritePointCloudLoadingCompletedEvent(kPtr); }, 219, 62, 11,
       19, C | 0x200, p(kPtr)},
      {"PointCloudThreadStart", [] { PerfLog_WritePointCloudThreadStartEvent(kPtr); }, 220, 63, 10, 19,
       C | 0x400, p(kPtr)},
      {"PointCloudThreadStop", [] { PerfLog_WritePointCloudThreadStopEvent(kPtr); }, 221, 63, 11, 19,
       C | 0x400, p(kPtr)},
      {"LispContext created", [] { PerfLog_WriteLispContextStateEvent(kPtr, true); }, 222, 61, 18, 19, C | 6,
       p(kPtr)},
      {"LispContext destroyed", [] { PerfLog_WriteLispContextStateEvent(kPtr, false); }, 223, 61, 19, 19,
       C | 6, p(kPtr)},
      {"DMDriverFPS", [] { PerfLog_WriteDMDriverFPSEvent(L"60", L"gl"); }, 224, 65, 12, 18, C | 8,
       cat({s(u"60"), s(u"gl")})},
      {"Generic", [] { PerfLog_WriteGenericEvent(L"k", L"a\tb"); }, 225, 64, 49, 19, C | 0x800,
       cat({s(u"k"), s(u"a\\x9,b")})},
  };
  return cases;
}

class PerfLogTest : public ::testing::Test {
 protected:
  // Leaves the process-wide callbacks and the named-document flag as at load.
  void SetUp() override { resetProviderState(); }
  void TearDown() override { resetProviderState(); }
  static void resetProviderState() {
    PerfLog_RegisterKvRxClassListCallback(nullptr);
    PerfLogHelper_SetTelemetryRegenStartReporterCallback(nullptr);
    PerfLogHelper_SetTelemetryRegenEndReporterCallback(nullptr);
    PerfLog_WriteTRegenAllEvent(false);
  }
};

TEST_F(PerfLogTest, EveryWriterSendsItsDescriptorAndPayload) {
  SessionRecorder session;
  for (const auto& c : writerCases()) {
    SCOPED_TRACE(c.what);
    c.write();
    auto got = session.take();
    ASSERT_EQ(got.size(), 1u);
    const Recorded& r = got[0];
    EXPECT_EQ(r.id, c.id);
    EXPECT_EQ(r.version, 0);
    EXPECT_EQ(r.channel, c.channel);
    EXPECT_EQ(r.task, c.task);
    EXPECT_EQ(r.opcode, c.opcode);
    EXPECT_EQ(r.level, c.level);
    EXPECT_EQ(r.keywords, c.keywords);
    EXPECT_EQ(r.payload, c.payload);
  }
}

TEST_F(PerfLogTest, WritersWithoutConsumerSendNothing) {
  for (const auto& c : writerCases()) c.write();
  SessionRecorder late;
  EXPECT_TRUE(late.take().empty());
}

TEST_F(PerfLogTest, SessionsFilterByLevelAndKeywords) {
  struct Case {
    const char* what;
    std::uint8_t level;
    std::uint64_t keywords;
    std::vector<std::uint16_t> admitted;  // of the events 1, 15, 16, 45, 225
  };
  const Case cases[] = {
      {"everything", 0, 0, {1, 15, 16, 45, 225}},
      {"up to minimal", 16, 0, {15, 16, 45}},
      {"errors only", 2, 0, {45}},
      {"diagnostic", 19, 0, {1, 15, 16, 45, 225}},
      {"Generic keyword", 0, 0x800, {225}},
      {"channel bit", 0, C, {1, 15, 45, 225}},
      {"Commands up to normal", 17, 0x2, {15, 16, 45}},
      {"keyword nobody carries", 0, 0x4000, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SessionRecorder session(c.level, c.keywords);
    PerfLog_WriteReadMdlEvent(L"f", true);
    PerfLog_WriteStartCommandEvent(L"c");
    PerfLog_WriteEndCommandEvent(L"c");
    PerfLog_WriteAssertEvent(L"m");
    PerfLog_WriteGenericEvent(L"k", L"p");
    std::vector<std::uint16_t> ids;
    for (const auto& r : session.take()) ids.push_back(r.id);
    EXPECT_EQ(ids, c.admitted);
  }
}

TEST_F(PerfLogTest, EachSessionGetsWhatItAdmits) {
  SessionRecorder commands(0, 0x2), errors(2, 0);
  PerfLog_WriteStartCommandEvent(L"c");
  PerfLog_WriteAssertEvent(L"m");
  EXPECT_EQ(commands.take().size(), 2u);
  auto e = errors.take();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].id, 45);
}

TEST_F(PerfLogTest, EnabledQueriesFollowTheSessions) {
  struct Case {
    const char* what;
    bool (*query)();
    std::uint8_t level;  // a session admitting the queried event but little else
    std::uint64_t keywords;
  };
  const Case cases[] = {
      {"InvokeCommand", PerfLog_IsInvokeCommandEventEnabled, 18, 0x2},
      {"InvokeLisp", PerfLog_IsInvokeLispEventEnabled, 18, 0x4},
      {"SysvarList", PerfLog_IsSysvarListEventEnabled, 18, C},
      {"VmtMainThread", PerfLog_IsVmtMainThreadEventEnabled, 18, 0x8},
      {"StuffCommandThroat", PerfLog_IsStuffCommandThroatEventEnabled, 18, 0x80},
      {"Generic", PerfLog_IsGenericEventEnabled, 19, 0x800},
      {"DMDriverFPS", PerfLog_IsDMDriverFPSEventEnabled, 18, 0x8},
      {"PointCloud loading", PerfLog_IsPointCloudEventEnabled, 19, 0x200},
      {"PointCloud threading", PerfLog_IsPointCloudEventEnabled, 19, 0x400},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(c.query());
    {
      SessionRecorder tooLowLevel(16, c.keywords);
      EXPECT_FALSE(c.query());
    }
    {
      SessionRecorder otherKeyword(0, 0x40);
      EXPECT_FALSE(c.query());
    }
    {
      SessionRecorder admitting(c.level, c.keywords);
      EXPECT_TRUE(c.query());
    }
    EXPECT_FALSE(c.query());
  }
}

TEST_F(PerfLogTest, GenericPayloadIsCleanedWithinItsBuffer) {
  struct Case {
    const char* what;
    std::wstring payload;
    std::u16string cleaned;
  };
  const Case cases[] = {
      {"tab", L"a\tb", u"a\\x9,b"},
      {"line feed and NUL-adjacent codes", L"\n\x1f\x01", u"\\xa,\\x1f,\\x1,"},
      {"space and DEL are kept", L" \x7f~", u" \x7f~"},
      {"reads at most 1024 units", std::wstring(1100, L'a'), std::u16string(1024, u'a')},
      {"non-BMP counts two units", std::wstring(1023, L'a') + L"\U0001F600", std::u16string(1023, u'a')},
      {"stops before an escape that would not fit", L"aa" + std::wstring(410, L'\x1f'),
       [] {
         std::u16string s = u"aa";
         for (int i = 0; i < 409; ++i) s += u"\\x1f,";
         return s;  // 2047 units
       }()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SessionRecorder session;
    PerfLog_WriteGenericEvent(L"kind", c.payload.c_str());
    auto got = session.take();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].payload, cat({s(u"kind"), s(c.cleaned)}));
  }
}

std::atomic<int> g_classListCalls{0};
void countClassList() {
  ++g_classListCalls;
}
void otherClassList() {
  g_classListCalls += 100;
}

TEST_F(PerfLogTest, ClassListCallbackRunsOncePerEnabling) {
  g_classListCalls = 0;
  PerfLog_RegisterKvRxClassListCallback(countClassList);
  PerfLog_WriteKvRxClassLifetimeEvent(kClass, L"c", true);
  EXPECT_EQ(g_classListCalls, 0) << "no consumer: class writers do nothing";
  {
    SessionRecorder session;
    EXPECT_EQ(g_classListCalls, 0) << "runs at the first class event, not at the enabling";
    PerfLog_WriteObjectRecordInEvent(kClass, true);
    EXPECT_EQ(g_classListCalls, 1);
    PerfLog_WriteKvGiDrawableWorldDrawEvent(kClass, true);
    PerfLog_WriteKvGiDrawableViewportDrawEvent(kClass, false);
    EXPECT_EQ(g_classListCalls, 1);
    auto got = session.take();
    EXPECT_EQ(got.size(), 3u);
  }
  {
    SessionRecorder again;
    PerfLog_WriteKvRxClassLifetimeEvent(kClass, L"c", false);
    EXPECT_EQ(g_classListCalls, 2) << "re-armed by the new enabling";
  }
}

TEST_F(PerfLogTest, ClassListCallbackWaitsForAnEnabledStartEvent) {
  g_classListCalls = 0;
  PerfLog_RegisterKvRxClassListCallback(countClassList);
  SessionRecorder docOnly(0, 0x80);  // no class event carries the Doc keyword
  PerfLog_WriteObjectRecordInEvent(kClass, true);
  PerfLog_WriteKvGiDrawableViewportDrawEvent(kClass, true);
  EXPECT_EQ(g_classListCalls, 0);
  SessionRecorder gs(0, 0x8);
  PerfLog_WriteObjectRecordInEvent(kClass, true);  // event 7 has no GsPerformance keyword
  EXPECT_EQ(g_classListCalls, 0);
  PerfLog_WriteKvGiDrawableViewportDrawEvent(kClass, true);
  EXPECT_EQ(g_classListCalls, 1);
}

TEST_F(PerfLogTest, RegisteringWhileClassLifetimeIsEnabledHasNoEffect) {
  g_classListCalls = 0;
  PerfLog_RegisterKvRxClassListCallback(countClassList);
  {
    SessionRecorder session;
    PerfLog_RegisterKvRxClassListCallback(otherClassList);
    PerfLog_WriteObjectRecordInEvent(kClass, true);
    EXPECT_EQ(g_classListCalls, 1);
  }
  SessionRecorder next;
  PerfLog_WriteObjectRecordInEvent(kClass, true);
  EXPECT_EQ(g_classListCalls, 2) << "the first callback stays registered";
}

int g_regenStarts = 0, g_regenEnds = 0;

TEST_F(PerfLogTest, OnlyTheFirstRegenerationAfterANamedDocumentIsReported) {
  g_regenStarts = g_regenEnds = 0;
  PerfLogHelper_SetTelemetryRegenStartReporterCallback([] { ++g_regenStarts; });
  PerfLogHelper_SetTelemetryRegenEndReporterCallback([] { ++g_regenEnds; });
  struct Step {
    const char* what;
    std::function<void()> act;
    int starts, ends;  // totals after the step
  };
  const Step steps[] = {
      {"regeneration before any document",
       [] {
         PerfLog_WriteTRegenAllEvent(true);
         PerfLog_WriteTRegenAllEvent(false);
       },
       0, 0},
      {"unnamed document", [] { PerfLog_WriteOpenDocumentEvent(L"", true); }, 0, 0},
      {"regeneration after it",
       [] {
         PerfLog_WriteTRegenAllEvent(true);
         PerfLog_WriteTRegenAllEvent(false);
       },
       0, 0},
      {"named document closing", [] { PerfLog_WriteOpenDocumentEvent(L"/d/a.dwg", false); }, 0, 0},
      {"regeneration after the End", [] { PerfLog_WriteTRegenAllEvent(true); }, 0, 0},
      {"named document", [] { PerfLog_WriteOpenDocumentEvent(L"/d/a.dwg", true); }, 0, 0},
      {"its regeneration starts", [] { PerfLog_WriteTRegenAllEvent(true); }, 1, 0},
      {"and ends", [] { PerfLog_WriteTRegenAllEvent(false); }, 1, 1},
      {"the next regeneration",
       [] {
         PerfLog_WriteTRegenAllEvent(true);
         PerfLog_WriteTRegenAllEvent(false);
       },
       1, 1},
  };
  SessionRecorder session;
  for (const auto& st : steps) {
    SCOPED_TRACE(st.what);
    st.act();
    EXPECT_EQ(g_regenStarts, st.starts);
    EXPECT_EQ(g_regenEnds, st.ends);
  }
  // The events themselves are written whether or not a report follows.
  std::size_t regen = 0;
  for (const auto& r : session.take()) regen += (r.id == 101 || r.id == 102);
  EXPECT_EQ(regen, 9u);
}

TEST_F(PerfLogTest, EndWithoutReporterStillClearsTheFlag) {
  g_regenStarts = 0;
  PerfLog_WriteOpenDocumentEvent(L"/d/a.dwg", true);
  PerfLog_WriteTRegenAllEvent(false);  // no end reporter set
  PerfLogHelper_SetTelemetryRegenStartReporterCallback([] { ++g_regenStarts; });
  PerfLog_WriteTRegenAllEvent(true);
  EXPECT_EQ(g_regenStarts, 0);
}

TEST_F(PerfLogTest, ConcurrentWritersAndSessions) {
  constexpr int kThreads = 4, kPerThread = 2000;
  SessionRecorder steady(0, 0x2);
  std::atomic<bool> stop{false};
  std::thread churn([&] {
    // Sessions opening and closing while events are written must neither
    // lose the steady session's events nor touch a closed session.
    while (!stop) SessionRecorder transient;
  });
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t)
    writers.emplace_back([] {
      for (int i = 0; i < kPerThread; ++i) PerfLog_WriteStartCommandEvent(L"C");
    });
  for (auto& w : writers) w.join();
  stop = true;
  churn.join();
  EXPECT_EQ(steady.take().size(), static_cast<std::size_t>(kThreads * kPerThread));
}

TEST_F(PerfLogTest, EventsWrittenByACallbackReachNoSession) {
  std::vector<std::uint16_t> ids;
  Halvex::Tessaran::PAL::Trace::Session session(0, 0, [&](const auto& r) {
    ids.push_back(r.id);
    PerfLog_WriteAssertEvent(L"from the callback");
  });
  SessionRecorder other;
  PerfLog_WriteStartCommandEvent(L"c");
  EXPECT_EQ(ids, std::vector<std::uint16_t>{15});
  EXPECT_EQ(other.take().size(), 1u);
  PerfLog_WriteAssertEvent(L"after");  // the guard is released again
  EXPECT_EQ(ids, (std::vector<std::uint16_t>{15, 45}));
}

TEST_F(PerfLogTest, RecordsCarryTheWritersProcessAndThread) {
  using Halvex::Tessaran::PAL::Trace::EventRecord;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> ids;
  std::mutex lock;
  Halvex::Tessaran::PAL::Trace::Session session(0, 0, [&](const EventRecord& r) {
    std::lock_guard g(lock);
    ids.emplace_back(r.processId, r.threadId);
  });
  auto self = [] {
    return std::make_pair(static_cast<std::uint32_t>(getpid()), static_cast<std::uint32_t>(gettid()));
  };
  PerfLog_WriteAssertEvent(L"main");
  std::pair<std::uint32_t, std::uint32_t> other;
  std::thread([&] {
    other = self();
    PerfLog_WriteAssertEvent(L"thread");
  }).join();
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_EQ(ids[0], self());
  EXPECT_EQ(ids[1], other);

  // A forked child must not report its parent's cached ids.
  const kvpal::test::ChildOutcome child = kvpal::test::runInChild([&] {
    ids.clear();
    PerfLog_WriteAssertEvent(L"child");
    return ids.size() == 1 && ids[0] == self() ? 0 : 1;
  });
  EXPECT_EQ(child.exitCode, 0) << child.output;
}

}  // namespace

// LTTng does not call the process back when a session enables the
// tracepoint; flipping the state of the provider module's tracepoint stands
// in for the daemon.
namespace {

int* lttngTracepointState() {
  static int* const state = [] {
    namespace detail = Halvex::Tessaran::PAL::detail;
    const int* const off = detail::g_systemTraceState;
    setenv("KVPAL_TRACE_LTTNG", "1", 1);
    detail::loadSystemTracer();
    return detail::g_systemTraceState == off ? nullptr : const_cast<int*>(detail::g_systemTraceState);
  }();
  return state;
}

struct SimulatedLttngEnabling {
  SimulatedLttngEnabling() { *lttngTracepointState() = 1; }
  ~SimulatedLttngEnabling() { *lttngTracepointState() = 0; }
};

TEST_F(PerfLogTest, LttngEnablingRearmsTheClassListCallbackAndAnswersQueries) {
  ASSERT_NE(lttngTracepointState(), nullptr) << "the LTTng provider module did not load";
  g_classListCalls = 0;
  PerfLog_RegisterKvRxClassListCallback(countClassList);
  EXPECT_FALSE(PerfLog_IsInvokeLispEventEnabled());
  {
    SimulatedLttngEnabling lttng;
    EXPECT_TRUE(PerfLog_IsInvokeLispEventEnabled());
    EXPECT_TRUE(PerfLog_IsPointCloudEventEnabled());
    PerfLog_WriteObjectRecordInEvent(kClass, true);
    PerfLog_WriteObjectRecordInEvent(kClass, false);
    EXPECT_EQ(g_classListCalls, 1);
  }
  PerfLog_WriteObjectRecordInEvent(kClass, true);  // sees the disabling, writes nothing
  EXPECT_EQ(g_classListCalls, 1);
  {
    SimulatedLttngEnabling again;
    PerfLog_WriteKvGiDrawableWorldDrawEvent(kClass, true);
    EXPECT_EQ(g_classListCalls, 2);
  }
}

}  // namespace
