// Module signatures against modules signed at build time by tools
// independent of the library (openssl, osslsigncode), trust anchors from
// temporary hives, the kvpal sign and verify commands, and Lisp file
// signatures through a stand-in verification component.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "filesystem/trust/embedded_signature.h"
#include "modules/image_parser.h"
#include "pal/code_trust.h"
#include "settings/settings_store.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
namespace detail = Halvex::Tessaran::PAL::detail;
namespace CodeTrust = Halvex::Tessaran::PAL::CodeTrust;

const std::string kSigned = KVPAL_SIGNED_MODULES;
const std::string kAnchors = kSigned + "/anchors/certs";
const std::string kKeys = kSigned + "/keys";
constexpr const wchar_t* kTrustKey = L"Software\\Halvex\\Tessaran\\CodeTrust";
constexpr const wchar_t* kServerKey =
    L"Software\\Classes\\CLSID\\{D3FE4AE5-9DFC-4EA4-941B-9FD7ADD347FF}\\InprocServer32";

std::vector<std::uint8_t> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Where the image digest of a signed Windows module lies in its signature.
std::size_t imageDigestOffset(const std::vector<std::uint8_t>& file) {
  const detail::SignatureBlock block = detail::findSignatureBlock(detail::ByteView(file.data(), file.size()));
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
  for (const detail::Bytes& part : block.covered) EVP_DigestUpdate(context, part.data(), part.size());
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(context, digest, &length);
  EVP_MD_CTX_free(context);
  return static_cast<std::size_t>(std::search(file.begin(), file.end(), digest, digest + length) -
                                  file.begin());
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Fresh hives, and a system certificate store that holds nothing unless a
// case puts something there.
class TrustTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KVPAL_USER_HIVE", (tmp_.path() + "/hives/user.db").c_str(), 1);
    setenv("KVPAL_MACHINE_HIVE", (tmp_.path() + "/hives/machine.db").c_str(), 1);
    fs::create_directories(tmp_.path() + "/system-certs");
    setenv("SSL_CERT_DIR", (tmp_.path() + "/system-certs").c_str(), 1);
    setenv("SSL_CERT_FILE", (tmp_.path() + "/system-certs/none.pem").c_str(), 1);
  }

  static void setString(detail::HKEY root, const std::wstring& key, const wchar_t* name,
                        const std::string& value, DWORD type = detail::REG_SZ) {
    const auto hive = detail::openHive(root);
    detail::SettingsHive::KeyId id = 0;
    ASSERT_EQ(hive->createKey(key, id), 0u);
    ASSERT_EQ(hive->setValue(id, {name, type, detail::stringData(detail::utf8ToWide(value))}), 0u);
  }

  static void trustFolder(detail::HKEY root, const std::string& folder, DWORD type = detail::REG_SZ) {
    setString(root, kTrustKey, L"CertificateFolder", folder, type);
  }

  static int verdict(const std::string& path) {
    return CodeTrust::verifyEmbeddedSignature(detail::utf8ToWide(path).c_str());
  }

  static detail::SignatureCheck check(const std::string& path) {
    return detail::checkModuleSignatureFile(path, detail::configuredTrustAnchors());
  }

  // A folder of the temporary tree holding copies of the given files.
  std::string folderWith(const std::string& name, const std::vector<std::string>& files) {
    const std::string folder = tmp_.path() + "/" + name;
    fs::create_directories(folder);
    for (const std::string& file : files)
      fs::copy_file(file, folder + "/" + fs::path(file).filename().string());
    return folder;
  }

  kvpal::test::TempDir tmp_{"kvpal-trust"};
};

using EmbeddedSignature = TrustTest;

