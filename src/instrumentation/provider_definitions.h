// The one definition of the "Halvex-Tessaran" event provider: levels,
// opcodes, keywords, tasks, value maps, payload templates and events. The
// writers take their descriptors from here and the event manifest is
// generated from it, so the two cannot drift apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace Halvex::Tessaran::PAL::detail::provider {

inline constexpr std::string_view kProviderName = "Halvex-Tessaran";
inline constexpr std::string_view kProviderGuid = "{F3708BDB-8A30-462E-8B55-FF855C81D610}";

inline constexpr std::string_view kChannelName = "Performance";
inline constexpr std::uint8_t kChannelValue = 16;
// Events on the channel also carry this bit in their keyword mask.
inline constexpr std::uint64_t kChannelKeyword = 0x8000000000000000ull;

struct Level {
  std::uint8_t value;
  std::string_view name;
  bool predefined;  // a system level ("Error"), referenced but not redefined by the manifest
};

inline constexpr Level kLevels[] = {
    {2, "win:Error", true}, {16, "minimal", false}, {17, "normal", false},
    {18, "detailed", false}, {19, "diagnostic", false},
};

struct Opcode {
  std::uint8_t value;
  std::string_view name;
};

inline constexpr Opcode kOpcodes[] = {
    {10, "Start"},         {11, "End"},           {12, "Info"},          {13, "SwitchIn"},
    {14, "SwitchOut"},     {15, "Lock"},          {16, "Unlock"},        {17, "Access"},
    {18, "CreateContext"}, {19, "DestroyContext"}, {23, "Invoke"},        {24, "RetrieveToken"},
    {25, "Cancelled"},     {30, "MainDomain"},    {39, "Processed"},     {40, "Queue"},
    {42, "Failed"},        {43, "SetContextState"}, {44, "InvokeLisp"},  {45, "Activated"},
    {46, "Activate"},      {47, "SetCurrent"},    {48, "OnActivate"},    {49, "Generic"},
};

enum : std::uint8_t {
  kOpStart = 10, kOpEnd = 11, kOpInfo = 12, kOpLock = 15, kOpUnlock = 16,
  kOpCreateContext = 18, kOpDestroyContext = 19, kOpInvoke = 23, kOpRetrieveToken = 24,
  kOpCancelled = 25, kOpMainDomain = 30, kOpProcessed = 39, kOpQueue = 40, kOpFailed = 42,
  kOpSetContextState = 43, kOpInvokeLisp = 44, kOpActivated = 45, kOpActivate = 46,
  kOpSetCurrent = 47, kOpOnActivate = 48, kOpGeneric = 49,
};

enum : std::uint8_t { kLvError = 2, kLvMinimal = 16, kLvNormal = 17, kLvDetailed = 18, kLvDiagnostic = 19 };

struct Keyword {
  std::uint64_t mask;
  std::string_view name;
};

inline constexpr Keyword kKeywords[] = {
    {0x1, "Startup"},   {0x2, "Commands"},          {0x4, "Lisp"},
    {0x8, "GsPerformance"}, {0x40, "Interactive"},  {0x80, "Doc"},
    {0x200, "PointCloudLoading"}, {0x400, "PointCloudThreading"}, {0x800, "Generic"},
};

enum : std::uint64_t {
  kKwStartup = 0x1, kKwCommands = 0x2, kKwLisp = 0x4, kKwGs = 0x8, kKwDoc = 0x80,
  kKwPcLoading = 0x200, kKwPcThreading = 0x400, kKwGeneric = 0x800,
};

struct Task {
  std::uint16_t value;
  std::string_view name;
  std::string_view guid;
};

