// Loading plug-ins from files: search, vetting of the file before it is
// mapped, the host's consent, dlopen, and the version check, with every
// refusal reported to the host by number.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>

#include "base/utf8.h"
#include "modules/image_parser.h"
#include "modules/module_names.h"
#include "modules/plugin_contract.h"
#include "modules/plugins/plugin_host.h"
#include "modules/plugins/plugin_search.h"
#include "pal/module_image.h"
#include "pal/plugin_loader.h"
#include "pal/plugin_sdk.h"
#include "platform/posix_util.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

enum PluginMessage {
  SystemErrorWithoutText = 7634,
  SystemErrorText = 7635,
  IncompatibleVersionMessage = 7637,
  EntryPointMissingMessage = 7638,
  LoadFailed = 7639,
  ProcedureNotFound = 7640,
  ModuleNotFound = 7641,
  BothRuntimeLibraries = 7642,
  DebugRuntimeLibrary = 7643,
  VersionFunctionMissingMessage = 7644,
  DatabaseModuleLoadFailed = 7645,
  TerminationDemanded = 7647,
};

constexpr unsigned kApiVersion = 0x170000;
constexpr std::size_t kMaxPath = 260;
constexpr std::size_t kVersionTextLength = 20;
constexpr DWORD kBadPathName = 161;
constexpr int kVersionNumberInMessage = 21;
constexpr const wchar_t* kRuntimeLibrary = L"MSVCR140.DLL";
constexpr const wchar_t* kDebugRuntimeLibrary = L"MSVCR140D.DLL";

using VersionFunction = unsigned (*)(unsigned);

// Files up to this size are read whole rather than mapped: a plug-in's
// file is read on every load, and for a small one the mapping costs more
// than the copy.
constexpr off_t kReadWholeLimit = 256 * 1024;

// The file's module image, or null when it is unreadable or no module.
// `bytes` holds a small file's content while the image is in use.
ModuleImage* readImage(const std::string& path, std::string& bytes) {
  ModuleImage* image = nullptr;
  int fd = retryOnEintr([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); });
  struct stat st {};
  if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
      st.st_size <= kReadWholeLimit) {
    bytes.resize(static_cast<std::size_t>(st.st_size));
    if (retryOnEintr([&] { return ::pread(fd, bytes.data(), bytes.size(), 0); }) == st.st_size)
      image = ModuleImageAccess::fromBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  } else if (fd >= 0) {
    image = ModuleImage::open(path.c_str());
  }
  if (fd >= 0) ::close(fd);
  if (image && (image->openError() != 0 || image->parseStatus() != ModuleImage::ValidImage)) {
    image->close();
    image = nullptr;
  }
  return image;
}

int hostKindOf(IPluginLoaderHost* host) {
  static const int kind = host->hostKind();
  return kind;
}

bool endsWithIgnoringCase(const std::wstring& text, const wchar_t* suffix) {
  std::size_t n = std::wcslen(suffix);
  if (text.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    wchar_t a = text[text.size() - n + i], b = suffix[i];
    if (a >= L'A' && a <= L'Z') a = a - L'A' + L'a';
    if (a != b) return false;
  }
  return true;
}

