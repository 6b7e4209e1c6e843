// Container and ReadOnlyContainer forward to their implementation; the
// expander registration.
#include "settings/container_internal.h"

namespace Halvex::Tessaran::PAL {

namespace {
Settings::IUserProfileVariableExpander* gExpander = nullptr;
}

Settings::IUserProfileVariableExpander* detail::registeredExpander() {
  return gExpander;
}

namespace Settings {

ContainerImp::~ContainerImp() = default;

bool ContainerImp::setExpandString(const wchar_t* name, const wchar_t* value) {
  return setString(name, value);
}

Container::Container(ContainerImp* imp) : imp_(imp) {}
Container::Container(Container&& other) noexcept : imp_(other.imp_) {
  other.imp_ = nullptr;
}
Container::~Container() {
  delete imp_;
}

bool Container::good() const {
  return imp_->good();
}
bool Container::exists(const wchar_t* name) const {
  return imp_->exists(name);
}
std::wstring Container::getString(const wchar_t* name, const std::wstring& def) const {
  return imp_->getString(name, def);
}
unsigned Container::getUInt32(const wchar_t* name, const unsigned& def) const {
  return imp_->getUInt32(name, def);
}
double Container::getDouble(const wchar_t* name, const double& def) const {
  return imp_->getDouble(name, def);
}
std::vector<unsigned char> Container::getBinary(const wchar_t* name,
                                                const std::vector<unsigned char>& def) const {
  return imp_->getBinary(name, def);
}
void Container::enumerate(std::function<bool(const Container&)> fn) const {
  imp_->enumerate(std::move(fn));
}
std::map<std::wstring, std::wstring> Container::getAllStringValues(
    const std::map<std::wstring, std::wstring>& def) const {
  return imp_->getAllStringValues(def);
}
std::wstring Container::name() const {
  return imp_->name();
}
bool Container::removeValue(const wchar_t* name) {
  return imp_->removeValue(name);
}
bool Container::setString(const wchar_t* name, const wchar_t* value, bool expandable) {
  return expandable ? imp_->setExpandString(name, value) : imp_->setString(name, value);
}
bool Container::setUInt32(const wchar_t* name, unsigned value) {
  return imp_->setUInt32(name, value);
}
bool Container::setDouble(const wchar_t* name, double value) {
  return imp_->setDouble(name, value);
}
bool Container::remove() {
  return imp_->remove();
}

ReadOnlyContainer::ReadOnlyContainer(ContainerImp* imp) : Container(imp) {}
ReadOnlyContainer::ReadOnlyContainer(ReadOnlyContainer&& other) noexcept : Container(std::move(other)) {}

void regUserProfileVariableExpander(IUserProfileVariableExpander* expander) {
  gExpander = expander;
}

void unregUserProfileVariableExpander(IUserProfileVariableExpander* expander) {
  if (gExpander == expander) gExpander = nullptr;
}

}  // namespace Settings
}  // namespace Halvex::Tessaran::PAL