TEST_F(EmbeddedSignature, SignedModulesGiveTheirVerdicts) {
  trustFolder(detail::HKEY_LOCAL_MACHINE, kAnchors);
  struct Case {
    const char* file;
    int verdict;
    const char* signer;  // part of the subject shown, or null when none is
    const char* reason;  // part of the reason, or null when there is none
  };
  const Case cases[] = {
      {"elf-signed.so", 0, "CN=KvPal Test Signer", nullptr},
      {"elf-unsigned.so", -1, nullptr, "not signed"},
      {"elf-tampered.so", 1, nullptr, "do not match"},
      {"elf-untrusted.so", 1, "CN=KvPal Untrusted Signer", "not trusted"},
      {"elf-distrusted.so", 1, "CN=KvPal Distrusted Signer", "signer's certificate is explicitly distrusted"},
      {"elf-email.so", 1, "CN=KvPal Mail Signer", "code signing"},
      {"elf-nocerts.so", 1, nullptr, "neither in the signature nor in a trusted folder"},
      {"pe-signed.dll", 0, "CN=KvPal Test Signer", nullptr},
      {"pe-unsigned.dll", -1, nullptr, "not signed"},
      {"pe-tampered.dll", 1, "CN=KvPal Test Signer", "digest does not match"},
      {"pe-untrusted.dll", 1, "CN=KvPal Untrusted Signer", "not trusted"},
      {"pe-distrusted.dll", 1, "CN=KvPal Distrusted Signer", "signer's certificate is explicitly distrusted"},
      {"pe-email.dll", 1, "CN=KvPal Mail Signer", "code signing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = kSigned + "/" + c.file;
    EXPECT_EQ(verdict(path), c.verdict);
    const detail::SignatureCheck result = check(path);
    EXPECT_EQ(result.verdict, c.verdict);
    if (c.signer)
      EXPECT_TRUE(contains(result.signer, c.signer)) << result.signer;
    else
      EXPECT_EQ(result.signer, "");
    if (c.reason)
      EXPECT_TRUE(contains(result.reason, c.reason)) << result.reason;
    else
      EXPECT_EQ(result.reason, "");
  }
}

TEST_F(EmbeddedSignature, FilesThatAreNoModulesAreUnsigned) {
  const std::string text = tmp_.path() + "/notes.txt";
  writeBytes(text, {'h', 'i', '\n'});
  // A valid signature block appended to something that is no module.
  std::vector<std::uint8_t> signedText = readBytes(text);
  const std::vector<std::uint8_t> module = readBytes(kSigned + "/elf-unsigned.so"),
                                  signedModule = readBytes(kSigned + "/elf-signed.so");
  signedText.insert(signedText.end(), signedModule.begin() + static_cast<long>(module.size()),
                    signedModule.end());
  writeBytes(tmp_.path() + "/signed-notes.txt", signedText);
  writeBytes(tmp_.path() + "/empty", {});
  trustFolder(detail::HKEY_LOCAL_MACHINE, kAnchors);
  for (const std::string& path : {text, tmp_.path() + "/signed-notes.txt", tmp_.path() + "/empty",
                                  tmp_.path() + "/missing.so", tmp_.path()}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(verdict(path), -1);
  }
  EXPECT_EQ(CodeTrust::verifyEmbeddedSignature(nullptr), -1);
}

// The signature block is read from bytes an attacker controls: each damage
// must end in a verdict, never in a read outside the file.
TEST_F(EmbeddedSignature, DamagedSignatureBlocks) {
  const std::vector<std::uint8_t> elf = readBytes(kSigned + "/elf-signed.so"),
                                  pe = readBytes(kSigned + "/pe-signed.dll"),
                                  peUnsigned = readBytes(kSigned + "/pe-unsigned.dll");
  const std::size_t record =
      elf.size() - detail::kAppendedSignatureMarker.size() - detail::kAppendedRecordSize;
  const std::size_t signatureStart = readBytes(kSigned + "/elf-unsigned.so").size();
  auto layoutOf = [](const std::vector<std::uint8_t>& bytes) {
    return *detail::parseImage(detail::ByteView(bytes.data(), bytes.size()))->certificateTable();
  };
  const detail::CertificateTable table = layoutOf(pe);
  auto put32 = [](std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value, bool bigEndian) {
    for (int i = 0; i < 4; ++i)
      bytes[at + i] = static_cast<std::uint8_t>(value >> (bigEndian ? 24 - 8 * i : 8 * i));
  };
  struct Case {
    const char* name;
    const std::vector<std::uint8_t>& original;
    std::function<void(std::vector<std::uint8_t>&)> damage;
    int verdict;
    const char* reason;
  };
  const Case cases[] = {
      {"ELF record of a key-id signature", elf, [&](auto& b) { b[record + 2] = 1; }, 1, "record"},
      {"ELF record with a signer name", elf, [&](auto& b) { b[record + 3] = 4; }, 1, "record"},
      {"ELF length past the start", elf, [&](auto& b) { put32(b, record + 8, 0xFFFFFFFF, true); }, 1,
       "length"},
      {"ELF length 0", elf, [&](auto& b) { put32(b, record + 8, 0, true); }, 1, "length"},
      {"ELF length one short", elf,
       [&](auto& b) { put32(b, record + 8, static_cast<std::uint32_t>(record - signatureStart - 1), true); },
       1, nullptr},
      {"ELF signature bytes that are no DER", elf, [&](auto& b) { b[signatureStart] = 0x04; }, 1, "no CMS"},
      {"ELF marker changed", elf, [&](auto& b) { b[b.size() - 2] = '!'; }, -1, nullptr},
      {"ELF trailer alone", elf, [&](auto& b) { b.erase(b.begin(), b.end() - 30); }, -1, nullptr},
      {"PE checksum changed", pe, [&](auto& b) { b[table.checksumOffset] ^= 0x5A; }, 0, nullptr},
      {"PE table past the end", pe, [&](auto& b) { put32(b, table.entryOffset, 0xFFFFFFF0, false); }, 1,
       "outside"},
      {"PE table inside the headers", pe, [&](auto& b) { put32(b, table.entryOffset, 16, false); }, 1,
       "outside"},
      {"PE table size past the end", pe, [&](auto& b) { put32(b, table.entryOffset + 4, 0x7FFFFFFF, false); },
       1, "outside"},
      {"PE entry shorter than its header", pe, [&](auto& b) { put32(b, table.offset, 4, false); }, 1,
       "malformed"},
      {"PE entry longer than the table", pe, [&](auto& b) { put32(b, table.offset, table.size + 1, false); },
       1, "malformed"},
      // The signature covers the indirect data that holds the digest.
      {"PE image digest in the signature changed", pe, [&](auto& b) { b[imageDigestOffset(pe) + 3] ^= 1; }, 1,
       "indirect data does not verify"},
      {"PE entry of an X.509 certificate", pe, [&](auto& b) { b[table.offset + 6] = 1; }, 1, "no PKCS#7"},
      {"PE signature bytes that are no DER", pe, [&](auto& b) { b[table.offset + 8] = 0x04; }, 1,
       "no PKCS#7"},
      {"PE unsigned with its checksum changed", peUnsigned,
       [&](auto& b) { b[layoutOf(peUnsigned).checksumOffset] ^= 1; }, -1, nullptr},
  };
  detail::TrustAnchors anchors;
  anchors.systemStore = false;
  anchors.trustedFolders = {kAnchors};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> bytes = c.original;
    c.damage(bytes);
    const detail::SignatureCheck result =
        detail::checkModuleSignature(detail::ByteView(bytes.data(), bytes.size()), anchors);
    EXPECT_EQ(result.verdict, c.verdict) << result.reason;
    if (c.reason) {
      EXPECT_TRUE(contains(result.reason, c.reason)) << result.reason;
    }
  }
}

