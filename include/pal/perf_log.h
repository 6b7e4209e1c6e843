// Performance event writers of the "Halvex-Tessaran" provider, at global
// scope: one function per milestone, enabled queries that let callers skip
// building costly payloads, and the host's callbacks.
//
// Differences from Windows: the events go to the library's own consumers
// instead of the operating system's event tracing. In-process sessions
// (pal/trace_session.h), a trace file named by KVPAL_TRACE_FILE (optionally
// filtered by KVPAL_TRACE_LEVEL and KVPAL_TRACE_KEYWORDS; `kvpal trace
// record` sets them) and LTTng-UST (tracepoint "halvex_tessaran:event", once
// KVPAL_TRACE_LTTNG=1 or a preload brings in libKvPalLttngProvider.so)
// receive them with the same descriptors and payload layouts. wchar_t is
// UTF-32 here; string payloads are converted to UTF-16 with their NUL. A
// null string is written as an empty one. An LTTng session that enables the
// provider counts as an enabling when the library next asks whether class
// events are wanted, since LTTng does not notify the traced process.
#pragma once

#include "pal/export.h"

class KvRxClass;
class KvDbImpLock;

PAL_EXPORT void PerfLog_WriteReadMdlEvent(const wchar_t* path, bool start);
PAL_EXPORT void PerfLog_WriteKvApAppInitEvent(bool start);
PAL_EXPORT void PerfLog_WritePyraAppInitInstanceEvent(bool start);
PAL_EXPORT void PerfLog_WriteObjectRecordInEvent(const KvRxClass* cls, bool start);
PAL_EXPORT void PerfLog_WriteKvRxClassLifetimeEvent(const KvRxClass* cls, const wchar_t* name, bool start);
PAL_EXPORT void PerfLog_WriteKvGiDrawableWorldDrawEvent(const KvRxClass* cls, bool start);
PAL_EXPORT void PerfLog_WriteKvGiDrawableViewportDrawEvent(const KvRxClass* cls, bool start);
PAL_EXPORT void PerfLog_WriteLoadModuleEvent(const wchar_t* name, bool start);
PAL_EXPORT void PerfLog_WriteOpenDocumentEvent(const wchar_t* path, bool start);
PAL_EXPORT void PerfLog_WriteStartCommandEvent(const wchar_t* command);
PAL_EXPORT void PerfLog_WriteEndCommandEvent(const wchar_t* command);
PAL_EXPORT void PerfLog_WriteCommandFailedEvent(const wchar_t* command);
PAL_EXPORT void PerfLog_WriteCommandCancelledEvent(const wchar_t* command);
PAL_EXPORT void PerfLog_WriteInvokeCommandEvent(const wchar_t* parameters, int ilk);
PAL_EXPORT void PerfLog_WriteRetrieveCommandTokenEvent(int restype, const wchar_t* token);
PAL_EXPORT void PerfLog_WriteSetLispContextStateEvent(void* context, unsigned int state);
PAL_EXPORT void PerfLog_WriteLispContextStateEvent(void* context, bool created);
PAL_EXPORT void PerfLog_WriteInvokeLispEvent(const wchar_t* name, const wchar_t* expression);
PAL_EXPORT void PerfLog_WriteBindToCLREvent(bool start);
PAL_EXPORT void PerfLog_WriteInitFontCacheEvent(bool start);
PAL_EXPORT void PerfLog_WriteHxApplicationFrameCreateInstanceEvent(bool start);
PAL_EXPORT void PerfLog_WriteHxApplicationFrameInitializeEvent(bool start);
PAL_EXPORT void PerfLog_WriteBolLifetimeEvent(bool start);
PAL_EXPORT void PerfLog_WriteBolNotifyEvent(bool start);
PAL_EXPORT void PerfLog_WriteCommandThroatEvent(bool start);
PAL_EXPORT void PerfLog_WriteMessageLoopEvent(bool start);
PAL_EXPORT void PerfLog_WriteLoadResourceEvent(const wchar_t* name, bool start);
PAL_EXPORT void PerfLog_WriteSysvarListEntryEvent(const wchar_t* data1, const wchar_t* data2);
PAL_EXPORT void PerfLog_WriteDocLockEvent(const KvDbImpLock* lock, int mode, const wchar_t* command, bool force);
PAL_EXPORT void PerfLog_WriteDocUnlockEvent(const KvDbImpLock* lock);
PAL_EXPORT void PerfLog_WriteDocLockErrorEvent(const KvDbImpLock* lock, int errorStatus);
PAL_EXPORT void PerfLog_WriteAssertEvent(const wchar_t* message);
PAL_EXPORT void PerfLog_WriteTRegenAllEvent(bool start);
PAL_EXPORT void PerfLog_WriteVmtMainThreadParameteredEvent(const wchar_t* data);
PAL_EXPORT void PerfLog_WriteStartDocEvent(const void* doc);
PAL_EXPORT void PerfLog_WriteEndDocEvent(const void* doc);
PAL_EXPORT void PerfLog_WriteDocActivatedEvent(const void* doc);
PAL_EXPORT void PerfLog_WriteSetCurrentDocEvent(const void* doc);
PAL_EXPORT void PerfLog_WriteOnActivateDocEvent(const void* doc);
PAL_EXPORT void PerfLog_WriteActivateDoc(const void* doc, int flags, const wchar_t* result);
PAL_EXPORT void PerfLog_WriteStuffCommandThroatEvent(const wchar_t* token);
PAL_EXPORT void PerfLog_WriteCommandThroatSelectDeviceEvent(const wchar_t* result);
PAL_EXPORT void PerfLog_WritePointCloudLoadingStartEvent(void* query);
PAL_EXPORT void PerfLog_WritePointCloudLoadingCompletedEvent(void* query);
PAL_EXPORT void PerfLog_WritePointCloudThreadStartEvent(void* query);
PAL_EXPORT void PerfLog_WritePointCloudThreadStopEvent(void* query);
PAL_EXPORT void PerfLog_WriteDMDriverFPSEvent(const wchar_t* data1, const wchar_t* data2);
// Control characters of the payload become "\x<hex>,"; at most 1024 UTF-16
// units are read and the cleaned text is cut before an escape or character
// that would not fit in 2047 units.
PAL_EXPORT void PerfLog_WriteGenericEvent(const wchar_t* kind, const wchar_t* payload);

PAL_EXPORT bool PerfLog_IsInvokeCommandEventEnabled();
PAL_EXPORT bool PerfLog_IsInvokeLispEventEnabled();
PAL_EXPORT bool PerfLog_IsSysvarListEventEnabled();
PAL_EXPORT bool PerfLog_IsVmtMainThreadEventEnabled();
PAL_EXPORT bool PerfLog_IsStuffCommandThroatEventEnabled();
PAL_EXPORT bool PerfLog_IsGenericEventEnabled();
PAL_EXPORT bool PerfLog_IsDMDriverFPSEventEnabled();
PAL_EXPORT bool PerfLog_IsPointCloudEventEnabled();

PAL_EXPORT void PerfLog_RegisterKvRxClassListCallback(void (*callback)());
PAL_EXPORT void PerfLogHelper_SetTelemetryRegenStartReporterCallback(void (*callback)());
PAL_EXPORT void PerfLogHelper_SetTelemetryRegenEndReporterCallback(void (*callback)());
