// Module signatures: where they lie in ELF and Windows modules, the verdict
// against the configured anchors, and signing ELF modules.
#include "filesystem/trust/embedded_signature.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "base/utf8.h"
#include "modules/image_parser.h"
#include "pal/code_trust.h"
#include "pal/module_image.h"
#include "settings/env_expand.h"
#include "settings/settings_store.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

constexpr std::size_t kTrailerSize = kAppendedRecordSize + kAppendedSignatureMarker.size();
constexpr std::uint8_t kPkcs7IdType = 2;
// A certificate-table entry: length, revision, type, then the certificate.
constexpr std::uint32_t kCertificateHeaderSize = 8;
constexpr std::uint16_t kPkcsSignedDataType = 2;

constexpr const wchar_t* kTrustKey = L"Software\\Halvex\\Tessaran\\CodeTrust";
constexpr const wchar_t* kCertificateFolderValue = L"CertificateFolder";
constexpr std::size_t kMaxFolderValueBytes = 65536;

struct ImageCloser {
  void operator()(ModuleImage* image) const { image->close(); }
};
using ImagePtr = std::unique_ptr<ModuleImage, ImageCloser>;

Bytes bytesOf(ByteView view, std::uint64_t offset, std::uint64_t length) {
  return Bytes(view.data() + offset, static_cast<std::size_t>(length));
}

SignatureBlock malformed(std::string fault) {
  SignatureBlock block;
  block.kind = SignatureBlock::Malformed;
  block.fault = std::move(fault);
  return block;
}

bool hasMarker(ByteView file) {
  return file.size() >= kTrailerSize &&
         std::memcmp(file.data() + file.size() - kAppendedSignatureMarker.size(),
                     kAppendedSignatureMarker.data(), kAppendedSignatureMarker.size()) == 0;
}

SignatureBlock appendedSignature(ByteView file) {
  if (!hasMarker(file)) return {};
  const std::uint64_t record = file.size() - kTrailerSize;
  // The fields other than the type and length name a key the kernel looks
  // up instead of reading PKCS#7; in a PKCS#7 signature they stay 0.
  for (std::uint64_t i = 0; i < 8; ++i)
    if (*file.read<std::uint8_t>(record + i) != (i == 2 ? kPkcs7IdType : 0))
      return malformed("the signature record is not one of a PKCS#7 signature");
  const std::uint32_t length = *file.withByteOrder(true).read<std::uint32_t>(record + 8);
  if (length == 0 || length > record) return malformed("the signature's length does not fit the file");
  SignatureBlock block;
  block.kind = SignatureBlock::Appended;
  block.signedData = bytesOf(file, record - length, length);
  block.covered = {bytesOf(file, 0, record - length)};
  return block;
}

SignatureBlock authenticodeSignature(ByteView file, const CertificateTable& layout) {
  if (layout.offset == 0 && layout.size == 0) return {};
  const std::uint64_t tableEnd = std::uint64_t{layout.offset} + layout.size;
  // The table follows the headers, so every left-out field lies before it.
  if (layout.offset < layout.entryOffset + 8 || !file.has(layout.offset, layout.size))
    return malformed("the certificate table lies outside the file");
  const auto length = file.read<std::uint32_t>(layout.offset);
  const auto type = file.read<std::uint16_t>(layout.offset + 6);
  if (!type || *length < kCertificateHeaderSize || *length > layout.size)
    return malformed("the certificate table's first entry is malformed");
  if (*type != kPkcsSignedDataType) return malformed("the certificate table holds no PKCS#7 signature");
  SignatureBlock block;
  block.kind = SignatureBlock::Authenticode;
  block.signedData = bytesOf(file, layout.offset + kCertificateHeaderSize, *length - kCertificateHeaderSize);
  const std::uint64_t afterChecksum = layout.checksumOffset + 4, afterEntry = layout.entryOffset + 8;
  block.covered = {bytesOf(file, 0, layout.checksumOffset),
                   bytesOf(file, afterChecksum, layout.entryOffset - afterChecksum),
                   bytesOf(file, afterEntry, layout.offset - afterEntry),
                   bytesOf(file, tableEnd, file.size() - tableEnd)};
  return block;
}

std::wstring certificateFolderSetting() {
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    const std::shared_ptr<SettingsHive> hive = openHive(root);
    SettingsHive::KeyId key = 0;
    StoreValue value;
    if (!hive || hive->openKey(kTrustKey, key) != ERROR_SUCCESS ||
        hive->getValue(key, kCertificateFolderValue, value) != ERROR_SUCCESS ||
        value.data.size() > kMaxFolderValueBytes)
      continue;
    if (value.type == REG_SZ) return stringFromData(value.data);
    if (value.type == REG_EXPAND_SZ) return expandEnvironmentReferences(stringFromData(value.data));
  }
  return {};
}

}  // namespace

