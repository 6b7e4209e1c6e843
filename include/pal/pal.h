// Umbrella header: includes every public header of the library.
#pragma once

#include "pal/error_status.h"
#include "pal/export.h"
#include "pal/locale.h"
#include "pal/settings.h"
#include "pal/settings_environment.h"
#include "pal/settings_roots.h"
#include "pal/unicode_convert.h"
#include "pal/version.h"
#include "pal/win_types.h"
#include "pal/property_tree.h"
#include "pal/property_tree_operations.h"
#include "pal/font_utils.h"
