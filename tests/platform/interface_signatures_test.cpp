// The public interface as the application's modules compile and link against
// it: exact signatures, enumerator values and widths, virtual slot order, and
// every entry point resolving inside libKvPal.so.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include "pal/pal.h"

namespace {

using namespace Halvex::Tessaran::PAL;
namespace S = Halvex::Tessaran::PAL::Settings;
namespace FS = Halvex::Tessaran::PAL::FileSystem;
namespace CT = Halvex::Tessaran::PAL::CodeTrust;
namespace PT = Halvex::Tessaran::PAL::PropertyTree;
namespace T = Halvex::Tessaran::PAL::Thread;
namespace SP = Halvex::Tessaran::PAL::ScriptProcessor;
using boost::filesystem::path;
using boost::property_tree::ptree;
using boost::property_tree::wptree;
using StringMap = std::map<std::wstring, std::wstring>;
using Bytes = std::vector<unsigned char>;
using Visitor = std::function<bool(const S::Container&)>;

// Itanium C++ ABI layout of a pointer to member function: for a virtual
// function `ptr` is 1 + the byte offset of its vtable slot, otherwise the
// function's address.
struct MemberPointerRep {
  std::uintptr_t ptr;
  std::ptrdiff_t adj;
};

template <typename Member>
MemberPointerRep represent(Member member) {
  static_assert(sizeof(Member) == sizeof(MemberPointerRep));
  MemberPointerRep rep;
  std::memcpy(&rep, &member, sizeof rep);
  return rep;
}

struct EntryPoint {
  const char* name;
  const void* address;
};

// `Expected` is given explicitly, so a declaration whose type differs in any
// way (argument, const, reference, return type) fails to compile instead of
// converting; an overloaded name resolves to exactly that overload.
template <typename Expected>
EntryPoint entry(const char* name, Expected function) {
  if constexpr (std::is_member_function_pointer_v<Expected>)
    return {name, reinterpret_cast<const void*>(represent(function).ptr)};
  else
    return {name, reinterpret_cast<const void*>(function)};
}

struct VirtualSlot {
  const char* name;
  std::size_t slot;
};

template <typename Expected>
VirtualSlot slot(const char* name, Expected member) {
  MemberPointerRep rep = represent(member);
  if ((rep.ptr & 1) == 0) return {name, SIZE_MAX};  // not virtual
  return {name, (rep.ptr - 1) / sizeof(void*)};
}

std::vector<EntryPoint> settingsEntryPoints() {
  using C = S::Container;
  using R = S::Roots;
  return {
      entry<bool (C::*)() const>("Container::good", &C::good),
      entry<bool (C::*)(const wchar_t*) const>("Container::exists", &C::exists),
      entry<std::wstring (C::*)(const wchar_t*, const std::wstring&) const>("Container::getString",
                                                                            &C::getString),
      entry<unsigned (C::*)(const wchar_t*, const unsigned&) const>("Container::getUInt32", &C::getUInt32),
      entry<double (C::*)(const wchar_t*, const double&) const>("Container::getDouble", &C::getDouble),
      entry<Bytes (C::*)(const wchar_t*, const Bytes&) const>("Container::getBinary", &C::getBinary),
      entry<void (C::*)(Visitor) const>("Container::enumerate", &C::enumerate),
      entry<StringMap (C::*)(const StringMap&) const>("Container::getAllStringValues",
                                                      &C::getAllStringValues),
      entry<std::wstring (C::*)() const>("Container::name", &C::name),
      entry<bool (C::*)(const wchar_t*)>("Container::removeValue", &C::removeValue),
      entry<bool (C::*)(const wchar_t*, const wchar_t*, bool)>("Container::setString", &C::setString),
      entry<bool (C::*)(const wchar_t*, unsigned)>("Container::setUInt32", &C::setUInt32),
      entry<bool (C::*)(const wchar_t*, double)>("Container::setDouble", &C::setDouble),
      entry<bool (C::*)()>("Container::remove", &C::remove),
      entry<void (*)(S::IUserProfileVariableExpander*)>("regUserProfileVariableExpander",
                                                        &S::regUserProfileVariableExpander),
      entry<void (*)(S::IUserProfileVariableExpander*)>("unregUserProfileVariableExpander",
                                                        &S::unregUserProfileVariableExpander),
      entry<void (*)(const wchar_t*, const wchar_t*, const KvLocale&)>("Roots::initializeFromRoots",
                                                                       &R::initializeFromRoots),
      entry<const wchar_t* (*)()>("Roots::sdkRootName", &R::sdkRootName),
      entry<const wchar_t* (*)()>("Roots::productCultureSpecificRootName",
                                  &R::productCultureSpecificRootName),
      entry<const wchar_t* (*)()>("Roots::productGlobalRootName", &R::productGlobalRootName),
      entry<const wchar_t* (*)()>("Roots::roamingRootName", &R::roamingRootName),
      entry<const wchar_t* (*)()>("Roots::currentLanguageName", &R::currentLanguageName),
      entry<const wchar_t* (*)()>("Roots::currentProfileName", &R::currentProfileName),
      entry<std::wstring (*)(const wchar_t*)>("Roots::setCurrentProfileName", &R::setCurrentProfileName),
      entry<C (R::*)(const wchar_t*)>("Roots::currentProfile", &R::currentProfile),
      entry<const S::ReadOnlyContainer (R::*)(const wchar_t*) const>("Roots::currentProfile const",
                                                                     &R::currentProfile),
      entry<C (R::*)(const wchar_t*)>("Roots::roaming", &R::roaming),
      entry<const S::ReadOnlyContainer (R::*)(const wchar_t*) const>("Roots::roaming const", &R::roaming),
      entry<void (R::*)(const wchar_t*, Visitor, bool) const>("Roots::getProductSettings",
                                                              &R::getProductSettings),
      entry<const R& (*)()>("Settings::read", &S::read),
      entry<R& (*)()>("Settings::write", &S::write),
      entry<bool (*)()>("isUserSettingsReset", &S::isUserSettingsReset),
      entry<void (*)(std::vector<std::wstring>&)>("getHKLMBaseProductGlobalRootKeys",
                                                  &::getHKLMBaseProductGlobalRootKeys),
      entry<C& (*)()>("envVars", &S::envVars),
      entry<std::wstring (*)(const wchar_t*)>("expandEnvVars", &S::expandEnvVars),
      entry<std::wstring (*)()>("getUserDisplayName", &S::getUserDisplayName),
      entry<std::wstring (*)(bool&)>("getUserLoginName", &S::getUserLoginName),
      entry<BOOL (*)(const wchar_t*)>("AppendEnvironmentPath", &::AppendEnvironmentPath),
      entry<wptree* (*)(const path&)>("fromJsonFileWithUtf8Encoding", &PT::fromJsonFileWithUtf8Encoding),
      entry<wptree* (*)(const std::string&)>("fromJsonStringWithUtf8Encoding",
                                             &PT::fromJsonStringWithUtf8Encoding),
      entry<bool (*)(const path&, const wptree&)>("toJsonFileWithUtf8Encoding",
                                                  &PT::toJsonFileWithUtf8Encoding),
      entry<ptree (*)(const wchar_t*)>("fromXml", &PT::fromXml),
      entry<wptree (*)(const wptree&, const wptree&)>("tree_value_difference wide",
                                                      &PropertyTreeOperations::tree_value_difference),
      entry<ptree (*)(const ptree&, const ptree&)>("tree_value_difference narrow",
                                                   &PropertyTreeOperations::tree_value_difference),
      entry<wptree (*)(const wptree&, const wptree&)>(
          "mergeWithFeatureToggleSettingsFile", &PropertyTreeOperations::mergeWithFeatureToggleSettingsFile),
      entry<wptree (*)(const wptree&, const wptree&)>("translationOfSysvar",
                                                      &PropertyTreeOperations::translationOfSysvar),
  };
}

std::vector<EntryPoint> fileSystemAndLocaleEntryPoints() {
  namespace L = Halvex::Tessaran::PAL::Locale;
  return {
      entry<wchar_t (*)()>("path_separator", &FS::path_separator),
      entry<bool (*)(wchar_t)>("is_dir_separator", &FS::is_dir_separator),
      entry<bool (*)(wchar_t)>("is_drive_separator", &FS::is_drive_separator),
      entry<path (*)(boost::system::error_code&)>("temp_directory_path", &FS::temp_directory_path),
      entry<path (*)(const path&)>("normalized", &FS::normalized),
      entry<path (*)(const path&)>("long_path", &FS::long_path),
      entry<path (*)(const path&)>("resolve_path", &FS::resolve_path),
      entry<std::wstring (*)(const wchar_t*)>("getNetworkPathForFile", &FS::getNetworkPathForFile),
      entry<std::wstring (*)(const wchar_t*)>("searchPath", &FS::searchPath),
      entry<std::wstring (*)(const wchar_t*, const wchar_t*)>("pathRelativePathTo", &FS::pathRelativePathTo),
      entry<std::wstring (*)(bool)>("getMyDocumentsPath", &FS::getMyDocumentsPath),
      entry<bool (*)(const wchar_t*)>("isPathUrl", &FS::isPathUrl),
      entry<bool (*)(const wchar_t*)>("isPathNetworkPath", &FS::isPathNetworkPath),
      entry<bool (*)(const wchar_t*)>("isPathDeviceName", &FS::isPathDeviceName),
      entry<FS::FileAttributes (*)(const wchar_t*, const wchar_t*)>("networkAwareGetAttributes",
                                                                    &FS::networkAwareGetAttributes),
      entry<FS::FS_TYPE (*)(const wchar_t*, FS::FS_TYPE)>("networkAwareGetFileSystem",
                                                          &FS::networkAwareGetFileSystem),
      entry<std::wstring (*)(const wchar_t*, bool)>("networkAwareChangeDir", &FS::networkAwareChangeDir),
      entry<void* (*)(const wchar_t*, unsigned int&, unsigned int&)>("networkAwareLastWriteTime",
                                                                     &FS::networkAwareLastWriteTime),
      entry<bool (*)(void*)>("findClose", &FS::findClose),
      entry<FS::VolumeDescriptor* (*)(const wchar_t*)>("CreateVolumeDescriptor", &FS::CreateVolumeDescriptor),
      entry<std::wstring (*)(const wchar_t*, bool&)>("getVolumeInformation", &FS::getVolumeInformation),
      entry<unsigned __int64 (*)(const wchar_t*)>("getFreeSpace", &FS::getFreeSpace),
      entry<__int64 (*)(const path&, boost::system::error_code&)>("create_time", &FS::create_time),
      entry<bool (*)(const wchar_t*)>("isDriveValid", &FS::isDriveValid),
      entry<FS::FileSourceInfo (*)(const wchar_t*)>("getFileSourceInfoForDrive",
                                                    &FS::getFileSourceInfoForDrive),
      entry<bool (*)(std::wstring&)>("isDropboxBusinessConfigured", &FS::isDropboxBusinessConfigured),
      entry<bool (*)(std::wstring&)>("isDropboxPersonalConfigured", &FS::isDropboxPersonalConfigured),
      entry<bool (*)(std::wstring&)>("isOneDriveBusinessConfigured", &FS::isOneDriveBusinessConfigured),
      entry<bool (*)(std::wstring&)>("isOneDrivePersonalConfigured", &FS::isOneDrivePersonalConfigured),
      entry<bool (*)(std::wstring&)>("isGoogleDriveConfigured", &FS::isGoogleDriveConfigured),
      entry<bool (*)(std::wstring&)>("isBoxConfigured", &FS::isBoxConfigured),
      entry<bool (FS::VolumeDescriptor::*)() const>("VolumeDescriptor::IsRemovable",
                                                    &FS::VolumeDescriptor::IsRemovable),
      entry<bool (FS::VolumeDescriptor::*)() const>("VolumeDescriptor::IsRemote",
                                                    &FS::VolumeDescriptor::IsRemote),
      entry<bool (FS::VolumeDescriptor::*)() const>("VolumeDescriptor::IsReadOnly",
                                                    &FS::VolumeDescriptor::IsReadOnly),
      entry<unsigned long (FS::VolumeDescriptor::*)() const>("VolumeDescriptor::getMaxComponentSize",
                                                             &FS::VolumeDescriptor::getMaxComponentSize),
      entry<std::vector<std::wstring> (*)()>("getDefaultTrustedPaths", &CT::getDefaultTrustedPaths),
      entry<bool (*)(std::wstring&)>("expandSubstitutedDrive", &CT::expandSubstitutedDrive),
      entry<int (*)(const wchar_t*)>("verifyEmbeddedSignature", &CT::verifyEmbeddedSignature),
      entry<int (*)(const wchar_t*)>("verifyLispFileSignature", &CT::verifyLispFileSignature),
      entry<const wchar_t* (KvLocale::*)() const>("KvLocale::iso2LangName", &KvLocale::iso2LangName),
      entry<const wchar_t* (KvLocale::*)() const>("KvLocale::iso2CountryName", &KvLocale::iso2CountryName),
      entry<bool (KvLocale::*)() const>("KvLocale::isValid", &KvLocale::isValid),
      entry<bool (KvLocale::*)(const KvLocale&) const>("KvLocale::operator==", &KvLocale::operator==),
      entry<bool (KvLocale::*)(const KvLocale&) const>("KvLocale::operator!=", &KvLocale::operator!=),
      entry<int (KvLocale::*)()>("KvLocale::operator int", &KvLocale::operator int),
      entry<KvLocale& (KvLocale::*)(const KvLocale&)>("KvLocale copy assignment", &KvLocale::operator=),
      entry<KvLocale& (KvLocale::*)(KvLocale &&)>("KvLocale move assignment", &KvLocale::operator=),
      entry<KvLocale (*)(int)>("createLocaleFromWinLCID", &KvLocaleService::createLocaleFromWinLCID),
      entry<int (*)(const KvLocale&)>("getWinLCIDFromLocaleClass",
                                      &KvLocaleService::getWinLCIDFromLocaleClass),
      entry<const KvLocale& (*)()>("getSystemLocale", &L::getSystemLocale),
      entry<const KvLocale& (*)()>("getUserDefaultLocale", &L::getUserDefaultLocale),
      entry<const KvLocale& (*)()>("getProductDefaultLocale", &L::getProductDefaultLocale),
      entry<const KvLocale& (*)()>("getProductLocale", &L::getProductLocale),
      entry<KvLocale (*)(unsigned short)>("getLocaleFromLanguage", &L::getLocaleFromLanguage),
      entry<KvLocale (*)(const wchar_t*)>("getLocaleFromLocaleString", &L::getLocaleFromLocaleString),
      entry<unsigned short (*)(const KvLocale&)>("getLanguageFromLocale", &L::getLanguageFromLocale),
      entry<std::wstring (*)(const KvLocale&)>("getResourceFolderNameFromLocale",
                                               &L::getResourceFolderNameFromLocale),
      entry<code_page_id_ex (*)()>("getSystemCodePageIdEx", &L::getSystemCodePageIdEx),
      entry<unsigned short (*)()>("getCurrentInputLanguage", &L::getCurrentInputLanguage),
      entry<KvLocale (*)(Charset)>("getLocaleFromCharset", &L::getLocaleFromCharset),
      entry<Charset (*)(const KvLocale&)>("getCharsetFromLocale", &L::getCharsetFromLocale),
      entry<bool (*)(const CLocale&)>("isSpecificLatinLanguage", &L::isSpecificLatinLanguage),
      entry<bool (*)(const KvLocale&)>("isEuropeanFrench", &L::isEuropeanFrench),
      entry<bool (*)(unsigned short)>("isRightToLeftLanguage", &L::isRightToLeftLanguage),
      entry<bool (*)()>("isSpecialFrenchUpperCaseLocale", &L::isSpecialFrenchUpperCaseLocale),
      entry<void (*)(const KvLocale&)>("setCharAndNumericFormat", &L::setCharAndNumericFormat),
      entry<std::vector<SP::BoundaryAndRTL> (SP::ScriptBoundsAndLayoutProcessor::*)() const>(
          "ScriptBoundsAndLayoutProcessor::getScriptBoundsAndRTL",
          &SP::ScriptBoundsAndLayoutProcessor::getScriptBoundsAndRTL),
      entry<bool (SP::ScriptBoundsAndLayoutProcessor::*)() const>(
          "ScriptBoundsAndLayoutProcessor::isComplexScript",
          &SP::ScriptBoundsAndLayoutProcessor::isComplexScript),
      entry<bool (*)(wchar_t, const std::wstring&)>("isValidScriptSequence", &SP::isValidScriptSequence),
  };
}

std::vector<EntryPoint> fileIoEntryPoints() {
  namespace IO = Halvex::Tessaran::PAL::FileIO;
  using F = IO::File;
  return {
      entry<F (*)()>("File::nullFile", &F::nullFile),
      entry<F (*)(const void*, IO::FileCharType, IO::FileOpenMode, IO::FileShareMode, IO::FileCreationMode)>(
          "File::openFile", &F::openFile),
      entry<F& (F::*)(const F&)>("File::operator=", &F::operator=),
      entry<bool (F::*)(const F&)>("File::operator==", &F::operator==),
      entry<bool (F::*)()>("File::close", &F::close),
      entry<bool (F::*)(void*, unsigned int, unsigned int*) const>("File::readFromFile", &F::readFromFile),
      entry<bool (F::*)(const void*, unsigned int, unsigned int*) const>("File::writeToFile",
                                                                         &F::writeToFile),
      entry<bool (F::*)(__int64, IO::FileSeekAnchor) const>("File::seek", &F::seek),
      entry<__int64 (F::*)() const>("File::getCurrentOffset", &F::getCurrentOffset),
      entry<bool (F::*)() const>("File::setEndOfFile", &F::setEndOfFile),
      entry<bool (F::*)() const>("File::flushFileBuffers", &F::flushFileBuffers),
      entry<unsigned __int64 (F::*)() const>("File::getFileSize", &F::getFileSize),
      entry<bool (F::*)(__int64*, __int64*, __int64*) const>("File::getFileTime", &F::getFileTime),
      entry<bool (F::*)(const __int64*, const __int64*, const __int64*) const>("File::setFileTime",
                                                                               &F::setFileTime),
      entry<Pyra::ErrorStatus (F::*)()>("File::openStatus", &F::openStatus),
      entry<unsigned int (*)()>("FileIO::lastError", &IO::lastError),
      entry<unsigned int (*)(IO::FileOpenMode)>("toWin32AccessMode", &IO::toWin32AccessMode),
      entry<unsigned int (*)(IO::FileShareMode)>("toWin32ShareMode", &IO::toWin32ShareMode),
      entry<FILE* (*)(const wchar_t*, const wchar_t*)>("openFILE", &IO::openFILE),
      entry<FILE* (*)(const wchar_t*, const wchar_t*, int)>("openFILEWithShareFlag",
                                                            &IO::openFILEWithShareFlag),
      entry<int (*)(int)>("setmaxstdio", &IO::setmaxstdio),
  };
}

// Reaches the protected members of the array base as a derived array does.
struct BigArrayProbe : KvBigArrayBase {
  using KvBigArrayBase::baseCopy;
  using KvBigArrayBase::grow;
};

std::vector<EntryPoint> memoryAndThreadEntryPoints() {
  namespace LMR = Halvex::Tessaran::PAL::LowMemoryReserves;
  namespace BC = Halvex::Tessaran::PAL::BoundsChecks;
  using MI = ModuleImage;
  return {
      entry<void* (*)(unsigned int)>("kvHeapCreate", &::kvHeapCreate),
      entry<void (*)(void*)>("kvHeapDestroy", &::kvHeapDestroy),
      entry<void* (*)(void*, size_t)>("kvHeapAlloc", &::kvHeapAlloc),
      entry<void* (*)(void*, size_t)>("kvTryHeapAlloc", &::kvTryHeapAlloc),
      entry<void (*)(void*, void*)>("kvHeapFree", &::kvHeapFree),
      entry<void* (*)(void*, void*, size_t)>("kvHeapReAlloc", &::kvHeapReAlloc),
      entry<size_t (*)(void*, const void*)>("kvHeapSize", &::kvHeapSize),
      entry<bool (*)(void*, const void*)>("kvHeapValidate", &::kvHeapValidate),
      entry<void* (*)(size_t, size_t)>("kvAllocAligned", &::kvAllocAligned),
      entry<void (*)(void*)>("kvFreeAligned", &::kvFreeAligned),
      entry<size_t (*)(void*, size_t)>("kvMsizeAligned", &::kvMsizeAligned),
      entry<void (KvBigArrayBase::*)()>("KvBigArrayBase::grow", &BigArrayProbe::grow),
      entry<void (KvBigArrayBase::*)(const KvBigArrayBase&)>("KvBigArrayBase::baseCopy",
                                                             &BigArrayProbe::baseCopy),
      entry<bool (*)(unsigned __int64)>("initializeReserve", &LMR::initializeReserve),
      entry<void (*)()>("terminateReserve", &LMR::terminateReserve),
      entry<bool (*)()>("isReserveAvailable", &LMR::isReserveAvailable),
      entry<bool (*)(void*)>("makePageReadOnly", &MemLocker::makePageReadOnly),
      entry<bool (*)(void*)>("makePageWritable", &MemLocker::makePageWritable),
      entry<bool (*)(const void*, size_t)>("kvIsBadReadPtr", &BC::kvIsBadReadPtr),
      entry<bool (*)(const void*, size_t)>("kvIsBadWritePtr", &BC::kvIsBadWritePtr),
      entry<bool (*)(const void*)>("kvIsBadCodePtr", &BC::kvIsBadCodePtr),
      entry<bool (*)(bool)>("kvUseNewHandler", &Malloc::kvUseNewHandler),
      entry<void (*)()>("initializeMainThread", &T::initializeMainThread),
      entry<bool (*)()>("isMainThread", &T::isMainThread),
      entry<bool (*)(unsigned __int64)>("isMainThreadId", &T::isMainThreadId),
      entry<void (*)()>("initializeUiThread", &T::initializeUiThread),
      entry<bool (*)()>("isUiThread", &T::isUiThread),
      entry<bool (*)(const void*)>("isStackAddress", &T::isStackAddress),
      entry<void (*)()>("initFPU", &T::initFPU),
      entry<T::KvCrit* (*)()>("KvCrit::newClass", &T::KvCrit::newClass),
      entry<void (*)(T::KvCrit*)>("KvCrit::deleteClass", &T::KvCrit::deleteClass),
      entry<void (T::KvCrit::*)()>("KvCrit::lock", &T::KvCrit::lock),
      entry<void (T::KvCrit::*)()>("KvCrit::unlock", &T::KvCrit::unlock),
      entry<void (T::KvCrit::*)()>("KvCrit::lockRead", &T::KvCrit::lockRead),
      entry<void (T::KvCrit::*)()>("KvCrit::unlockRead", &T::KvCrit::unlockRead),
      entry<T::KvCritRecurse* (*)()>("KvCritRecurse::newClass", &T::KvCritRecurse::newClass),
      entry<void (*)(T::KvCritRecurse*)>("KvCritRecurse::deleteClass", &T::KvCritRecurse::deleteClass),
      entry<void (T::KvCritRecurse::*)()>("KvCritRecurse::lock", &T::KvCritRecurse::lock),
      entry<void (T::KvCritRecurse::*)()>("KvCritRecurse::unlock", &T::KvCritRecurse::unlock),
      entry<void (T::KvCritRecurse::*)()>("KvCritRecurse::lockRead", &T::KvCritRecurse::lockRead),
      entry<void (T::KvCritRecurse::*)()>("KvCritRecurse::unlockRead", &T::KvCritRecurse::unlockRead),
      entry<T::KvEventObj* (*)()>("KvEventObj::newClass", &T::KvEventObj::newClass),
      entry<void (*)(T::KvEventObj*)>("KvEventObj::deleteClass", &T::KvEventObj::deleteClass),
      entry<void (T::KvEventObj::*)()>("KvEventObj::signal", &T::KvEventObj::signal),
      entry<void (T::KvEventObj::*)()>("KvEventObj::waitForSignal", &T::KvEventObj::waitForSignal),
      entry<unsigned int (T::KvEventObj::*)(unsigned int)>("KvEventObj::waitForSignal(ms)",
                                                           &T::KvEventObj::waitForSignal),
      entry<MI* (*)(const char*)>("ModuleImage::open", &MI::open),
      entry<void (MI::*)()>("ModuleImage::close", &MI::close),
      entry<const void* (MI::*)(std::uint64_t, bool) const>("ModuleImage::addressOf", &MI::addressOf),
      entry<bool (MI::*)(const char*) const>("ModuleImage::importsModule", &MI::importsModule),
      entry<int (MI::*)(const char*) const>("ModuleImage::exportIndex", &MI::exportIndex),
      entry<DWORD (MI::*)(int, bool) const>("ModuleImage::exportFunction", &MI::exportFunction),
      entry<const void* (MI::*)(const char*) const>("ModuleImage::exportCode", &MI::exportCode),
  };
}

std::vector<EntryPoint> processAndModuleEntryPoints() {
  namespace P = Halvex::Tessaran::PAL::Process;
  namespace B = Halvex::Tessaran::PAL::Blob;
  using SO = KvRxSharedObjImp;
  using RI = KvRxResourceInstanceImp;
  static_assert(std::is_constructible_v<RI, const wchar_t*> &&
                std::is_constructible_v<RI, const KvLocale&, const wchar_t*> &&
                std::is_constructible_v<RI, void*> && std::is_copy_constructible_v<RI>);
  return {
      entry<void (*)()>("initializeProcessDefaults", &P::initializeProcessDefaults),
      entry<bool (*)()>("isTrellis", &P::isTrellis),
      entry<std::wstring (*)()>("getImagePath", &P::getImagePath),
      entry<bool (*)(__int64&, __int64&)>("getKernelUserTimes", &P::getKernelUserTimes),
      entry<bool (*)()>("getMultipleSessions", &P::getMultipleSessions),
      entry<void (*)(const char*)>("terminateProcess", &P::terminateProcess),
      entry<void (*)()>("adjustWorkingSet", &P::adjustWorkingSet),
      entry<bool (*)()>("isForegroundApplication", &P::isForegroundApplication),
      entry<void (*)(bool)>("setIsForegroundApplication", &P::setIsForegroundApplication),
      entry<unsigned __int64 (*)()>("TickCount::getTickCount", &TickCount::getTickCount),
      entry<bool (*)(const wchar_t*, const path&)>("Blob::downloadToFile", &B::downloadToFile),
      entry<std::wstring (*)(const path&)>("Blob::createUrl", &B::createUrl),
      entry<SO* (*)(const wchar_t*, bool)>("KvRxSharedObjImp::tryLoad", &SO::tryLoad),
      entry<SO* (*)()>("KvRxSharedObjImp::getNullObject", &SO::getNullObject),
      entry<SO* (*)(void*)>("KvRxSharedObjImp::getFromNative", &SO::getFromNative),
      entry<void* (SO::*)(const char*) const>("KvRxSharedObjImp::getSymbol", &SO::getSymbol),
      entry<bool (SO::*)() const>("KvRxSharedObjImp::isLoaded", &SO::isLoaded),
      entry<SO& (SO::*)(SO &&)>("KvRxSharedObjImp::operator=", &SO::operator=),
      entry<RI (*)()>("KvRxResourceInstanceImp::globalResource", &RI::globalResource),
      entry<bool (RI::*)() const>("KvRxResourceInstanceImp::setAsGlobalResource", &RI::setAsGlobalResource),
      entry<bool (RI::*)() const>("KvRxResourceInstanceImp::isLoaded", &RI::isLoaded),
      entry<int (RI::*)(int, const wchar_t*&, std::wstring&) const>("KvRxResourceInstanceImp::tryLoadString",
                                                                    &RI::tryLoadString),
      entry<bool (RI::*)(int, unsigned long&, const void*&) const>(
          "KvRxResourceInstanceImp::loadDataResource", &RI::loadDataResource),
      entry<void (RI::*)(const void*&) const>("KvRxResourceInstanceImp::freeDataResource",
                                              &RI::freeDataResource),
      entry<void* (RI::*)(int) const>("KvRxResourceInstanceImp::loadBitmap", &RI::loadBitmap),
      entry<void (RI::*)(void*) const>("KvRxResourceInstanceImp::freeBitmap", &RI::freeBitmap),
      entry<RI& (RI::*)(const RI&)>("KvRxResourceInstanceImp::operator=", &RI::operator=),
      entry<const char* (*)(const wchar_t*, const wchar_t*, const wchar_t*, unsigned int&, void*, bool)>(
          "LoadResource", &LoadResource),
  };
}

std::vector<EntryPoint> pluginEntryPoints() {
  using L = PluginLoader;
  using I = PluginLoaderImp;
  using G = GravikPluginLoader;
  using Search = bool (*)(const wchar_t*, const wchar_t*, const wchar_t*, std::wstring&, std::wstring&);
  return {
      entry<void (*)(IPluginLoaderHost*)>("PluginLoader::setHost", &L::setHost),
      entry<void* (L::*)(const wchar_t*, bool, char*)>("PluginLoader::load", &L::load),
      entry<bool (L::*)(void*)>("PluginLoader::unload", &L::unload),
      entry<void* (L::*)(void*, const char*) const>("PluginLoader::getSymbol", &L::getSymbol),
      entry<void (L::*)(const wchar_t*, void*)>("PluginLoader::registerPlugin", &L::registerPlugin),
      entry<void (L::*)(const wchar_t*)>("PluginLoader::unregisterPlugin", &L::unregisterPlugin),
      entry<bool (*)(const wchar_t*)>("PluginLoader::isBuiltWithCompatibleSDKVersion",
                                      &L::isBuiltWithCompatibleSDKVersion),
      entry<void* (*)()>("PluginLoader::mainModuleId", &L::mainModuleId),
      entry<I* (*)()>("PluginLoaderImp::create", &I::create),
      entry<const char* (*)()>("PluginLoaderImp::entryPointSymbolName", &I::entryPointSymbolName),
      entry<G& (*)()>("GravikPluginLoader::instance", &G::instance),
      entry<void* (G::*)(const wchar_t*, const wchar_t*, const wchar_t*)>("GravikPluginLoader::loadPlugin",
                                                                          &G::loadPlugin),
      entry<bool (G::*)(void*)>("GravikPluginLoader::unload", &G::unload),
      entry<void* (G::*)(void*, const char*) const>("GravikPluginLoader::getSymbol", &G::getSymbol),
      entry<bool (G::*)(const wchar_t*, bool, bool&)>("GravikPluginLoader::isCompatibleGravikVersion",
                                                      &G::isCompatibleGravikVersion),
      entry<Search>("GravikPluginLoader::searchPathForPlugin", &G::searchPathForPlugin),
  };
}

std::vector<EntryPoint> imageEntryPoints() {
  namespace GI = Halvex::Tessaran::PAL::GraphicsImage;
  using I = GI::Image;
  using M = GI::ImageImp;
  return {
      entry<int (I::*)() const>("Image::pixelWidth", &I::pixelWidth),
      entry<int (I::*)() const>("Image::pixelHeight", &I::pixelHeight),
      entry<void* (I::*)() const>("Image::handle", &I::handle),
      entry<M* (*)(I*)>("ImageImp::getImp", &M::getImp),
      entry<void* (M::*)() const>("ImageImp::handle", &M::handle),
      entry<int (M::*)() const>("ImageImp::pixelWidth", &M::pixelWidth),
      entry<int (M::*)() const>("ImageImp::pixelHeight", &M::pixelHeight),
  };
}

std::vector<EntryPoint> windowingEntryPoints() {
  namespace WS = Halvex::Tessaran::PAL::WindowingSystem;
  namespace PF = Halvex::Tessaran::PAL::Platform;
  using H = WS::WindowHandle;
  using DC = WS::DeviceContext;
  using Point = KvPoint<int>;
  return {
      entry<void (*)(void*)>("WindowingSystem::setDisplay", &WS::setDisplay),
      entry<bool (*)(void*)>("WindowingSystem::postViewMessage", &WS::postViewMessage),
      entry<void* (H::*)() const>("WindowHandle::rawNativePtr", &H::rawNativePtr),
      entry<bool (H::*)() const>("WindowHandle::IsValid", &H::IsValid),
      entry<bool (H::*)(int, int)>("WindowHandle::setWindowSize", &H::setWindowSize),
      entry<H& (H::*)(const H&)>("WindowHandle::operator=", &H::operator=),
      entry<H (*)(H)>("WindowingSystem::getLastActivePopup", &WS::getLastActivePopup),
      entry<bool (*)(H, bool)>("WindowingSystem::enableWindow", &WS::enableWindow),
      entry<DC (*)(float, float)>("DeviceContext::createDefault", &DC::createDefault),
      entry<H (DC::*)()>("DeviceContext::GetAssociatedWindowHandle", &DC::GetAssociatedWindowHandle),
      entry<bool (DC::*)() const>("DeviceContext::isValid", &DC::isValid),
      entry<unsigned int (DC::*)(unsigned int)>("DeviceContext::getNearestColor", &DC::getNearestColor),
      entry<void (DC::*)()>("DeviceContext::release", &DC::release),
      entry<bool (View::*)() const>("View::hasFocus", &View::hasFocus),
      entry<bool (View::*)() const>("View::isEnabled", &View::isEnabled),
      entry<Point (View::*)(const Point&)>("View::clientToScreen", &View::clientToScreen),
      entry<Point (View::*)(const Point&)>("View::screenToClient", &View::screenToClient),
      entry<H (View::*)() const>("View::windowHandle", &View::windowHandle),
      entry<bool (View::*)(bool, const Point&, Point&) const>("View::mouseMoveEventPending",
                                                              &View::mouseMoveEventPending),
      entry<bool (*)()>("DeviceCaps::initDeviceCaps", &DeviceCaps::initDeviceCaps),
      entry<int (*)()>("DeviceCaps::getLogicalPixelsX", &DeviceCaps::getLogicalPixelsX),
      entry<int (*)()>("DeviceCaps::getLogicalPixelsY", &DeviceCaps::getLogicalPixelsY),
      entry<int (*)()>("DeviceCaps::getHorizontalRes", &DeviceCaps::getHorizontalRes),
      entry<int (*)()>("DeviceCaps::getVerticalRes", &DeviceCaps::getVerticalRes),
      entry<float (*)()>("DeviceCaps::getDpiScalingValue", &DeviceCaps::getDpiScalingValue),
      entry<unsigned int (*)(Color::ColorType)>("Color::getSysColor", &Color::getSysColor),
      entry<unsigned short (*)(const wchar_t*)>("Clipboard::registerClipboardFormat",
                                                &Clipboard::registerClipboardFormat),
      entry<void (*)(int&, int&)>("Platform::getOsVersion", &PF::getOsVersion),
      entry<PF::OperatingSystem (*)()>("Platform::getTargetOS", &PF::getTargetOS),
      entry<PF::InstructionSet (*)()>("Platform::getTargetInstructionSet", &PF::getTargetInstructionSet),
      entry<const char* (*)(PF::OperatingSystem)>("Platform::getOperatingSystemAsString",
                                                  &PF::getOperatingSystemAsString),
      entry<const char* (*)(PF::InstructionSet)>("Platform::getInstructionSetAsString",
                                                 &PF::getInstructionSetAsString),
      entry<Point (*)(const H&, const Point&)>("OnCanvasUI::getDynamicInputPosition",
                                               &OnCanvasUI::getDynamicInputPosition),
      entry<Point (*)()>("OnCanvasUI::getDynamicInputOffset", &OnCanvasUI::getDynamicInputOffset),
      entry<void* (*)(int, int, void*, void*)>("CreateDummyView", &CreateDummyView),
      entry<void (*)(void*)>("DestroyDummyView", &DestroyDummyView),
      entry<float (*)(void*)>("GetBackingScaleFactor", &GetBackingScaleFactor),
      entry<std::string (*)()>("GetOnlineGraphicEngineName", &GetOnlineGraphicEngineName),
  };
}

std::vector<EntryPoint> dateTimeAndFormatEntryPoints() {
  namespace DT = Halvex::Tessaran::PAL::DateTime;
  return {
      entry<tm (*)(const SYSTEMTIME&)>("DateTime::toStdTm", &DT::toStdTm),
      entry<SYSTEMTIME (*)(const tm&)>("DateTime::toSystemTime", &DT::toSystemTime),
      entry<__int64 (*)(const FILETIME&)>("DateTime::to_time_t", &DT::to_time_t),
      entry<FILETIME (*)(const __int64&)>("DateTime::toFILETIME", &DT::toFILETIME),
      entry<SYSTEMTIME (*)()>("DateTime::getLocalTime", &DT::getLocalTime),
      entry<__int64 (*)(tm)>("DateTime::convertUTCtmTotime_t", &DT::convertUTCtmTotime_t),
      entry<tm (*)(tm)>("DateTime::convertUTCToLocal", &DT::convertUTCToLocal),
      entry<tm (*)(tm)>("DateTime::convertLocalToUTC", &DT::convertLocalToUTC),
      entry<bool (*)(const wchar_t*, tm&)>("DateTime::parseDateTime", &DT::parseDateTime),
      entry<std::wstring (*)(tm)>("DateTime::getShortDateString", &DT::getShortDateString),
      entry<std::wstring (*)(tm)>("DateTime::getLocaleShortDateString", &DT::getLocaleShortDateString),
      entry<std::wstring (*)(tm, const wchar_t*)>("DateTime::getFormattedDateString",
                                                  &DT::getFormattedDateString),
      entry<std::wstring (*)(tm, const wchar_t*)>("DateTime::getFormattedTimeString",
                                                  &DT::getFormattedTimeString),
      entry<std::wstring (*)(const wchar_t*, const tm&)>("DateTime::wcsftime", &DT::wcsftime),
      entry<std::wstring (*)(wchar_t)>("Locale::getDecimalSeparator", &Locale::getDecimalSeparator),
      entry<std::wstring (*)(wchar_t)>("Locale::getListSeparator", &Locale::getListSeparator),
      entry<std::wstring (*)(wchar_t)>("Locale::getThousandSeparator", &Locale::getThousandSeparator),
      entry<std::wstring (*)()>("Locale::getThousandGroupingStyle", &Locale::getThousandGroupingStyle),
      entry<std::wstring (*)(wchar_t)>("Locale::getCurrency", &Locale::getCurrency),
      entry<Locale::MeasureUnits (*)(Locale::MeasureUnits)>("Locale::getMeasureUnits",
                                                            &Locale::getMeasureUnits),
      entry<int (*)(wchar_t*)>("String::toUpperLanguageInsensitive", &String::toUpperLanguageInsensitive),
      entry<int (*)(wchar_t*)>("String::toLowerLanguageInsensitive", &String::toLowerLanguageInsensitive),
      entry<std::wstring (*)(const KvLocale&, const wchar_t*)>("String::toUpperLanguageSensitive",
                                                               &String::toUpperLanguageSensitive),
      entry<std::wstring (*)(const KvLocale&, const wchar_t*)>("String::toLowerLanguageSensitive",
                                                               &String::toLowerLanguageSensitive),
      entry<std::wstring (*)(const KvLocale&, const wchar_t*)>("String::toHalfWidth", &String::toHalfWidth),
      entry<int (*)(const KvLocale&, const wchar_t*, const wchar_t*, int)>("String::compareString",
                                                                           &String::compareString),
      entry<std::wstring (*)(const wchar_t*)>("String::convertAccentedCharToBase",
                                              &String::convertAccentedCharToBase),
      entry<int (*)(const wchar_t*, const wchar_t*)>("String::compareNatural", &String::compareNatural),
      entry<std::vector<String::CharacterTypes> (*)(const wchar_t*)>("String::getStringType",
                                                                     &String::getStringType),
  };
}

// The FreeType types stay incomplete here: the header only declares them.
std::vector<EntryPoint> fontEntryPoints() {
  namespace FT = Halvex::Tessaran::PAL::FreeTypeFontUtils;
  using FontList = std::vector<FontUtils::FontInformation>;
  using FontUtils::FontInformation;
  return {
      entry<bool (*)(wchar_t, const std::wstring&)>("FontUtils::isWideCharSupportedByFont",
                                                    &FontUtils::isWideCharSupportedByFont),
      entry<bool (*)(const std::wstring&, Charset)>("FontUtils::isMSCharsetSupportedByFont",
                                                    &FontUtils::isMSCharsetSupportedByFont),
      entry<FontUtils::FontMetrics (*)(const FontInformation&)>("FontUtils::getFontMetrics",
                                                                &FontUtils::getFontMetrics),
      entry<FontUtils::TextExtentsMetrics (*)(const FontInformation&, const std::wstring&, double, double,
                                              double, double, float*)>("FontUtils::getExtentsMetrics",
                                                                       &FontUtils::getExtentsMetrics),
      entry<const FontList& (*)()>("FreeTypeFontUtils::getAllFontsInformation", &FT::getAllFontsInformation),
      entry<FontList (*)(const std::string&)>("FreeTypeFontUtils::getFontInformationFromFile",
                                              &FT::getFontInformationFromFile),
      entry<bool (*)(const path&)>("FreeTypeFontUtils::addExternalFont", &FT::addExternalFont),
      entry<Charset (*)(FT_Face const&)>("get_font_charset", &get_font_charset),
      entry<std::uint32_t (*)(FT_Face const&)>("get_first_char_code_offset", &get_first_char_code_offset),
      entry<FT_Vector (*)(double, FT_Face, FT_Matrix&, FT_Vector&)>("get_text_spacing_delta",
                                                                    &get_text_spacing_delta),
  };
}

std::vector<EntryPoint> inputEntryPoints() {
  namespace In = Halvex::Tessaran::PAL::Input;
  namespace Tm = Halvex::Tessaran::PAL::Timer;
  namespace Op = Halvex::Tessaran::PAL::Operation;
  namespace MU = Halvex::Tessaran::PAL::MessageUtilities;
  namespace MQ = Halvex::Tessaran::PAL::MessageQueue;
  namespace AI = Halvex::Tessaran::AsyncApi::Input;
  using Channel = Halvex::Tessaran::AsyncApi::ApiCodeGenHosting::IChannel;
  static_assert(
      std::is_same_v<Tm::TimerCallback, void (*)(View*, unsigned int, unsigned long long, unsigned int)>);
  return {
      entry<bool (*)(unsigned int, const AI::PointerEventData*&)>("Input::getPointerEventData",
                                                                  &In::getPointerEventData),
      entry<bool (*)(long long, const AI::GestureEventData*&)>("Input::getGestureEventData",
                                                               &In::getGestureEventData),
      entry<long long (*)()>("Input::getLastGestureHandle", &In::getLastGestureHandle),
      entry<bool (*)(const AI::Event*)>("Input::setCurrentEvent", &In::setCurrentEvent),
      entry<unsigned long long (*)(View*, unsigned long long, unsigned int, Tm::TimerCallback)>(
          "Timer::SetTimer", &Tm::SetTimer),
      entry<void (*)(View*, unsigned long long)>("Timer::KillTimer", &Tm::KillTimer),
      entry<int (*)()>("Timer::getTimerDescriptor", &Tm::getTimerDescriptor),
      entry<int (*)()>("Timer::dispatchTimers", &Tm::dispatchTimers),
      entry<bool (*)(int)>("Operation::isKeyPressed", &Op::isKeyPressed),
      entry<bool (*)(int)>("Operation::isKeyPressedAsync", &Op::isKeyPressedAsync),
      entry<bool (*)(bool, unsigned int)>("Operation::userBreak", &Op::userBreak),
      entry<void (*)()>("Operation::drainMsgQueue", &Op::drainMsgQueue),
      entry<bool (*)(unsigned int)>("MessageUtilities::hasPendingMessage", &MU::hasPendingMessage),
      entry<long long (*)()>("MessageUtilities::getMessageExtraInfo", &MU::getMessageExtraInfo),
      entry<std::string (*)()>("MessageUtilities::random_string", &MU::random_string),
      entry<void (*)(Channel*)>("MessageQueue::setProxySideChannel", &MQ::setProxySideChannel),
      entry<Channel* (*)()>("MessageQueue::proxySideChannel", &MQ::proxySideChannel),
      entry<void (*)(Channel*)>("MessageQueue::setStubSideChannel", &MQ::setStubSideChannel),
      entry<Channel* (*)()>("MessageQueue::stubSideChannel", &MQ::stubSideChannel),
  };
}

// The application links against the exported symbols, so an entry point
// that is declared but hidden (or defined in the header) shows up here.
TEST(PublicInterface, EveryEntryPointResolvesInsideTheLibrary) {
  for (const auto& list :
       {settingsEntryPoints(), fileSystemAndLocaleEntryPoints(), fileIoEntryPoints(),
        memoryAndThreadEntryPoints(), processAndModuleEntryPoints(), pluginEntryPoints(), imageEntryPoints(),
        windowingEntryPoints(), dateTimeAndFormatEntryPoints(), fontEntryPoints(), inputEntryPoints()}) {
    for (const EntryPoint& e : list) {
      Dl_info info{};
      ASSERT_NE(dladdr(e.address, &info), 0) << e.name;
      ASSERT_NE(info.dli_fname, nullptr) << e.name;
      EXPECT_NE(std::strstr(info.dli_fname, "libKvPal.so"), nullptr)
          << e.name << " resolves in " << info.dli_fname;
    }
  }
}

// Hosts implement these classes and the library calls through them (or the
// reverse), so each virtual operation must sit in the slot the application
// was built with: the destructor pair first, then the operations in order.
TEST(PublicInterface, VirtualOperationsKeepTheirSlots) {
  using I = S::ContainerImp;
  using E = S::IUserProfileVariableExpander;
  const VirtualSlot containerImp[] = {
      slot<bool (I::*)() const>("good", &I::good),
      slot<bool (I::*)(const wchar_t*) const>("exists", &I::exists),
      slot<std::wstring (I::*)(const wchar_t*, const std::wstring&) const>("getString", &I::getString),
      slot<StringMap (I::*)(const StringMap&) const>("getAllStringValues", &I::getAllStringValues),
      slot<Bytes (I::*)(const wchar_t*, const Bytes&) const>("getBinary", &I::getBinary),
      slot<double (I::*)(const wchar_t*, const double&) const>("getDouble", &I::getDouble),
      slot<unsigned (I::*)(const wchar_t*, const unsigned&) const>("getUInt32", &I::getUInt32),
      slot<void (I::*)(Visitor) const>("enumerate", &I::enumerate),
      slot<std::wstring (I::*)() const>("name", &I::name),
      slot<bool (I::*)(const wchar_t*)>("removeValue", &I::removeValue),
      slot<bool (I::*)(const wchar_t*, const wchar_t*)>("setString", &I::setString),
      slot<bool (I::*)(const wchar_t*, const wchar_t*)>("setExpandString", &I::setExpandString),
      slot<bool (I::*)(const wchar_t*, unsigned)>("setUInt32", &I::setUInt32),
      slot<bool (I::*)(const wchar_t*, double)>("setDouble", &I::setDouble),
      slot<bool (I::*)()>("remove", &I::remove),
  };
  for (std::size_t i = 0; i < std::size(containerImp); ++i)
    EXPECT_EQ(containerImp[i].slot, i + 2) << "ContainerImp::" << containerImp[i].name;

  const VirtualSlot expander[] = {
      slot<bool (E::*)(std::wstring&)>("collapseVariables", &E::collapseVariables),
      slot<void (E::*)(std::wstring&)>("expandVariables", &E::expandVariables),
  };
  for (std::size_t i = 0; i < std::size(expander); ++i)
    EXPECT_EQ(expander[i].slot, i + 2) << "IUserProfileVariableExpander::" << expander[i].name;

  // The host's interface has no destructor in its table: its operations
  // start at the first slot, with the two the library never calls kept in
  // their places.
  using H = IPluginLoaderHost;
  using PreLoad = bool (H::*)(const ModuleImage*, const wchar_t*, void*, bool, const wchar_t*, bool, bool,
                              DWORD*, DWORD, DWORD);
  const VirtualSlot host[] = {
      slot<void (H::*)(int, ...)>("reportMessage", &H::reportMessage),
      slot<void (H::*)()>("reservedOperation1", &H::reservedOperation1),
      slot<bool (H::*)(const wchar_t*)>("allowLoad", &H::allowLoad),
      slot<bool (H::*)(const wchar_t*)>("approveToolset", &H::approveToolset),
      slot<void (H::*)()>("beforeLoadLibrary", &H::beforeLoadLibrary),
      slot<PreLoad>("preLoadCheck", &H::preLoadCheck),
      slot<int (H::*)(const wchar_t*, int, const ModuleImage*, void*)>("confirmLoad", &H::confirmLoad),
      slot<int (H::*)()>("hostKind", &H::hostKind),
      slot<void (H::*)()>("reservedOperation2", &H::reservedOperation2),
      slot<const wchar_t* (H::*)()>("hostVersionText", &H::hostVersionText),
  };
  for (std::size_t i = 0; i < std::size(host); ++i)
    EXPECT_EQ(host[i].slot, i) << "IPluginLoaderHost::" << host[i].name;

  using P = PluginLoaderImp;
  using G = GravikPluginLoaderImp;
  const VirtualSlot loader[] = {
      slot<void (P::*)(const wchar_t*, void*)>("registerPlugin", &P::registerPlugin),
      slot<void (P::*)(const wchar_t*)>("unregisterPlugin", &P::unregisterPlugin),
      slot<void* (P::*)(const wchar_t*, bool, char*)>("loadPlugin", &P::loadPlugin),
      slot<void (P::*)(const wchar_t*, const char*, void*)>("registerPluginSymbol", &P::registerPluginSymbol),
      slot<bool (P::*)(void*)>("unloadPlugin", &P::unloadPlugin),
      slot<void* (P::*)(void*, const char*) const>("getPluginSymbol", &P::getPluginSymbol),
      slot<bool (P::*)(const wchar_t*) const>("isPluginLoaded", &P::isPluginLoaded),
      slot<bool (P::*)(const wchar_t*) const>("isBuiltWithCompatibleSDKVersion",
                                              &P::isBuiltWithCompatibleSDKVersion),
      slot<void* (P::*)() const>("mainModuleId", &P::mainModuleId),
      slot<void* (G::*)(const wchar_t*, const wchar_t*, const wchar_t*)>("loadPlugin (driver)",
                                                                         &G::loadPlugin),
      slot<bool (G::*)(const wchar_t*, bool, bool&)>("isCompatibleGravikVersion",
                                                     &G::isCompatibleGravikVersion),
      slot<bool (G::*)(const wchar_t*, const wchar_t*, const wchar_t*, std::wstring&, std::wstring&)>(
          "searchPathForPlugin", &G::searchPathForPlugin),
  };
  for (std::size_t i = 0; i < std::size(loader); ++i)
    EXPECT_EQ(loader[i].slot, i + 2) << "GravikPluginLoaderImp::" << loader[i].name;

  // The descriptor's only operation comes before its destructor.
  using V = FS::VolumeDescriptor;
  EXPECT_EQ(slot<bool (V::*)() const>("IsCasePreserving", &V::IsCasePreserving).slot, 0u);
}

// Value types: what a caller may construct, copy and move.
static_assert(sizeof(FS::FileAttributes) == 3 && offsetof(FS::FileAttributes, exists) == 0 &&
              offsetof(FS::FileAttributes, isDirectory) == 1 && offsetof(FS::FileAttributes, isHidden) == 2);
static_assert(FS::FS_TYPE_UNKNOWN == 0 && sizeof(FS::FS_TYPE) == 4);
// Component identifiers are passed to component servers as GUIDs.
static_assert(sizeof(CT::ComponentId) == 16 && offsetof(CT::ComponentId, data2) == 4 &&
              offsetof(CT::ComponentId, data3) == 6 && offsetof(CT::ComponentId, data4) == 8);
static_assert(std::is_abstract_v<FS::VolumeDescriptor> && std::is_copy_assignable_v<FS::VolumeDescriptor> &&
              std::is_base_of_v<FS::VolumeDescriptor, FS::WinVolumeDescriptor> &&
              std::is_copy_constructible_v<FS::WinVolumeDescriptor>);
static_assert(std::has_virtual_destructor_v<S::ContainerImp>);
static_assert(std::has_virtual_destructor_v<S::IUserProfileVariableExpander>);
static_assert(std::is_move_constructible_v<S::Container> && !std::is_copy_constructible_v<S::Container> &&
              !std::is_copy_assignable_v<S::Container>);
static_assert(std::is_move_constructible_v<S::ReadOnlyContainer> &&
              !std::is_copy_constructible_v<S::ReadOnlyContainer>);
static_assert(requires(const S::ReadOnlyContainer& c, Visitor v) {
  { c.good() } -> std::same_as<bool>;
  { c.exists(L"") } -> std::same_as<bool>;
  { c.getString(L"", std::wstring()) } -> std::same_as<std::wstring>;
  { c.getUInt32(L"", 0u) } -> std::same_as<unsigned>;
  { c.getDouble(L"", 0.0) } -> std::same_as<double>;
  { c.getBinary(L"", Bytes()) } -> std::same_as<Bytes>;
  c.enumerate(v);
  { c.getAllStringValues(StringMap()) } -> std::same_as<StringMap>;
  { c.name() } -> std::same_as<std::wstring>;
});
// Read-only means no write reachable even on a non-const object.
template <typename C>
constexpr bool offersWrites = requires(C& c) {
  c.setString(L"", L"", false);
}
|| requires(C& c) {
  c.setUInt32(L"", 0u);
}
|| requires(C& c) {
  c.setDouble(L"", 0.0);
}
|| requires(C& c) {
  c.removeValue(L"");
}
|| requires(C& c) {
  c.remove();
};
static_assert(offersWrites<S::Container> && !offersWrites<S::ReadOnlyContainer>);

static_assert(std::is_constructible_v<GraphicsImage::Image, const unsigned char*, int,
                                      GraphicsImage::ImageBufferFormat>);
static_assert(!std::is_copy_constructible_v<GraphicsImage::Image> &&
              !std::is_copy_assignable_v<GraphicsImage::Image>);

static_assert(std::is_constructible_v<KvLocale, const wchar_t*, const wchar_t*>);
static_assert(std::is_convertible_v<int, KvLocale>);
static_assert(std::is_copy_constructible_v<KvLocale> && std::is_move_constructible_v<KvLocale>);

// The records are six one-byte flags in a fixed order, read by offset.
static_assert(sizeof(SP::BoundaryAndRTL) == 6 && std::is_trivially_copyable_v<SP::BoundaryAndRTL>);
static_assert(offsetof(SP::BoundaryAndRTL, isWhiteSpace) == 0 &&
              offsetof(SP::BoundaryAndRTL, isCharStop) == 1 &&
              offsetof(SP::BoundaryAndRTL, isWordStop) == 2 &&
              offsetof(SP::BoundaryAndRTL, isSoftBreak) == 3 &&
              offsetof(SP::BoundaryAndRTL, isLayoutRTL) == 4 && offsetof(SP::BoundaryAndRTL, isRTL) == 5);
static_assert(std::is_constructible_v<SP::ScriptBoundsAndLayoutProcessor, bool, const std::wstring&>);

static_assert(std::is_same_v<wptree, boost::property_tree::basic_ptree<std::wstring, std::wstring>>);
static_assert(std::is_same_v<ptree, boost::property_tree::basic_ptree<std::string, std::string>>);

// The array base's fields are read and written by the callers' templates.
static_assert(std::is_same_v<decltype(KvBigArrayBase::count), unsigned __int64> &&
              std::is_same_v<decltype(KvBigArrayBase::capacityBytes), unsigned __int64> &&
              std::is_same_v<decltype(KvBigArrayBase::elementSize), unsigned __int64>);
static_assert(offsetof(KvBigArrayBase, count) == 0 && offsetof(KvBigArrayBase, capacityBytes) == 8 &&
              offsetof(KvBigArrayBase, elementSize) == 16 && offsetof(KvBigArrayBase, dataRef) == 24);
static_assert(!std::is_constructible_v<KvBigArrayBase, size_t, void*>, "only derived arrays construct it");

// Plain unscoped enumerations: usable as integers, 32 bits, signed where -1 is
// a value.
static_assert(std::is_convertible_v<Charset, int> && sizeof(Charset) == 4 &&
              std::is_signed_v<std::underlying_type_t<Charset>>);
static_assert(std::is_convertible_v<ModuleImage::ParseStatus, int> && sizeof(ModuleImage::ParseStatus) == 4);
static_assert(std::is_convertible_v<GraphicsImage::ImageBufferFormat, int> &&
              sizeof(GraphicsImage::ImageBufferFormat) == 4);
static_assert(sizeof(BOOL) == 4 && sizeof(DWORD) == 4 && sizeof(unsigned __int64) == 8);

constexpr std::pair<Charset, int> kCharsets[] = {
    {ANSI_CHARSET, 0},      {DEFAULT_CHARSET, 1},      {SHIFTJIS_CHARSET, 128},    {HANGUL_CHARSET, 129},
    {JOHAB_CHARSET, 130},   {GB2312_CHARSET, 134},     {CHINESEBIG5_CHARSET, 136}, {GREEK_CHARSET, 161},
    {TURKISH_CHARSET, 162}, {VIETNAMESE_CHARSET, 163}, {HEBREW_CHARSET, 177},      {ARABIC_CHARSET, 178},
    {BALTIC_CHARSET, 186},  {RUSSIAN_CHARSET, 204},    {THAI_CHARSET, 222},        {EASTEUROPE_CHARSET, 238},
    {CharsetBengali, 256},  {CharsetGurmukhi, 257},    {CharsetGujarati, 258},     {CharsetTamil, 259},
    {CharsetTelugu, 260},   {CharsetKannada, 261},     {CharsetMalayalam, 262},    {CharsetDevanagari, 263},
    {CharsetOriya, 264},
};
constexpr bool charsetValuesMatch() {
  for (auto [charset, value] : kCharsets)
    if (static_cast<int>(charset) != value) return false;
  return true;
}
static_assert(charsetValuesMatch());

// Windowing values: the handle and the view own one cell each, the device
// context shares its implementation, whose leading fields callers read.
namespace WS = Halvex::Tessaran::PAL::WindowingSystem;
static_assert(sizeof(WS::WindowHandle) == sizeof(void*) && sizeof(View) == sizeof(void*));
static_assert(std::is_constructible_v<WS::WindowHandle, void*> &&
              std::is_convertible_v<void*, WS::WindowHandle> && std::is_copy_assignable_v<WS::WindowHandle>);
static_assert(std::is_constructible_v<View, const WS::WindowHandle&>);
static_assert(sizeof(WS::DeviceContext) == sizeof(std::shared_ptr<WS::DeviceContextImp>));
static_assert(std::is_constructible_v<WS::DeviceContext, void*, bool> &&
              std::is_constructible_v<WS::DeviceContext, void*, void*> &&
              std::is_constructible_v<WS::DeviceContext, std::shared_ptr<WS::DeviceContextImp>>);
static_assert(offsetof(WS::DeviceContextImp, ownsDeviceContext) == 0 &&
              offsetof(WS::DeviceContextImp, window) == 8 &&
              offsetof(WS::DeviceContextImp, deviceContext) == 16);
static_assert(sizeof(KvPoint<int>) == 8 && offsetof(KvPoint<int>, x) == 0 && offsetof(KvPoint<int>, y) == 4);
static_assert(std::is_convertible_v<Color::ColorType, int> && sizeof(Color::ColorType) == 4 &&
              Color::WindowBackground == 1 && Color::WindowText == 2 && Color::Highlight == 3 &&
              Color::HighlightText == 4 && Color::TooltipBackground == 5 && Color::TooltipText == 6);
// The two enumerations share the name Unknown, so they are scoped; 8 bits,
// signed, with the table's values and Linux after them.
namespace PF = Halvex::Tessaran::PAL::Platform;
static_assert(std::is_same_v<std::underlying_type_t<PF::OperatingSystem>, std::int8_t> &&
              std::is_same_v<std::underlying_type_t<PF::InstructionSet>, std::int8_t>);
static_assert(static_cast<int>(PF::OperatingSystem::Win64) == 2 &&
              static_cast<int>(PF::OperatingSystem::Android) == 7 &&
              static_cast<int>(PF::OperatingSystem::Linux) == 8 &&
              static_cast<int>(PF::InstructionSet::Intel64) == 2 &&
              static_cast<int>(PF::InstructionSet::IntelIA64) == 6);

// File is one shared reference with value semantics and no virtual
// operations; its enumerations are plain, 32 bits, with the fixed values.
namespace IO = Halvex::Tessaran::PAL::FileIO;
static_assert(sizeof(IO::File) == sizeof(void*) && !std::is_polymorphic_v<IO::File>);
static_assert(std::is_default_constructible_v<IO::File> && std::is_copy_constructible_v<IO::File> &&
              std::is_copy_assignable_v<IO::File>);
static_assert(sizeof(IO::FileCharType) == 4 && sizeof(IO::FileOpenMode) == 4 &&
              sizeof(IO::FileShareMode) == 4 && sizeof(IO::FileCreationMode) == 4 &&
              sizeof(IO::FileSeekAnchor) == 4);
static_assert(std::is_convertible_v<IO::FileOpenMode, int> && std::is_convertible_v<IO::FileSeekAnchor, int>);
static_assert(IO::Utf16Name == 1 && IO::OpenNone == 0 && IO::OpenRead == 1 && IO::OpenReadWrite == 2 &&
              IO::ShareNone == 0 && IO::ShareRead == 1 && IO::ShareReadWrite == 2 &&
              IO::ShareReadWriteDelete == 3 && IO::OpenExisting == 0 && IO::OpenAlways == 1 &&
              IO::CreateAlways == 2 && IO::CreateNew == 3 && IO::SeekBegin == 0 && IO::SeekCurrent == 1 &&
              IO::SeekEnd == 2);
static_assert(_SH_DENYRW == 0x10 && _SH_DENYWR == 0x20 && _SH_DENYRD == 0x30 && _SH_DENYNO == 0x40 &&
              _SH_SECURE == 0x80);

static_assert(sizeof(Locale::MeasureUnits) == 4 && Locale::Metric == 0 && Locale::Imperial == 1);
static_assert(sizeof(String::CharacterTypes) == 2 && String::C1_UPPER == 0x0001 &&
              String::C1_LOWER == 0x0002 && String::C1_DIGIT == 0x0004 && String::C1_SPACE == 0x0008 &&
              String::C1_PUNCT == 0x0010 && String::C1_CNTRL == 0x0020 && String::C1_BLANK == 0x0040 &&
              String::C1_XDIGIT == 0x0080 && String::C1_ALPHA == 0x0100 && String::C1_DEFINED == 0x0200);

static_assert(DifferentModuleLoaded == 0x20000000 && HostRefused == 0x20000001 &&
              TerminateRequested == 0x20000002 && LoadRefused == 0x20000003 && HostReported == 0x20000005 &&
              EntryPointMissing == 0x20000006 && VersionFunctionMissing == 0x20000007 &&
              WrongModuleType == 0x20000008 && HostDeclinedDatabaseModule == 0x2000000A &&
              IncompatibleVersion == 0x2000000B && sizeof(PluginLoadStatus) == 4 &&
              std::is_convertible_v<PluginLoadStatus, int>);
static_assert(std::is_base_of_v<PluginLoaderImp, ::Win32PluginLoader> &&
              std::is_base_of_v<PluginLoaderImp, ::TrellisPluginLoader> &&
              std::is_base_of_v<GravikPluginLoaderImp, ::Win32GravikPluginLoader> &&
              std::has_virtual_destructor_v<PluginLoaderImp>);
static_assert(!std::is_copy_constructible_v<PluginLoader> &&
              !std::is_copy_constructible_v<GravikPluginLoader>);
static_assert(KVRX_API_VERSION == 0x170000 && KVRX_SDK_TOOLSET_MAJOR == 14);

static_assert(ModuleImage::ValidImage == 0 && ModuleImage::ObjectFile == 1 && ModuleImage::NotAnImage == 2 &&
              ModuleImage::BadModuleHeader == 4);

}  // namespace