inline constexpr Task kTasks[] = {
    {1, "KvDbDatabase-readMdlFile", "{4849BFE8-AC9C-4F9F-9D19-3F67B8F709C6}"},
    {2, "KvApApp-init", "{99E706E3-4D56-475C-96D5-B182DE10E8A7}"},
    {3, "CPyraApp-InitInstance", "{F0F6059D-1AF5-42CF-B3B0-D75C0F16DE81}"},
    {4, "KvDbImpObject-objectRecordIn", "{4A8AF77E-C006-4C9C-8C2F-15350FBCFF75}"},
    {5, "KvGiDrawable-viewportDraw", "{FD83569F-3E89-474A-BDCE-1B11D23E0C42}"},
    {6, "LoadModule", "{88762F01-F504-4BDB-B223-5D3392BB7089}"},
    {7, "KvApDocImpManager-OpenDocumentFile", "{AEC9FFEA-BE00-4E10-B322-74C4B6C225C2}"},
    {8, "Command", "{CF2D1FF2-F01C-4C6F-B841-7C62A5170278}"},
    {9, "kvdbImpBindToRuntime", "{3FF0BBCC-6B46-4995-8BBF-77D7F787DFD5}"},
    {10, "CFontInfo-Init", "{ADC8F5EE-59C1-44D5-8C33-5BF216B258F6}"},
    {11, "HxApplicationFrame-Initialize", "{58907335-3036-41D8-9B41-E795D4509B54}"},
    {12, "HxApplicationFrame-CreateInstance", "{C73485E0-1002-41A6-B929-3DBEC4F2780C}"},
    {13, "CustomizationSection-ConstructorGuts", "{B395F556-232B-431B-BDE0-2BC0B512B81D}"},
    {14, "QuickAccessToolbarService-LoadQuickAccessToolbar", "{A1C1A62F-9805-4543-A87F-976351A61D5E}"},
    {15, "KvSignalhubConn-LoadSignalhub", "{5C84177E-8587-4648-AE36-88EC576CD8AE}"},
    {16, "RibbonTabSwitch", "{34ADE0AB-E4C2-4EC8-BEEA-F19F1C636416}"},
    {17, "LoadResource", "{14AAE96F-A843-43A5-B5B4-08C636FBAAF7}"},
    {19, "KvRxClassLifetime", "{83A88B54-9E79-4F6F-A183-C2F6E7B43EFB}"},
    {20, "SysvarList", "{E81E8E5B-F5E0-412A-9A09-BA113D997913}"},
    {22, "Doc", "{21E9418A-F09B-45C8-9B91-C9870A0BD395}"},
    {23, "Assert", "{A22B0DD1-B6B6-4326-9345-D318114163CF}"},
    {24, "BolLifetime", "{2D7687B5-70A9-43E3-A803-CB0C99DDC700}"},
    {25, "BolNotify", "{116AFD68-F16F-4B24-BBCB-340FA76B47BA}"},
    {41, "DeviceUpdate", "{3091E000-161E-4913-99E6-519F1D37F214}"},
    {43, "VmtMainDomain", "{A57F935A-C8FD-4294-B0FD-3AACCEE91865}"},
    {47, "KvGiDrawable-worldDraw", "{C8D21D82-E7E3-4C0D-B3E2-AE4A6492D9B3}"},
    {53, "Tregenall", "{DFAA880E-7297-4457-9D2F-43A0EBAF9681}"},
    {59, "CommandThroat", "{F986C2BD-BD82-41B5-8770-661729DF78F2}"},
    {60, "MessageLoop", "{224E368F-C197-458F-9106-CD23F7CFF627}"},
    {61, "Lisp", "{6C706622-0F5F-4358-BA5C-023FF3384092}"},
    {62, "ProgressiveLoading", "{8991891E-99DA-4489-A9FB-11F79330CDCF}"},
    {63, "ProgressiveThreading", "{371B3F79-9F71-4055-A270-CF123492E343}"},
    {64, "Generic", "{BE817C2D-9583-4A11-939C-EA3ADA2AEDF7}"},
    {65, "DMDriverFPSTask", "{89BECC4B-1A8F-4BA0-81E4-586539CC5C37}"},
};

struct MapEntry {
  std::uint32_t value;
  std::string_view text;
};

struct ValueMap {
  std::string_view name;
  std::span<const MapEntry> entries;
};

inline constexpr MapEntry kDocLockModeEntries[] = {
    {0, "kNone"}, {1, "kAutoWrite"}, {2, "kNotLocked"}, {4, "kWrite"},
    {20, "kProtectedAutoWrite"}, {32, "kRead"}, {64, "kXWrite"},
};
inline constexpr MapEntry kLispContextStateEntries[] = {
    {1, "kKvVlNone"}, {2, "kKvVlFirst"}, {4, "kKvVlResuming"}, {8, "kKvVlPending"}, {16, "kKvVlDone"},
};
inline constexpr MapEntry kCommandIlkEntries[] = {
    {1, "Subroutine (kKvEdCmdS)"}, {2, "Coroutine (kKvEdCmdC)"},
};

inline constexpr ValueMap kMaps[] = {
    {"DocLockMode", kDocLockModeEntries},
    {"LispContextState", kLispContextStateEntries},
    {"CommandIlk", kCommandIlkEntries},
};

// Encoding in the event data: String is UTF-16 with its NUL, Pointer the
// 8-byte value, the integers 4 bytes, UInt8 one byte.
enum class FieldType : std::uint8_t { String, Pointer, Int32, UInt32, UInt32Hex, UInt8 };

