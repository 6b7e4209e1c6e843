// Verifying a signed 20 MiB ELF module against what `openssl cms -verify
// -binary -content MODULE -CAfile CERT -purpose any` does in-process with the
// same bytes: the system store and the CA file loaded, the SignedData read,
// the content hashed and the signer chained.
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "filesystem/trust/embedded_signature.h"
#include "pal/code_trust.h"
#include "ratio_reporter.h"
#include "settings/settings_store.h"

namespace {

namespace detail = Halvex::Tessaran::PAL::detail;
namespace fs = std::filesystem;

constexpr std::size_t kModuleBytes = 20u << 20;

std::string gDir, gModule, gCert;
std::vector<std::uint8_t> gContent, gSignature;

std::vector<std::uint8_t> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A real ELF file padded with data to the module size, signed by kvpal's own
// signer with a fresh certificate that the settings store trusts.
bool prepare() {
  const std::string certs = gDir + "/certs", key = gDir + "/signer.key";
  gCert = certs + "/signer.pem";
  gModule = gDir + "/module.so";
  fs::create_directories(certs);
  const std::string command =
      "openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=KvPal\\ Bench -days 2 "
      "-addext extendedKeyUsage=codeSigning -keyout " +
      key + " -out " + gCert + " 2>/dev/null";
  if (std::system(command.c_str()) != 0) return false;
  std::vector<std::uint8_t> module = readBytes("/proc/self/exe");
  std::mt19937 random(7);
  while (module.size() < kModuleBytes) module.push_back(static_cast<std::uint8_t>(random()));
  module.resize(kModuleBytes);
  std::ofstream(gModule, std::ios::binary)
      .write(reinterpret_cast<const char*>(module.data()), static_cast<std::streamsize>(module.size()));
  std::string error;
  if (!detail::signModuleFile(gModule, key, gCert, error)) return false;

  const std::vector<std::uint8_t> file = readBytes(gModule);
  const detail::SignatureBlock block = detail::findSignatureBlock(detail::ByteView(file.data(), file.size()));
  if (block.kind != detail::SignatureBlock::Appended) return false;
  gContent.assign(block.covered.front().begin(), block.covered.front().end());
  gSignature.assign(block.signedData.begin(), block.signedData.end());

  setenv("KVPAL_USER_HIVE", (gDir + "/user.db").c_str(), 1);
  setenv("KVPAL_MACHINE_HIVE", (gDir + "/machine.db").c_str(), 1);
  const auto hive = detail::openHive(detail::HKEY_CURRENT_USER);
  detail::SettingsHive::KeyId id = 0;
  return hive->createKey(L"Software\\Halvex\\Tessaran\\CodeTrust", id) == 0 &&
         hive->setValue(
             id, {L"CertificateFolder", detail::REG_SZ, detail::stringData(detail::utf8ToWide(certs))}) == 0;
}

void BM_VerifyEmbeddedSignature(benchmark::State& state) {
  const std::wstring path = detail::utf8ToWide(gModule);
  for (auto _ : state) {
    const int verdict = Halvex::Tessaran::PAL::CodeTrust::verifyEmbeddedSignature(path.c_str());
    if (verdict != 0) state.SkipWithError("the module did not verify");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kModuleBytes));
}
BENCHMARK(BM_VerifyEmbeddedSignature)->Unit(benchmark::kMillisecond);

void BM_OpensslCmsVerify(benchmark::State& state) {
  for (auto _ : state) {
    X509_STORE* store = X509_STORE_new();
    X509_STORE_set_default_paths(store);
    X509_STORE_load_file(store, gCert.c_str());
    X509_STORE_set_purpose(store, X509_PURPOSE_ANY);
    BIO* signature = BIO_new_mem_buf(gSignature.data(), static_cast<int>(gSignature.size()));
    BIO* content = BIO_new_mem_buf(gContent.data(), static_cast<int>(gContent.size()));
    CMS_ContentInfo* cms = d2i_CMS_bio(signature, nullptr);
    if (!cms || CMS_verify(cms, nullptr, store, content, nullptr, CMS_BINARY) != 1)
      state.SkipWithError("openssl did not verify the module");
    CMS_ContentInfo_free(cms);
    BIO_free(content);
    BIO_free(signature);
    X509_STORE_free(store);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kModuleBytes));
}
BENCHMARK(BM_OpensslCmsVerify)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  std::string pattern = "/tmp/kvpal-signature-bench-XXXXXX";
  if (!::mkdtemp(pattern.data())) return 1;
  gDir = pattern;
  int result = 1;
  if (prepare())
    result = kvpal::bench::runWithRatios(argc, argv,
                                         {{"verify a signed 20 MiB ELF module: library vs openssl cms",
                                           "BM_VerifyEmbeddedSignature", "BM_OpensslCmsVerify"}});
  else
    std::fprintf(stderr, "signature_bench: could not make the signed module\n");
  std::error_code error;
  fs::remove_all(gDir, error);
  return result;
}