SignatureBlock findSignatureBlock(ByteView file) {
  const std::unique_ptr<ImageParser> parser = parseImage(file);
  switch (parser->format()) {
    case ModuleImage::ElfModule:
      if (parser->status() == ModuleImage::BadModuleHeader) return {};
      return appendedSignature(file);
    case ModuleImage::WindowsModule:
      if (auto layout = parser->certificateTable()) return authenticodeSignature(file, *layout);
      return {};
    default:
      return {};
  }
}

SignatureCheck checkModuleSignature(ByteView file, const TrustAnchors& anchors) {
  const SignatureBlock block = findSignatureBlock(file);
  switch (block.kind) {
    case SignatureBlock::Absent:
      return {-1, {}, "the file is not signed, or is not a module"};
    case SignatureBlock::Malformed:
      return signatureFails(block.fault);
    case SignatureBlock::Appended:
      return verifyDetachedSignature(block.covered.front(), block.signedData, anchors);
    case SignatureBlock::Authenticode:
      return verifyIndirectDataSignature(block.signedData, block.covered, anchors);
  }
  return {};
}

SignatureCheck checkModuleSignatureFile(const std::string& path, const TrustAnchors& anchors) {
  const ImagePtr image(ModuleImage::open(path.c_str()));
  if (image->openError() != 0) return {-1, {}, "the file cannot be read"};
  return checkModuleSignature(ModuleImageAccess::parser(*image).view(), anchors);
}

TrustAnchors configuredTrustAnchors() {
  TrustAnchors anchors;
  const std::wstring folder = certificateFolderSetting();
  if (!folder.empty()) {
    std::filesystem::path trusted(wideToUtf8(folder));
    // "certs/" names the same folder as "certs", whose sibling is wanted.
    if (!trusted.has_filename()) trusted = trusted.parent_path();
    anchors.trustedFolders.push_back(trusted.string());
    anchors.distrustedFolders.push_back((trusted.parent_path() / "distrusted").string());
  }
  return anchors;
}

std::vector<std::uint8_t> appendedSignatureTrailer(std::uint32_t signatureSize) {
  std::vector<std::uint8_t> trailer(kTrailerSize, 0);
  trailer[2] = kPkcs7IdType;
  for (int i = 0; i < 4; ++i) trailer[8 + i] = static_cast<std::uint8_t>(signatureSize >> (24 - 8 * i));
  std::copy(kAppendedSignatureMarker.begin(), kAppendedSignatureMarker.end(),
            trailer.begin() + kAppendedRecordSize);
  return trailer;
}

bool signModuleFile(const std::string& path, const std::string& keyFile, const std::string& certFile,
                    std::string& error) {
  namespace fs = std::filesystem;
  const ImagePtr image(ModuleImage::open(path.c_str()));
  if (image->openError() != 0) {
    error = "cannot read " + path;
    return false;
  }
  if (image->format() != ModuleImage::ElfModule || image->parseStatus() == ModuleImage::BadModuleHeader) {
    error = path + " is not an ELF module";
    return false;
  }
  const ByteView file = ModuleImageAccess::parser(*image).view();
  const SignatureBlock block = findSignatureBlock(file);
  if (block.kind == SignatureBlock::Malformed) {
    error = path + " ends in a damaged signature (" + block.fault + ")";
    return false;
  }
  // Signing again replaces the signature rather than signing it too.
  const Bytes module =
      block.kind == SignatureBlock::Appended ? block.covered.front() : Bytes(file.data(), file.size());
  std::vector<std::uint8_t> signature;
  if (!signDetached(module, keyFile, certFile, signature, error)) return false;
  const std::vector<std::uint8_t> trailer =
      appendedSignatureTrailer(static_cast<std::uint32_t>(signature.size()));

  // A link keeps pointing at the signed module.
  std::error_code fsError;
  fs::path target = fs::canonical(path, fsError);
  if (fsError) target = path;
  const fs::path temporary = target.parent_path() / (target.filename().string() + ".signing");
  std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
  for (const Bytes part : {module, Bytes(signature), Bytes(trailer)})
    out.write(reinterpret_cast<const char*>(part.data()), static_cast<std::streamsize>(part.size()));
  out.close();
  if (out.fail()) {
    fs::remove(temporary, fsError);
    error = "cannot write " + temporary.string();
    return false;
  }
  fs::permissions(temporary, fs::status(target, fsError).permissions(), fsError);
  fs::rename(temporary, target, fsError);
  if (fsError) {
    fs::remove(temporary, fsError);
    error = "cannot replace " + target.string();
    return false;
  }
  return true;
}

}  // namespace Halvex::Tessaran::PAL::detail

namespace Halvex::Tessaran::PAL::CodeTrust {

int verifyEmbeddedSignature(const wchar_t* file) {
  if (!file) return -1;
  try {
    return detail::checkModuleSignatureFile(detail::wideToUtf8(file), detail::configuredTrustAnchors())
        .verdict;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

}  // namespace Halvex::Tessaran::PAL::CodeTrust
