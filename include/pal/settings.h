// Settings containers: typed, move-only handles on one node of the settings
// store (or of another key-value source such as the environment).
//
// Differences from Windows:
// - The registry is replaced by the library's settings store: two SQLite
//   files, the user hive ($KVPAL_USER_HIVE, else
//   $XDG_CONFIG_HOME/halvex/settings.db, else ~/.config/halvex/settings.db)
//   and the machine hive ($KVPAL_MACHINE_HIVE, else
//   /var/lib/halvex/settings.db). A relative XDG_CONFIG_HOME or HOME counts
//   as unset; a relative hive override is made absolute against the folder
//   current at its first use.
//   A missing hive is created by the first write, never by a read.
// - A hive whose file the process may read but not write (the machine hive
//   owned by root, say) is read normally; writes to it fail with access
//   denied.
// - HKEY_CLASSES_ROOT has no file of its own: as on Windows it is the user's
//   Software\Classes over the machine's. Reads see the user's values and
//   subkeys over the machine's; a key is created, written and removed in the
//   user's classes where it exists there, else in the machine's.
//   HKEY_USERS and HKEY_CURRENT_CONFIG have no counterpart.
// - KVPAL_MACHINE_HIVE_READONLY=1 opens the machine hive read-only (machine
//   settings managed by an administrator): creating a machine key then fails
//   with access denied, so read-write containers fall back to the user hive
//   exactly as they do for an unprivileged Windows process.
// - enumerate() lists the children once, then skips each one that a callback
//   has removed by the time it is reached; a registry walk by index would
//   instead pass over the sibling after a removed child.
// - wchar_t is 32 bits: names and strings are UTF-32 in memory and are stored
//   as UTF-16LE, so stored sizes match what Windows reports.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "pal/export.h"

namespace Halvex::Tessaran::PAL::Settings {

class Container;

// The node behind a Container. Reads are const, writes are not; failures
// are reported by returning the caller's default or false, never by throwing.
class PAL_EXPORT ContainerImp {
 public:
  virtual ~ContainerImp();
  virtual bool good() const = 0;
  virtual bool exists(const wchar_t* name) const = 0;
  virtual std::wstring getString(const wchar_t* name, const std::wstring& def) const = 0;
  virtual std::map<std::wstring, std::wstring> getAllStringValues(
      const std::map<std::wstring, std::wstring>& def) const = 0;
  virtual std::vector<unsigned char> getBinary(const wchar_t* name,
                                               const std::vector<unsigned char>& def) const = 0;
  virtual double getDouble(const wchar_t* name, const double& def) const = 0;
  virtual unsigned getUInt32(const wchar_t* name, const unsigned& def) const = 0;
  virtual void enumerate(std::function<bool(const Container&)> fn) const = 0;
  virtual std::wstring name() const = 0;
  virtual bool removeValue(const wchar_t* name) = 0;
  virtual bool setString(const wchar_t* name, const wchar_t* value) = 0;
  // By default an expandable string is stored as a plain one.
  virtual bool setExpandString(const wchar_t* name, const wchar_t* value);
  virtual bool setUInt32(const wchar_t* name, unsigned value) = 0;
  virtual bool setDouble(const wchar_t* name, double value) = 0;
  virtual bool remove() = 0;
};

// Owns its implementation; move-only. Calling any member of a moved-from
// container other than its destructor is not allowed.
class PAL_EXPORT Container {
 public:
  // Containers are made by the library around an implementation it owns.
  explicit Container(ContainerImp* imp);
  Container(Container&& other) noexcept;
  ~Container();

  bool good() const;
  bool exists(const wchar_t* name) const;
  std::wstring getString(const wchar_t* name, const std::wstring& def) const;
  unsigned getUInt32(const wchar_t* name, const unsigned& def) const;
  double getDouble(const wchar_t* name, const double& def) const;
  std::vector<unsigned char> getBinary(const wchar_t* name, const std::vector<unsigned char>& def) const;
  void enumerate(std::function<bool(const Container&)> fn) const;
  std::map<std::wstring, std::wstring> getAllStringValues(
      const std::map<std::wstring, std::wstring>& def) const;
  std::wstring name() const;

  bool removeValue(const wchar_t* name);
  bool setString(const wchar_t* name, const wchar_t* value, bool expandable);
  bool setUInt32(const wchar_t* name, unsigned value);
  bool setDouble(const wchar_t* name, double value);
  // Deletes the node with everything below it. A container whose path is
  // empty (roaming(L"") before the roots are set, say) addresses the root
  // of its hive itself, which is never deleted: remove() then returns false.
  bool remove();

 private:
  ContainerImp* imp_;
};

// A container that offers only the reads; its node is opened with read
// access only.
class PAL_EXPORT ReadOnlyContainer : private Container {
 public:
  explicit ReadOnlyContainer(ContainerImp* imp);
  ReadOnlyContainer(ReadOnlyContainer&& other) noexcept;

  using Container::enumerate;
  using Container::exists;
  using Container::getAllStringValues;
  using Container::getBinary;
  using Container::getDouble;
  using Container::getString;
  using Container::getUInt32;
  using Container::good;
  using Container::name;
};

// Implemented by the host: rewrites user-profile variable references in
// strings written to and read from the settings store. The library never
// owns or deletes it.
class IUserProfileVariableExpander {
 public:
  virtual ~IUserProfileVariableExpander() = default;
  // Called with a string about to be stored as plain text; returns true
  // when the rewritten text must be stored as an expandable string.
  virtual bool collapseVariables(std::wstring& text) = 0;
  // Called with every string read through a settings-store container.
  virtual void expandVariables(std::wstring& text) = 0;
};

// Registers the expander, replacing any earlier one. Not synchronised: call
// at start-up before other threads read settings.
PAL_EXPORT void regUserProfileVariableExpander(IUserProfileVariableExpander* expander);
// Clears the registration only when `expander` is the registered one.
PAL_EXPORT void unregUserProfileVariableExpander(IUserProfileVariableExpander* expander);

}  // namespace Halvex::Tessaran::PAL::Settings
