// A plug-in loader host that answers from a script and records, in order,
// every call the loader makes and every message with its arguments read by
// the types the message table gives them.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "pal/plugin_loader.h"

namespace kvpal::test {

using Halvex::Tessaran::PAL::IPluginLoaderHost;
using Halvex::Tessaran::PAL::ModuleImage;

struct HostScript {
  bool allowLoad = true;
  bool approveToolset = true;
  bool preLoadCheck = false;
  DWORD statusFromPreLoadCheck = 0;  // written through the status pointer when not 0
  int confirmLoad = 1;
  int hostKind = 0;
  // When set, confirmLoad replaces the version text with the units 0 and 1.
  bool versionTextToZeroOne = false;
};

class ScriptedHost : public IPluginLoaderHost {
 public:
  explicit ScriptedHost(HostScript script = {}) : script_(script) { setVersionText(L"KvHost 23.0"); }
  virtual ~ScriptedHost() = default;

  // "number|argument|argument...": numbers in decimal, texts as UTF-8.
  std::vector<std::string> messages;
  // Calls in order, with the argument that tells them apart.
  std::vector<std::string> calls;
  // What preLoadCheck was given besides the status pointer.
  struct PreLoadArguments {
    bool hadImage = false, database = false, hostKindIs3 = false, alwaysFalse = true;
    void* present = nullptr;
    std::wstring versionText;
    DWORD declined = 0, terminate = 0;
  } preLoad;
  // Asked once per process, so kept apart from the calls of each load.
  int hostKindCalls = 0;
  // Print each message as it comes (for a child whose process may end).
  bool echo = false;

  void setScript(const HostScript& script) { script_ = script; }
  void clear() {
    messages.clear();
    calls.clear();
    preLoad = {};
    setVersionText(L"KvHost 23.0");
  }

  void reportMessage(int id, ...) override {
    va_list args;
    va_start(args, id);
    std::string text = std::to_string(id);
    for (char type : argumentTypes(id)) {
      text += '|';
      if (type == 'u') text += std::to_string(va_arg(args, DWORD));
      if (type == 'i') text += std::to_string(va_arg(args, int));
      if (type == 'n') text += va_arg(args, const char*);
      if (type == 'w') text += Halvex::Tessaran::PAL::detail::wideToUtf8(va_arg(args, const wchar_t*));
    }
    va_end(args);
    messages.push_back(text);
    if (echo) {
      std::printf("message %s\n", text.c_str());
      std::fflush(stdout);
    }
  }
  bool allowLoad(const wchar_t* path) override {
    calls.push_back("allowLoad " + utf8(path));
    return script_.allowLoad;
  }
  bool approveToolset(const wchar_t* path) override {
    calls.push_back("approveToolset " + utf8(path));
    return script_.approveToolset;
  }
  void beforeLoadLibrary() override { calls.push_back("beforeLoadLibrary"); }
  bool preLoadCheck(const ModuleImage* image, const wchar_t* path, void* present, bool database,
                    const wchar_t* versionText, bool hostKindIs3, bool alwaysFalse, DWORD* status,
                    DWORD declined, DWORD terminate) override {
    calls.push_back("preLoadCheck " + utf8(path) + " status " + std::to_string(*status));
    preLoad = {image != nullptr, database,    hostKindIs3, alwaysFalse,
               present,          versionText, declined,    terminate};
    if (script_.statusFromPreLoadCheck) *status = script_.statusFromPreLoadCheck;
    return script_.preLoadCheck;
  }
  int confirmLoad(const wchar_t* path, int kind, const ModuleImage*, void*) override {
    calls.push_back("confirmLoad " + utf8(path) + " kind " + std::to_string(kind));
    if (script_.versionTextToZeroOne) {
      versionText_[0] = 0;
      versionText_[1] = 1;
    }
    return script_.confirmLoad;
  }
  int hostKind() override {
    ++hostKindCalls;
    return script_.hostKind;
  }
  const wchar_t* hostVersionText() override { return versionText_; }

 private:
  static std::string utf8(const wchar_t* text) {
    return text ? Halvex::Tessaran::PAL::detail::wideToUtf8(text) : "(null)";
  }
  void setVersionText(const wchar_t* text) {
    std::wmemset(versionText_, 0, std::size(versionText_));
    std::wcsncpy(versionText_, text, std::size(versionText_) - 1);
  }
  // The argument types of each message: u a DWORD, i an int, n narrow
  // text, w wide text.
  static std::string argumentTypes(int id) {
    switch (id) {
      case 7634:
        return "uu";
      case 7635:
        return "uw";
      case 7637:
        return "wiw";
      case 7638:
        return "nw";
      case 7642:
        return "www";
      case 7643:
        return "wwww";
      case 7644:
        return "ww";
      default:  // 7639, 7640, 7641, 7645, 7647: the full path
        return "w";
    }
  }

  HostScript script_;
  wchar_t versionText_[32];
};

}  // namespace kvpal::test