std::wstring fileNamePart(const std::wstring& path) {
  std::size_t slash = path.rfind(L'/');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool isDatabaseModule(const std::wstring& path, int hostKind) {
  std::wstring file = fileNamePart(path);
  if (file.size() < 5) return false;
  if (endsWithIgnoringCase(file, L".zvx")) return true;
  return hostKind == 4 && (endsWithIgnoringCase(file, L".dll") || endsWithIgnoringCase(file, L".crx"));
}

bool isSystemError(DWORD status) {
  return status != 0 && status < DifferentModuleLoaded;
}

void reportSystemError(IPluginLoaderHost* host, DWORD code, const std::string& text) {
  if (text.empty())
    host->reportMessage(SystemErrorWithoutText, code, code);
  else
    host->reportMessage(SystemErrorText, code, utf8ToWide(text).c_str());
}

// What a failed dlopen means in the codes a Windows host knows.
DWORD loadError(const std::string& text, int err) {
  if (text.find("cannot open shared object file") != std::string::npos) return ERROR_MOD_NOT_FOUND;
  if (text.find("undefined symbol") != std::string::npos) return ERROR_PROC_NOT_FOUND;
  return err != 0 ? winErrorFromErrno(err) : ERROR_BAD_EXE_FORMAT;
}

// The vetting of the file itself; 0 when it passes. `presentVersion`
// receives the version function of a module already loaded under the path.
DWORD vetImage(const ModuleImage* image, void* present, int hostKind, void*& presentVersion) {
  if (!image) return VersionFunctionMissing;
  if (present) {
    presentVersion = dlsym(present, kPluginVersionFunctionName);
    if (!presentVersion) return VersionFunctionMissing;
  }
  int ordinal = image->exportOrdinal(image->exportIndex(kPluginVersionFunctionName));
  if (ordinal < 0 || image->exportFunction(ordinal, false) == kNoExport) return VersionFunctionMissing;
  if (hostKind != 1 && importsExecutable(*image, "pyra.exe")) return IncompatibleVersion;
  if (hostKind != 3 && importsExecutable(*image, "moxa.exe")) return IncompatibleVersion;
  bool entryPoint = present ? dlsym(present, kPluginEntryPointName) != nullptr
                            : image->exportOrdinal(image->exportIndex(kPluginEntryPointName)) >= 0;
  if (!entryPoint) return EntryPointMissing;
  if (findVersionMarker(*image).result == VersionMarker::Absent) return IncompatibleVersion;
  return 0;
}

class FileLoad {
 public:
  FileLoad(IPluginLoaderHost* host, bool report, char* kind) : host_(host), report_(report), kind_(kind) {}

  void* run(const wchar_t* name) {
    const int hostKind = hostKindOf(host_);
    setLastError(0);
    setKind(2);
    std::string found = findPluginFile(wideToUtf8(name ? name : L""), true);
    if (found.empty()) return notFound(ERROR_FILE_NOT_FOUND, ENOENT);
    path_ = utf8ToWide(found);
    if (!host_->allowLoad(path_.c_str())) return nullptr;
    if (path_.size() > kMaxPath) return notFound(kBadPathName, ENAMETOOLONG);

    database_ = isDatabaseModule(path_, hostKind);
    if (const wchar_t* text = host_->hostVersionText()) std::wcsncpy(versionText_, text, kVersionTextLength);

    // RTLD_NOLOAD takes a reference only on a module already there; the
    // handle stays valid through that module's own reference. Asked only
    // when the loader lists the path: for a module it does not hold,
    // RTLD_NOLOAD would open and read the file to compare it.
    void* present = isPathLoaded(found) ? dlopen(found.c_str(), RTLD_LAZY | RTLD_NOLOAD) : nullptr;
    if (present) dlclose(present);

    std::string bytes;
    ModuleImage* image = readImage(found, bytes);
    if (image) checkRuntimeLibrary(*image);

    void* presentVersion = nullptr;
    DWORD status = vetImage(image, present, hostKind, presentVersion);
    if (hostKind == 4 && !database_) {
      status = WrongModuleType;
    } else if (status == 0 && image) {
      auto toolset = toolsetMajorVersion(*image);
      if ((!toolset || *toolset != KVRX_SDK_TOOLSET_MAJOR) && !host_->approveToolset(path_.c_str()))
        status = LoadRefused;
    }
    const bool preChecked =
        host_->preLoadCheck(image, path_.c_str(), present, database_, versionText_, hostKind == 3, false,
                            &status, HostDeclinedDatabaseModule, TerminateRequested);
    if (status == 0) status = confirmAndLoad(image, present, preChecked);
    if (image) image->close();

    status = checkVersion(status, presentVersion);
    return finish(status);
  }

 private:
  void setKind(char value) {
    if (kind_) *kind_ = value;
  }

  void* notFound(DWORD code, int err) {
    setKind(0);
    if (report_) reportSystemError(host_, code, std::strerror(err));
    return nullptr;
  }

  void checkRuntimeLibrary(const ModuleImage& image) {
    const bool release = image.importsModule(wideToUtf8(kRuntimeLibrary).c_str());
    const bool debug = image.importsModule(wideToUtf8(kDebugRuntimeLibrary).c_str());
    if (release && debug)
      host_->reportMessage(BothRuntimeLibraries, path_.c_str(), kRuntimeLibrary, kDebugRuntimeLibrary);
    else if (debug)
      host_->reportMessage(DebugRuntimeLibrary, path_.c_str(), kDebugRuntimeLibrary, versionText_,
                           kRuntimeLibrary);
  }

  DWORD confirmAndLoad(const ModuleImage* image, void* present, bool preChecked) {
    const int kind = database_ ? (preChecked ? 3 : 1) : 0;
    const int answer = host_->confirmLoad(path_.c_str(), kind, image, present);
    if (answer == 0) return database_ && !preChecked ? HostDeclinedDatabaseModule : HostRefused;

    // A host that has put the units 0 and 1 in place of its version text
    // has done its own preparation.
    const wchar_t* now = host_->hostVersionText();
    const bool changed = now && std::wcsncmp(now, versionText_, kVersionTextLength) != 0;
    if (answer != 2 && !(changed && now[0] == 0 && now[1] == 1)) host_->beforeLoadLibrary();

    std::string path = wideToUtf8(path_), loadedPath;
    DWORD status = 0;
    if (isFileLoaded(wideToUtf8(fileNamePart(path_)), &loadedPath)) {
      // Another reference on the module of that name, wherever it lies.
      errno = 0;
      handle_ = dlopen(loadedPath.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (loadedPath != path && loadedPath.size() <= kMaxPath) {
        path = loadedPath;
        path_ = utf8ToWide(loadedPath);
      }
    } else {
      errno = 0;
      handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!handle_) {
      const int err = errno;
      const char* reason = dlerror();
      std::string text = reason ? reason : "";
      status = loadError(text, err);
      // Functions are then bound at their first call, so the version
      // function can still answer.
      handle_ = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
      if (!handle_ && status != ERROR_MOD_NOT_FOUND && status != ERROR_PROC_NOT_FOUND) {
        if (report_) reportSystemError(host_, status, text);
        status = LoadRefused;
      }
    }
    // The new handle stays until the end, where every failure releases it:
    // the version check may still call into it.
    if (present && handle_ && handle_ != present && status == 0) status = DifferentModuleLoaded;
    return status;
  }

  DWORD checkVersion(DWORD status, void* presentVersion) {
    const bool callable = status == 0 || isSystemError(status) || status == DifferentModuleLoaded ||
                          status == HostRefused || status == HostReported || status == EntryPointMissing ||
                          status == WrongModuleType;
    if (handle_ && callable) {
      void* function = presentVersion ? presentVersion : dlsym(handle_, kPluginVersionFunctionName);
      if (!function) return status == 0 ? DWORD{VersionFunctionMissing} : status;
      return reinterpret_cast<VersionFunction>(function)(0) == kApiVersion ? status
                                                                           : DWORD{IncompatibleVersion};
    }
    // A termination the host demanded is never traded for another status.
    if (presentVersion && status != TerminateRequested) return IncompatibleVersion;
    return status == 0 ? DWORD{VersionFunctionMissing} : status;
  }

  void* finish(DWORD status) {
    if (status == 0) {
      setKind(database_ ? 1 : 0);
      return handle_;
    }
    const int failed = database_ ? DatabaseModuleLoadFailed : LoadFailed;
    const std::wstring file = fileNamePart(path_);
    switch (status) {
      case ERROR_MOD_NOT_FOUND:
        host_->reportMessage(ModuleNotFound, path_.c_str());
        break;
      case ERROR_PROC_NOT_FOUND:
        host_->reportMessage(ProcedureNotFound, path_.c_str());
        break;
      case HostRefused:
        if (report_) host_->reportMessage(failed, path_.c_str());
        break;
      case TerminateRequested:
        host_->reportMessage(TerminationDemanded, path_.c_str());
        _exit(1);
      case LoadRefused:
        break;
      case HostReported:
        if (report_) host_->reportMessage(DatabaseModuleLoadFailed, path_.c_str());
        break;
      case EntryPointMissing:
        if (report_) host_->reportMessage(EntryPointMissingMessage, kPluginEntryPointName, file.c_str());
        break;
      case VersionFunctionMissing:
        if (report_) host_->reportMessage(VersionFunctionMissingMessage, L"kvrxGetApiVersion", path_.c_str());
        break;
      case HostDeclinedDatabaseModule:
      case IncompatibleVersion:
        if (report_)
          host_->reportMessage(IncompatibleVersionMessage, file.c_str(), kVersionNumberInMessage,
                               versionText_);
        break;
      case WrongModuleType:
      case DifferentModuleLoaded:
        host_->reportMessage(failed, path_.c_str());
        break;
      default:
        if (isSystemError(status)) host_->reportMessage(failed, path_.c_str());
        break;
    }
    setKind(database_ ? 1 : 0);
    if (handle_) dlclose(handle_);
    return nullptr;
  }

  IPluginLoaderHost* host_;
  bool report_;
  char* kind_;
  std::wstring path_;
  bool database_ = false;
  wchar_t versionText_[kVersionTextLength + 1] = {};
  void* handle_ = nullptr;
};

}  // namespace

bool builtWithCompatibleSdkVersion(const wchar_t* path) {
  ModuleImage* image = ModuleImage::open(wideToUtf8(path ? path : L"").c_str());
  const bool passes = image->openError() != 0 || image->parseStatus() != ModuleImage::ValidImage ||
                      findVersionMarker(*image).result != VersionMarker::Absent;
  image->close();
  IPluginLoaderHost* host = pluginLoaderHost();
  if (passes || !host) return passes;
  wchar_t versionText[kVersionTextLength + 1] = {};
  if (const wchar_t* text = host->hostVersionText()) std::wcsncpy(versionText, text, kVersionTextLength);
  host->reportMessage(IncompatibleVersionMessage, path, kVersionNumberInMessage, versionText);
  return false;
}

}  // namespace Halvex::Tessaran::PAL::detail

namespace PAL = Halvex::Tessaran::PAL;

void* Win32PluginLoader::loadPlugin(const wchar_t* name, bool report, char* kind) {
  PAL::IPluginLoaderHost* host = PAL::detail::pluginLoaderHost();
  // Without a host nothing may be consented to.
  if (!host) {
    if (kind) *kind = 0;
    return nullptr;
  }
  return PAL::detail::FileLoad(host, report, kind).run(name);
}

bool Win32PluginLoader::unloadPlugin(void* handle) {
  return handle && dlclose(handle) == 0;
}

void* Win32PluginLoader::getPluginSymbol(void* handle, const char* symbol) const {
  // A null handle would make dlsym search the whole process.
  return handle && symbol ? dlsym(handle, symbol) : nullptr;
}

bool Win32PluginLoader::isBuiltWithCompatibleSDKVersion(const wchar_t* path) const {
  return PAL::detail::builtWithCompatibleSdkVersion(path);
}

void* Win32PluginLoader::mainModuleId() const {
  return dlopen(nullptr, RTLD_LAZY);
}