TEST_F(EmbeddedSignature, TrustAnchorsComeFromTheSettingsAndTheSystem) {
  const std::string elf = kSigned + "/elf-signed.so", pe = kSigned + "/pe-signed.dll",
                    nocerts = kSigned + "/elf-nocerts.so";
  // Nothing trusted at all.
  EXPECT_EQ(verdict(elf), 1);
  EXPECT_EQ(verdict(pe), 1);

  // The system's store, where OpenSSL looks for it.
  setenv("SSL_CERT_FILE", (kAnchors + "/ca.pem").c_str(), 1);
  EXPECT_EQ(verdict(elf), 0);
  EXPECT_EQ(verdict(pe), 0);
  setenv("SSL_CERT_FILE", (tmp_.path() + "/system-certs/none.pem").c_str(), 1);

  // The user's folder comes before the machine's, even when it trusts less.
  trustFolder(detail::HKEY_LOCAL_MACHINE, kAnchors);
  EXPECT_EQ(verdict(elf), 0);
  trustFolder(detail::HKEY_CURRENT_USER, folderWith("empty", {}));
  EXPECT_EQ(verdict(elf), 1);
  EXPECT_EQ(verdict(pe), 1);

  // An expandable value.
  setenv("KVPAL_TEST_ANCHORS", kSigned.c_str(), 1);
  trustFolder(detail::HKEY_CURRENT_USER, "%KVPAL_TEST_ANCHORS%/anchors/certs", detail::REG_EXPAND_SZ);
  EXPECT_EQ(verdict(elf), 0);

  // A signer's own certificate trusted by itself, which also lets a
  // signature that carries no certificate find its signer.
  trustFolder(detail::HKEY_CURRENT_USER, folderWith("signer-only", {kKeys + "/signer.pem"}));
  EXPECT_EQ(verdict(elf), 0);
  EXPECT_EQ(verdict(pe), 0);
  EXPECT_EQ(verdict(nocerts), 0);
  EXPECT_EQ(verdict(kSigned + "/elf-untrusted.so"), 1);

  // The distrusted folder beside the certificate folder: a distrusted CA
  // fails everything it issued.
  const std::string root = tmp_.path() + "/product";
  folderWith("product/certs", {kAnchors + "/ca.pem"});
  trustFolder(detail::HKEY_CURRENT_USER, root + "/certs");
  EXPECT_EQ(verdict(elf), 0);
  folderWith("product/distrusted", {kAnchors + "/ca.pem"});
  EXPECT_EQ(verdict(elf), 1);
  EXPECT_TRUE(contains(check(pe).reason, "chain is explicitly distrusted")) << check(pe).reason;
}

