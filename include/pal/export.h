// Symbol visibility: the library builds with hidden visibility, so every
// public entry point carries PAL_EXPORT.
#pragma once

#define PAL_EXPORT __attribute__((visibility("default")))
