// The host registered with PluginLoader::setHost, shared by every loader.
#pragma once

#include "pal/plugin_loader.h"

namespace Halvex::Tessaran::PAL::detail {

IPluginLoaderHost* pluginLoaderHost();

}  // namespace Halvex::Tessaran::PAL::detail
