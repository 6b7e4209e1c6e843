// The value types that hold native windows and device contexts, the stored
// device capabilities, and the operations with a fixed answer.
#include "pal/windowing.h"
#include "windowing/screen.h"

namespace Halvex::Tessaran::PAL {

namespace WindowingSystem {

WindowHandle::WindowHandle(void* nativeHandle) : m_handle(new void*(nativeHandle)) {}

WindowHandle::WindowHandle(const WindowHandle& other) : m_handle(new void*(*other.m_handle)) {}

WindowHandle& WindowHandle::operator=(const WindowHandle& other) {
  *m_handle = *other.m_handle;
  return *this;
}

WindowHandle::~WindowHandle() {
  delete m_handle;
}

void* WindowHandle::rawNativePtr() const {
  return *m_handle;
}

DeviceContext::DeviceContext() = default;

DeviceContext::DeviceContext(std::shared_ptr<DeviceContextImp> imp) : m_imp(std::move(imp)) {}

DeviceContext::DeviceContext(const DeviceContext& other) = default;

DeviceContext& DeviceContext::operator=(const DeviceContext& other) = default;

DeviceContext::~DeviceContext() = default;

WindowHandle DeviceContext::GetAssociatedWindowHandle() {
  return WindowHandle(m_imp ? m_imp->window : nullptr);
}

bool DeviceContext::isValid() const {
  return m_imp && m_imp->window;
}

void DeviceContext::release() {}

}  // namespace WindowingSystem

View::View(const WindowingSystem::WindowHandle& window) : m_window(new void*(window.rawNativePtr())) {}

View::View(const View& other) : m_window(new void*(*other.m_window)) {}

View& View::operator=(const View& other) {
  *m_window = *other.m_window;
  return *this;
}

View::~View() {
  delete m_window;
}

WindowingSystem::WindowHandle View::windowHandle() const {
  return WindowingSystem::WindowHandle(*m_window);
}

namespace DeviceCaps {

namespace {
// Written by initDeviceCaps on the user-interface thread.
X11::ScreenCaps stored;
}  // namespace

bool initDeviceCaps() {
  auto caps = X11::readScreenCaps();
  if (caps) stored = *caps;
  return caps.has_value();
}

int getLogicalPixelsX() {
  return static_cast<int>(stored.logicalPixelsX);
}

int getLogicalPixelsY() {
  return static_cast<int>(stored.logicalPixelsY);
}

int getHorizontalRes() {
  return static_cast<int>(stored.horizontalRes);
}

int getVerticalRes() {
  return static_cast<int>(stored.verticalRes);
}

float getDpiScalingValue() {
  return static_cast<float>(getLogicalPixelsX()) / 96;
}

}  // namespace DeviceCaps

float GetBackingScaleFactor(void*) {
  return 1.0f;
}

std::string GetOnlineGraphicEngineName() {
  return {};
}

ManageMFCAppState::ManageMFCAppState() = default;

ManageMFCAppState::~ManageMFCAppState() = default;

}  // namespace Halvex::Tessaran::PAL