// kvpal sign signs as the kernel does, so openssl reads its signature too.
TEST_F(EmbeddedSignature, KvpalSignAndVerifyRoundTrip) {
  trustFolder(detail::HKEY_LOCAL_MACHINE, kAnchors);
  const std::string module = tmp_.path() + "/plugin.so";
  fs::copy_file(kSigned + "/elf-unsigned.so", module);
  const std::vector<std::uint8_t> original = readBytes(module);
  const std::string key = kKeys + "/signer.key", cert = kKeys + "/signer.pem";
  auto kvpal = [](const std::vector<std::string>& args) {
    std::vector<std::string> argv{KVPAL_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    return kvpal::test::runChild(argv);
  };

  ASSERT_EQ(kvpal({"sign", "--key", key, "--cert", cert, module}).exitCode, 0);
  const std::vector<std::uint8_t> signedOnce = readBytes(module);
  ASSERT_GT(signedOnce.size(), original.size());
  EXPECT_TRUE(std::equal(original.begin(), original.end(), signedOnce.begin()));
  EXPECT_EQ(verdict(module), 0);
  const kvpal::test::ChildOutcome verified = kvpal({"verify", module});
  EXPECT_EQ(verified.exitCode, 0);
  EXPECT_TRUE(contains(verified.output, "verdict: 0")) << verified.output;
  EXPECT_TRUE(contains(verified.output, "signer: CN=KvPal Test Signer")) << verified.output;

  // openssl verifies the detached signature over the module's bytes.
  const std::size_t signatureSize = signedOnce.size() - original.size() - detail::kAppendedRecordSize -
                                    detail::kAppendedSignatureMarker.size();
  writeBytes(
      tmp_.path() + "/signature.der",
      std::vector<std::uint8_t>(signedOnce.begin() + static_cast<long>(original.size()),
                                signedOnce.begin() + static_cast<long>(original.size() + signatureSize)));
  writeBytes(tmp_.path() + "/content", original);
  EXPECT_EQ(kvpal::test::runShell("openssl cms -verify -binary -inform DER -purpose any -in " + tmp_.path() +
                                  "/signature.der -content " + tmp_.path() + "/content -CAfile " + kAnchors +
                                  "/ca.pem -out /dev/null")
                .exitCode,
            0);

  // Signing again replaces the signature instead of covering it; signing
  // through a link signs the module and keeps the link.
  const std::string link = tmp_.path() + "/plugin-link.so";
  fs::create_symlink(module, link);
  ASSERT_EQ(kvpal({"sign", "--key", key, "--cert", cert, link}).exitCode, 0);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(readBytes(module).size(), signedOnce.size());
  EXPECT_EQ(verdict(module), 0);

  std::vector<std::uint8_t> tampered = readBytes(module);
  tampered[original.size() / 3] ^= 0x80;
  writeBytes(module, tampered);
  const kvpal::test::ChildOutcome failed = kvpal({"verify", module});
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_TRUE(contains(failed.output, "verdict: 1")) << failed.output;
  EXPECT_TRUE(contains(failed.output, "reason: the module's bytes do not match")) << failed.output;

  struct Refusal {
    std::vector<std::string> args;
    int exitCode;
  };
  const std::string pe = tmp_.path() + "/plugin.dll";
  fs::copy_file(kSigned + "/pe-unsigned.dll", pe);
  const Refusal refusals[] = {
      {{"sign", "--key", key, "--cert", cert, pe}, 1},
      {{"sign", "--key", kKeys + "/untrusted.key", "--cert", cert, module}, 1},
      {{"sign", "--key", tmp_.path() + "/missing.key", "--cert", cert, module}, 1},
      {{"sign", "--cert", cert, module}, 2},
      {{"sign", "--key", key, "--cert", cert}, 2},
      {{"verify"}, 2},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.args.back());
    EXPECT_EQ(kvpal(r.args).exitCode, r.exitCode);
  }
  EXPECT_EQ(readBytes(pe), readBytes(kSigned + "/pe-unsigned.dll"));
}

