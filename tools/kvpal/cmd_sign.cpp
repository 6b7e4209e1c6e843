// kvpal sign and kvpal verify: appending a signature to an ELF module, and
// the verdict the library gives a module's embedded signature.
#include <iostream>
#include <string>

#include "command.h"
#include "filesystem/trust/embedded_signature.h"
#include "options.h"

namespace {

namespace detail = Halvex::Tessaran::PAL::detail;

constexpr const char* kSign = "sign";
constexpr const char* kVerify = "verify";

// The one file a command takes, or the usage error's exit code.
int oneFile(const char* name, const kvpal::Options& o, std::string& file) {
  if (o.positional.empty()) return kvpal::usageError(name, "missing FILE");
  if (o.positional.size() > 1)
    return kvpal::usageError(name, "unexpected argument '" + o.positional[1] + "'");
  file = o.positional[0];
  return kvpal::kOk;
}

int runSign(const kvpal::Args& args) {
  kvpal::Options o;
  std::string error, file;
  if (!kvpal::parseOptions(args, 0, {{"--key", "--cert"}, {}}, o, error))
    return kvpal::usageError(kSign, error);
  if (int usage = oneFile(kSign, o, file)) return usage;
  if (!o.has("--key") || !o.has("--cert"))
    return kvpal::usageError(kSign, "--key and --cert are both needed");
  if (!detail::signModuleFile(file, o.value("--key"), o.value("--cert"), error))
    return kvpal::failure(kSign, error);
  return kvpal::kOk;
}

const char* verdictText(int verdict) {
  switch (verdict) {
    case 0:
      return "signed, intact and trusted";
    case 1:
      return "the signature fails";
    default:
      return "not signed, or not a module";
  }
}

int runVerify(const kvpal::Args& args) {
  kvpal::Options o;
  std::string error, file;
  if (!kvpal::parseOptions(args, 0, {}, o, error)) return kvpal::usageError(kVerify, error);
  if (int usage = oneFile(kVerify, o, file)) return usage;
  const detail::SignatureCheck check =
      detail::checkModuleSignatureFile(file, detail::configuredTrustAnchors());
  std::cout << "file: " << file << "\n"
            << "verdict: " << check.verdict << " (" << verdictText(check.verdict) << ")\n";
  if (!check.signer.empty()) std::cout << "signer: " << check.signer << "\n";
  if (!check.reason.empty()) std::cout << "reason: " << check.reason << "\n";
  return check.verdict == 0 ? kvpal::kOk : kvpal::kFailed;
}

}  // namespace

KVPAL_COMMAND("sign", "append a signature to an ELF module",
              "usage: kvpal sign --key KEY --cert CERT FILE\n\n"
              "Signs the ELF module FILE as the kernel signs its modules: a detached\n"
              "PKCS#7 signature (SHA-256, no signed attributes) over the module's bytes,\n"
              "appended with its length record and \"~Module signature appended~\".\n"
              "KEY is the private key and CERT the signer's certificate (PEM or DER); any\n"
              "further certificates in a PEM CERT travel in the signature too, for\n"
              "verifiers that lack the intermediates. A signature FILE already carries is\n"
              "replaced. FILE is rewritten through a new file renamed over it.\n",
              runSign);

KVPAL_COMMAND("verify", "check a module's embedded signature",
              "usage: kvpal verify FILE\n\n"
              "Checks the signature an ELF module appends or a Windows module carries in\n"
              "its certificate table against the system's certificates and the\n"
              "certificate folder of the settings store (CertificateFolder under\n"
              "Software\\Halvex\\Tessaran\\CodeTrust, the user's before the machine's,\n"
              "with the \"distrusted\" folder beside it). Prints the verdict (0 signed,\n"
              "intact and trusted; 1 the signature fails; -1 not signed or not a\n"
              "module), the signer's subject and the reason for a failure. Exits with 0\n"
              "only for verdict 0.\n",
              runVerify);