struct Field {
  std::string_view name;
  FieldType type;
  std::string_view map;  // empty: shown as the plain value
};

struct Template {
  std::string_view tid;
  std::span<const Field> fields;
};

namespace fields {
using enum FieldType;
inline constexpr Field kData[] = {{"data", String, ""}};
inline constexpr Field kClassPointer[] = {{"KvRxClassPointer", Pointer, ""}};
inline constexpr Field kCommand[] = {{"Command", String, ""}};
inline constexpr Field kData1Data2[] = {{"data1", String, ""}, {"data2", String, ""}};
inline constexpr Field kClassLifetime[] = {{"KvRxClassPointer", Pointer, ""}, {"KvRxClassName", String, ""}};
inline constexpr Field kDocLock[] = {
    {"LockObject", Pointer, ""}, {"Mode", UInt32, "DocLockMode"}, {"Command", String, ""}, {"Force", UInt8, ""}};
inline constexpr Field kLock[] = {{"Lock", Pointer, ""}};
inline constexpr Field kDocLockError[] = {{"Lock", Pointer, ""}, {"ErrorStatus", UInt32, ""}};
inline constexpr Field kMessage[] = {{"Message", String, ""}};
inline constexpr Field kInvokeCommand[] = {{"Parameters", String, ""}, {"Ilk", UInt32, "CommandIlk"}};
inline constexpr Field kRetrieveToken[] = {{"Restype", UInt32Hex, ""}, {"Token", String, ""}};
inline constexpr Field kLispState[] = {{"ContextId", Pointer, ""}, {"State", UInt32, "LispContextState"}};
inline constexpr Field kInvokeLisp[] = {{"Name", String, ""}, {"Expression", String, ""}};
inline constexpr Field kDoc[] = {{"Doc", Pointer, ""}};
inline constexpr Field kActivateDoc[] = {{"Doc", Pointer, ""}, {"Flags", Int32, ""}, {"Result", String, ""}};
inline constexpr Field kToken[] = {{"Token", String, ""}};
inline constexpr Field kResult[] = {{"result", String, ""}};
inline constexpr Field kQuery[] = {{"Query", Pointer, ""}};
inline constexpr Field kContextId[] = {{"ContextId", Pointer, ""}};
inline constexpr Field kGeneric[] = {{"kind", String, ""}, {"payload", String, ""}};
// Defined for other modules' use; no event of this provider refers to them.
inline constexpr Field kInt[] = {{"data", Int32, ""}};
inline constexpr Field kPointer[] = {{"data", Pointer, ""}};
inline constexpr Field kPointerString[] = {{"data1", Pointer, ""}, {"data2", String, ""}};
inline constexpr Field kPointerInt[] = {{"data1", Pointer, ""}, {"data2", Int32, ""}};
}  // namespace fields

inline constexpr Template kTemplates[] = {
    {"T_Data", fields::kData},
    {"T_ClassPointer", fields::kClassPointer},
    {"T_Command", fields::kCommand},
    {"T_Data1Data2", fields::kData1Data2},
    {"T_ClassLifetime", fields::kClassLifetime},
    {"T_DocLock", fields::kDocLock},
    {"T_Lock", fields::kLock},
    {"T_DocLockError", fields::kDocLockError},
    {"T_Message", fields::kMessage},
    {"T_InvokeCommand", fields::kInvokeCommand},
    {"T_RetrieveToken", fields::kRetrieveToken},
    {"T_LispContextState", fields::kLispState},
    {"T_InvokeLisp", fields::kInvokeLisp},
    {"T_Doc", fields::kDoc},
    {"T_ActivateDoc", fields::kActivateDoc},
    {"T_Token", fields::kToken},
    {"T_Result", fields::kResult},
    {"T_Query", fields::kQuery},
    {"T_ContextId", fields::kContextId},
    {"T_Generic", fields::kGeneric},
    {"T_Int", fields::kInt},
    {"T_Pointer", fields::kPointer},
    {"T_PointerString", fields::kPointerString},
    {"T_PointerInt", fields::kPointerInt},
};

// Index into kTemplates; kNoTemplate for events without payload.
enum TemplateIndex : std::uint8_t {
  tData, tClassPointer, tCommand, tData1Data2, tClassLifetime, tDocLock, tLock, tDocLockError, tMessage,
  tInvokeCommand, tRetrieveToken, tLispContextState, tInvokeLisp, tDoc, tActivateDoc, tToken, tResult,
  tQuery, tContextId, tGeneric, tInt, tPointer, tPointerString, tPointerInt, kNoTemplate = 0xFF,
};

