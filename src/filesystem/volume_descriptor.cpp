// The volume descriptor's fields and the Windows-style descriptor's case rule.
#include "filesystem/volumes.h"
#include "pal/file_system_volumes.h"

namespace Halvex::Tessaran::PAL::FileSystem {

VolumeDescriptor::VolumeDescriptor()
    : removable(false), remote(false), readOnly(false), maxComponentSize(0) {}

VolumeDescriptor::~VolumeDescriptor() = default;

bool VolumeDescriptor::IsRemovable() const {
  return removable;
}

bool VolumeDescriptor::IsRemote() const {
  return remote;
}

bool VolumeDescriptor::IsReadOnly() const {
  return readOnly;
}

unsigned long VolumeDescriptor::getMaxComponentSize() const {
  return maxComponentSize;
}

bool WinVolumeDescriptor::IsCasePreserving() const {
  return (fileSystemFlags & detail::kCasePreservedNames) != 0;
}

}  // namespace Halvex::Tessaran::PAL::FileSystem
