// Code trust: the folders whose modules and Lisp files count as trusted, the
// expansion of a path reached through a linked folder, and the checks of a
// module's embedded signature and of a Lisp file's signature.
//
// Where Linux differs from what a Windows caller expects:
// - The program-files folder is /opt (where add-on applications install), the
//   32-bit program-files folder is /usr (the system's own programs) and the
//   module folder is the folder of the running executable (/proc/self/exe).
// - Entries keep their case: names are case-sensitive, so an upper-cased
//   entry would name a folder that does not exist.
// - The module folder joins the list unless it lies under the program-files
//   folder, compared by whole path elements: "/home/u/options" is not under
//   "/opt". An unknown executable adds no module folder.
// - A substituted drive's counterpart is a folder reached through symbolic
//   links or a bind mount. `expandSubstitutedDrive` takes an absolute path,
//   resolves the symbolic links of its longest leading part that names an
//   existing folder and, when that part lies under a bind mount of a folder
//   the mount table shows elsewhere, names it by that folder. It answers true
//   with the rewritten path when a link or bind mount was crossed; false with
//   the path untouched for a relative path, a path with no existing linked
//   folder, or a result of 4096 bytes or more.
// - Paths given to the verification functions are converted to UTF-8.
// - verifyEmbeddedSignature reads ELF modules and Windows modules. An ELF
//   module carries a signature appended as the kernel's module signing
//   appends it (the module, a detached PKCS#7 SignedData over it, a 12-byte
//   record and "~Module signature appended~\n"; `kvpal sign` makes one). A
//   Windows module carries Authenticode in its certificate table; its image
//   digest covers the whole file but the checksum, the certificate-table
//   entry and the table. Either is checked with OpenSSL. An ELF module of
//   2 GiB or more cannot be verified: -1.
// - Trust anchors are the system's certificates (OpenSSL's default places;
//   SSL_CERT_FILE and SSL_CERT_DIR override them) and the certificates in
//   the folder named by the string value "CertificateFolder" of the settings
//   key HKEY_CURRENT_USER\Software\Halvex\Tessaran\CodeTrust, else of the
//   same key under HKEY_LOCAL_MACHINE; the folder "distrusted" beside that
//   folder holds explicitly distrusted certificates. Both folders hold PEM
//   or DER files and are read at every call. A certificate in the
//   certificate folder is trusted by itself, so a plug-in author's
//   self-signed certificate can be trusted without a CA. A signer whose
//   certificate names key usages must be allowed to sign code.
// - No revocation checks and no timestamps: certificates are checked at the
//   time of the call. Nothing stands for the system's security settings.
// - A signature block that is present but malformed (a marker with a wrong
//   record or length, a certificate table outside the file, bytes that are
//   no SignedData) counts as a failing signature: 1.
// - verifyLispFileSignature reaches the verification component as an
//   in-process component server: the default value of
//   HKEY_CLASSES_ROOT\CLSID\{D3FE4AE5-9DFC-4EA4-941B-9FD7ADD347FF}\InprocServer32
//   (the user's Software\Classes over the machine's) names a shared object
//   exporting
//     HRESULT DllGetClassObject(const ComponentId* classId,
//                               const ComponentId* interfaceId, void** object)
//   that answers, for the class identifier and the class-factory interface
//   {00000001-0000-0000-C000-000000000046}, an object whose v-table holds
//   QueryInterface, AddRef, Release, CreateInstance(outer, interfaceId,
//   object) and LockServer. CreateInstance gives an object of the
//   interface kLispSignatureVerifierInterfaceId, whose v-table holds
//   QueryInterface, AddRef, Release, then
//     HRESULT hasSignature(const char16_t* path, int32_t reserved, int32_t* present)
//     a method the library does not call
//     HRESULT isSignatureValid(const char16_t* path, int32_t reserved, int32_t* valid)
//   HRESULT is a 32-bit signed number, negative on failure; every call uses
//   the platform's C calling convention. `path` is a length-prefixed UTF-16
//   string (the 32-bit byte count of its text stands before its first unit;
//   a zero unit ends it) and `reserved` is 0. The shared object stays
//   loaded, as an in-process server does until the process frees unused
//   libraries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pal/export.h"

namespace Halvex::Tessaran::PAL::CodeTrust {

// Built once, on the first call (several threads may make it at once), and
// kept until the process ends: later moves of the executable are not seen.
PAL_EXPORT std::vector<std::wstring> getDefaultTrustedPaths();
PAL_EXPORT bool expandSubstitutedDrive(std::wstring& path);

// 0: signed, intact and trusted. 1: a signature is present but its digest
// fails or its signer is not trusted or explicitly distrusted. -1: unsigned,
// unreadable or not a module.
PAL_EXPORT int verifyEmbeddedSignature(const wchar_t* file);
// 0: the component finds a valid signature; 1: a signature that is not
// valid; -1: no signature, or the component cannot be reached.
PAL_EXPORT int verifyLispFileSignature(const wchar_t* file);

// A class or interface identifier, laid out as a GUID.
struct ComponentId {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];
};

inline constexpr ComponentId kLispSignatureVerifierClassId{
    0xD3FE4AE5, 0x9DFC, 0x4EA4, {0x94, 0x1B, 0x9F, 0xD7, 0xAD, 0xD3, 0x47, 0xFF}};
inline constexpr ComponentId kLispSignatureVerifierInterfaceId{
    0x0218A848, 0x436E, 0x4E3B, {0x8B, 0xD4, 0xED, 0xF1, 0x4F, 0x19, 0x40, 0xF9}};

}  // namespace Halvex::Tessaran::PAL::CodeTrust