struct Event {
  std::uint16_t id;
  std::uint16_t task;
  std::uint8_t opcode;
  std::uint8_t level;
  std::uint64_t keywords;  // without the channel bit
  std::uint8_t tmpl;       // TemplateIndex
  bool onChannel;          // false only for the command End event

  constexpr std::uint8_t version() const { return 0; }
  constexpr std::uint8_t channel() const { return onChannel ? kChannelValue : 0; }
  constexpr std::uint64_t keywordMask() const { return keywords | (onChannel ? kChannelKeyword : 0); }
};

inline constexpr Event kEvents[] = {
    {1, 1, kOpStart, kLvNormal, 0, tData, true},
    {2, 1, kOpEnd, kLvNormal, 0, tData, true},
    {3, 2, kOpStart, kLvNormal, kKwStartup, kNoTemplate, true},
    {4, 2, kOpEnd, kLvNormal, kKwStartup, kNoTemplate, true},
    {5, 3, kOpStart, kLvNormal, kKwStartup, kNoTemplate, true},
    {6, 3, kOpEnd, kLvNormal, kKwStartup, kNoTemplate, true},
    {7, 4, kOpStart, kLvDetailed, 0, tClassPointer, true},
    {8, 4, kOpEnd, kLvDetailed, 0, tClassPointer, true},
    {9, 5, kOpStart, kLvDetailed, kKwGs, tClassPointer, true},
    {10, 5, kOpEnd, kLvDetailed, kKwGs, tClassPointer, true},
    {11, 6, kOpStart, kLvNormal, kKwStartup, tData, true},
    {12, 6, kOpEnd, kLvNormal, kKwStartup, tData, true},
    {13, 7, kOpStart, kLvMinimal, kKwStartup | kKwCommands, tData, true},
    {14, 7, kOpEnd, kLvMinimal, kKwStartup | kKwCommands, tData, true},
    {15, 8, kOpStart, kLvMinimal, kKwStartup | kKwCommands, tCommand, true},
    {16, 8, kOpEnd, kLvMinimal, kKwStartup | kKwCommands, tCommand, false},
    {17, 9, kOpStart, kLvNormal, kKwStartup, kNoTemplate, true},
    {18, 9, kOpEnd, kLvNormal, kKwStartup, kNoTemplate, true},
    {19, 10, kOpStart, kLvNormal, kKwStartup, kNoTemplate, true},
    {20, 10, kOpEnd, kLvNormal, kKwStartup, kNoTemplate, true},
    {21, 11, kOpStart, kLvNormal, kKwStartup, kNoTemplate, true},
    {22, 11, kOpEnd, kLvNormal, kKwStartup, kNoTemplate, true},
    {23, 12, kOpStart, kLvNormal, kKwStartup, kNoTemplate, true},
    {24, 12, kOpEnd, kLvNormal, kKwStartup, kNoTemplate, true},
    {25, 13, kOpStart, kLvNormal, kKwStartup, tData1Data2, true},
    {26, 13, kOpEnd, kLvNormal, kKwStartup, tData1Data2, true},
    {27, 14, kOpStart, kLvNormal, kKwStartup, kNoTemplate, true},
    {28, 14, kOpEnd, kLvNormal, kKwStartup, kNoTemplate, true},
    {29, 15, kOpStart, kLvNormal, kKwStartup, kNoTemplate, true},
    {30, 15, kOpEnd, kLvNormal, kKwStartup, kNoTemplate, true},
    {31, 16, kOpStart, kLvNormal, 0, tData, true},
    {32, 16, kOpEnd, kLvNormal, 0, tData, true},
    {33, 17, kOpStart, kLvDetailed, 0, tData, true},
    {34, 17, kOpEnd, kLvDetailed, 0, tData, true},
    {37, 19, kOpStart, kLvDetailed, kKwGs, tClassLifetime, true},
    {38, 19, kOpEnd, kLvDetailed, kKwGs, tClassLifetime, true},
    {39, 20, kOpInfo, kLvDetailed, 0, tData1Data2, true},
    {42, 22, kOpLock, kLvNormal, kKwCommands | kKwDoc, tDocLock, true},
    {43, 22, kOpUnlock, kLvNormal, kKwCommands | kKwDoc, tLock, true},
    {44, 22, kOpInfo, kLvNormal, kKwCommands, tDocLockError, true},
    {45, 23, kOpInfo, kLvError, kKwStartup | kKwCommands, tMessage, true},
    {46, 24, kOpStart, kLvNormal, 0, kNoTemplate, true},
    {47, 24, kOpEnd, kLvNormal, 0, kNoTemplate, true},
    {48, 25, kOpStart, kLvNormal, 0, kNoTemplate, true},
    {49, 25, kOpEnd, kLvNormal, 0, kNoTemplate, true},
    {86, 43, kOpMainDomain, kLvDetailed, kKwGs, tData, true},
    {90, 47, kOpStart, kLvDetailed, kKwGs, tClassPointer, true},
    {91, 47, kOpEnd, kLvDetailed, kKwGs, tClassPointer, true},
    {101, 53, kOpStart, kLvDetailed, kKwGs, kNoTemplate, true},
    {102, 53, kOpEnd, kLvDetailed, kKwGs, kNoTemplate, true},
    {200, 8, kOpInvoke, kLvDetailed, kKwCommands, tInvokeCommand, true},
    {201, 8, kOpRetrieveToken, kLvDetailed, kKwCommands, tRetrieveToken, true},
    {202, 8, kOpCancelled, kLvMinimal, kKwCommands, tCommand, true},
    {203, 8, kOpFailed, kLvMinimal, kKwCommands, tCommand, true},
    {204, 61, kOpSetContextState, kLvDiagnostic, kKwCommands | kKwLisp, tLispContextState, true},
    {205, 61, kOpInvokeLisp, kLvDetailed, kKwCommands | kKwLisp, tInvokeLisp, true},
    {206, 22, kOpStart, kLvDetailed, kKwDoc, tDoc, true},
    {207, 22, kOpEnd, kLvDetailed, kKwDoc, tDoc, true},
    {208, 22, kOpActivated, kLvDetailed, kKwDoc, tDoc, true},
    {209, 22, kOpActivate, kLvDetailed, kKwDoc, tActivateDoc, true},
    {210, 22, kOpSetCurrent, kLvDetailed, kKwDoc, tDoc, true},
    {211, 22, kOpOnActivate, kLvDetailed, kKwDoc, tDoc, true},
    {212, 59, kOpStart, kLvDetailed, kKwCommands | kKwDoc, kNoTemplate, true},
    {213, 59, kOpQueue, kLvDetailed, kKwCommands | kKwDoc, tToken, true},
    {214, 59, kOpProcessed, kLvDetailed, kKwCommands | kKwDoc, tResult, true},
    {215, 59, kOpEnd, kLvDetailed, kKwCommands | kKwDoc, kNoTemplate, true},
    {216, 60, kOpStart, kLvDiagnostic, kKwCommands | kKwDoc, kNoTemplate, true},
    {217, 60, kOpEnd, kLvDiagnostic, kKwCommands | kKwDoc, kNoTemplate, true},
    {218, 62, kOpStart, kLvDiagnostic, kKwPcLoading, tQuery, true},
    {219, 62, kOpEnd, kLvDiagnostic, kKwPcLoading, tQuery, true},
    {220, 63, kOpStart, kLvDiagnostic, kKwPcThreading, tQuery, true},
    {221, 63, kOpEnd, kLvDiagnostic, kKwPcThreading, tQuery, true},
    {222, 61, kOpCreateContext, kLvDiagnostic, kKwCommands | kKwLisp, tContextId, true},
    {223, 61, kOpDestroyContext, kLvDiagnostic, kKwCommands | kKwLisp, tContextId, true},
    {224, 65, kOpInfo, kLvDetailed, kKwGs, tData1Data2, true},
    {225, 64, kOpGeneric, kLvDiagnostic, kKwGeneric, tGeneric, true},
};

inline constexpr std::size_t kEventCount = std::size(kEvents);

// Position of an event in kEvents; kEventCount when the id is not defined.
constexpr std::size_t eventIndex(std::uint16_t id) {
  for (std::size_t i = 0; i < kEventCount; ++i)
    if (kEvents[i].id == id) return i;
  return kEventCount;
}

// Lookups for decoding and the manifest; nullptr when the value is unknown.
const Task* findTask(std::uint16_t value);
const Opcode* findOpcode(std::uint8_t value);
const Level* findLevel(std::uint8_t value);
const Template* findTemplate(const Event& e);
const ValueMap* findMap(std::string_view name);
const Event* findEvent(std::uint16_t id);

// Names of the keywords in mask, in table order, joined by separator.
std::string keywordNames(std::uint64_t mask, std::string_view separator);

}  // namespace Halvex::Tessaran::PAL::detail::provider
