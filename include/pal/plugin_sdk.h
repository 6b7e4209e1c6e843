// For plug-in authors: KVRX_DEFINE_API_VERSION(moduleType) defines the
// exported version function "kvrxGetApiVersion" that the plug-in loader
// vets and calls, and records the toolset and the module type in the module.
//
// Use it once, at file scope, in one C or C++ source of an x86-64 ELF shared
// object (GCC or Clang), beside an exported "kvrxEntryPoint":
//
//   #include "pal/plugin_sdk.h"
//   KVRX_DEFINE_API_VERSION("");           // a plug-in
//   KVRX_DEFINE_API_VERSION("1");          // a graphics driver of module type 1
//   extern "C" __attribute__((visibility("default"))) int kvrxEntryPoint(void* host);
//
// What it puts into the module:
// - kvrxGetApiVersion(unsigned) answering KVRX_API_VERSION, whose code starts
//   with the version marker (a short jump over the version's bytes) that the
//   loader finds in the file before it loads the module;
// - an ELF note (owner KVRX_SDK_NOTE_OWNER, type KVRX_SDK_NOTE_TYPE) whose
//   descriptor is the toolset's major version as a 32-bit word
//   (KVRX_SDK_TOOLSET_MAJOR) followed by the module type as zero-terminated
//   text, the hexadecimal number a graphics driver declares ("" for none).
//   It stands in for the linker version and the version resource of a
//   Windows module: a module without it makes the loader ask the host to
//   approve its toolset. `kvpal module FILE` shows the note.
#pragma once

#define KVRX_API_VERSION 0x170000
#define KVRX_SDK_TOOLSET_MAJOR 14
#define KVRX_SDK_NOTE_OWNER "KvPal"
#define KVRX_SDK_NOTE_TYPE 1

#ifdef __cplusplus
#define KVRX_SDK_EXTERN_C extern "C"
#else
#define KVRX_SDK_EXTERN_C
#endif

#define KVRX_SDK_TEXT_(x) #x
#define KVRX_SDK_TEXT(x) KVRX_SDK_TEXT_(x)

// The marker is x86-64 code, so the macro exists for x86-64 ELF targets only.
// Its four bytes after the jump are KVRX_API_VERSION, little-endian.
#if defined(__x86_64__) && defined(__ELF__)
#define KVRX_DEFINE_API_VERSION(moduleType)                                                            \
  KVRX_SDK_EXTERN_C __attribute__((visibility("default"))) unsigned kvrxGetApiVersion(unsigned flags); \
  __asm__(".pushsection .text.kvrxGetApiVersion,\"ax\",@progbits\n"                                   \
          ".globl kvrxGetApiVersion\n"                                                                \
          ".type kvrxGetApiVersion, @function\n"                                                      \
          "kvrxGetApiVersion:\n"                                                                      \
          ".byte 0xEB, 0x04, 0x00, 0x00, 0x17, 0x00\n"                                                \
          "movl $" KVRX_SDK_TEXT(KVRX_API_VERSION) ", %eax\n"                                         \
          "ret\n"                                                                                     \
          ".size kvrxGetApiVersion, . - kvrxGetApiVersion\n"                                          \
          ".popsection\n"                                                                             \
          ".pushsection .note.kvrx.sdk, \"a\", @note\n"                                               \
          ".balign 4\n"                                                                               \
          ".long 7771f - 7770f\n"                                                                     \
          ".long 7773f - 7772f\n"                                                                     \
          ".long " KVRX_SDK_TEXT(KVRX_SDK_NOTE_TYPE) "\n"                                             \
          "7770: .asciz \"" KVRX_SDK_NOTE_OWNER "\"\n"                                                \
          "7771: .balign 4\n"                                                                         \
          "7772: .long " KVRX_SDK_TEXT(KVRX_SDK_TOOLSET_MAJOR) "\n"                                   \
          ".asciz \"" moduleType "\"\n"                                                               \
          ".balign 4\n"                                                                               \
          "7773:\n"                                                                                   \
          ".popsection\n")
#endif