// Lisp files: the stand-in component signs files by their last line.
class LispSignature : public TrustTest {
 protected:
  void SetUp() override {
    TrustTest::SetUp();
    component_ = dlopen(KVPAL_LISP_VERIFIER, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(component_, nullptr) << dlerror();
    references_ = static_cast<int*>(dlsym(component_, "lisp_verifier_references"));
    misdirected_ = static_cast<int*>(dlsym(component_, "lisp_verifier_misdirected_calls"));
    ASSERT_NE(references_, nullptr);
    ASSERT_NE(misdirected_, nullptr);
  }
  void TearDown() override {
    // Every object handed out was released, and the slot between the two
    // queries never called.
    EXPECT_EQ(*references_, 0);
    EXPECT_EQ(*misdirected_, 0);
    dlclose(component_);
  }

  std::string lispFile(const std::string& name, const std::string& lastLine) {
    const std::string path = tmp_.path() + "/" + name;
    std::ofstream(path) << "(defun f (x) (* x 2))\n" << lastLine << "\n";
    return path;
  }

  static int verdict(const std::string& path) {
    return CodeTrust::verifyLispFileSignature(detail::utf8ToWide(path).c_str());
  }

  void* component_ = nullptr;
  int* references_ = nullptr;
  int* misdirected_ = nullptr;
};

TEST_F(LispSignature, VerdictsFromTheComponent) {
  const std::string good = lispFile("good.lsp", ";; signature: good");
  EXPECT_EQ(verdict(good), -1);  // not registered
  setString(detail::HKEY_CURRENT_USER, kServerKey, L"", KVPAL_LISP_VERIFIER);
  struct Case {
    std::string file;
    int verdict;
  };
  const Case cases[] = {
      {good, 0},
      {lispFile("bad.lsp", ";; signature: bad"), 1},
      {lispFile("failing.lsp", ";; signature: error"), 1},
      {lispFile("plain.lsp", ";; no signature"), -1},
      {tmp_.path() + "/missing.lsp", -1},
      // Outside the basic plane: two UTF-16 units, counted in the prefix.
      {lispFile("d\xC3\xA9j\xC3\xA0-\xF0\x9F\x93\x90.lsp", ";; signature: good"), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(verdict(c.file), c.verdict);
  }
  EXPECT_EQ(CodeTrust::verifyLispFileSignature(nullptr), -1);
}

TEST_F(LispSignature, ServerFoundUserHiveFirst) {
  const std::string good = lispFile("good.lsp", ";; signature: good");
  const std::string notAModule = lispFile("not-a-module.so", "");
  setString(detail::HKEY_LOCAL_MACHINE, kServerKey, L"", KVPAL_LISP_VERIFIER);
  EXPECT_EQ(verdict(good), 0);
  setString(detail::HKEY_CURRENT_USER, kServerKey, L"", tmp_.path() + "/missing.so");
  EXPECT_EQ(verdict(good), -1);
  setString(detail::HKEY_CURRENT_USER, kServerKey, L"", notAModule);
  EXPECT_EQ(verdict(good), -1);
  // A server without the class-object entry point.
  setString(detail::HKEY_CURRENT_USER, kServerKey, L"", KVPAL_NO_COMPONENT);
  EXPECT_EQ(verdict(good), -1);
  setenv("KVPAL_TEST_COMPONENT", KVPAL_LISP_VERIFIER, 1);
  setString(detail::HKEY_CURRENT_USER, kServerKey, L"", "%KVPAL_TEST_COMPONENT%", detail::REG_EXPAND_SZ);
  EXPECT_EQ(verdict(good), 0);
}

}  // namespace
