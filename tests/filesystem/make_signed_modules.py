#!/usr/bin/env python3
"""Signed module fixtures, made with tools independent of the library: test
certificates from openssl, Windows modules from mingw-w64 signed by
osslsigncode, ELF shared objects signed by openssl cms with the signature
appended in the kernel's module-signing layout.

usage: make_signed_modules.py OUT_DIR ELF_CC PE_CC [SEEDS_DIR]

OUT_DIR/anchors/certs      the trusted certificate folder (the test CA)
OUT_DIR/anchors/distrusted the distrusted folder beside it
OUT_DIR/keys/              keys and certificates of the signers
OUT_DIR/{elf,pe}-{unsigned,signed,tampered,untrusted,distrusted,email}.{so,dll}
OUT_DIR/elf-nocerts.so     signed by the test signer, carrying no certificate
SEEDS_DIR                  the modules again, as a fuzzing corpus
"""
import os
import shutil
import struct
import subprocess
import sys

MARKER = b"~Module signature appended~\n"

SOURCE = b"""
int kvpal_fixture_value(int x) { return x * 7 + 3; }
const char kvpal_fixture_text[] = "a module whose bytes the signature covers";
"""


def run(*args):
    done = subprocess.run(args, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit("%s failed:\n%s" % (" ".join(args), done.stderr))


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def make_certificates(keys):
    def ext_file(name, text):
        path = os.path.join(keys, name + ".ext")
        with open(path, "w") as f:
            f.write(text)
        return path

    code_ext = ext_file("code", "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                        "extendedKeyUsage=codeSigning\n")
    email_ext = ext_file("email", "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                         "extendedKeyUsage=emailProtection\n")

    def key(name):
        path = os.path.join(keys, name + ".key")
        run("openssl", "genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048", "-out", path)
        return path

    def root(name, subject):
        k = key(name)
        cert = os.path.join(keys, name + ".pem")
        run("openssl", "req", "-new", "-x509", "-key", k, "-subj", subject, "-days", "3650", "-sha256",
            "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign",
            "-out", cert)
        return k, cert

    def issued(name, subject, ca, ext):
        k = key(name)
        request = os.path.join(keys, name + ".csr")
        cert = os.path.join(keys, name + ".pem")
        run("openssl", "req", "-new", "-key", k, "-subj", subject, "-out", request)
        run("openssl", "x509", "-req", "-in", request, "-CA", ca[1], "-CAkey", ca[0], "-CAcreateserial",
            "-days", "3650", "-sha256", "-extfile", ext, "-out", cert)
        return k, cert

    ca = root("ca", "/O=KvPal Tests/CN=KvPal Test CA")
    other_ca = root("other-ca", "/O=KvPal Tests/CN=KvPal Untrusted CA")
    return {
        "ca": ca,
        "signed": issued("signer", "/O=KvPal Tests/CN=KvPal Test Signer", ca, code_ext),
        "untrusted": issued("untrusted", "/O=KvPal Tests/CN=KvPal Untrusted Signer", other_ca, code_ext),
        "distrusted": issued("distrusted", "/O=KvPal Tests/CN=KvPal Distrusted Signer", ca, code_ext),
        "email": issued("email", "/O=KvPal Tests/CN=KvPal Mail Signer", ca, email_ext),
    }


def sign_elf(module, signer, out, work, *options):
    signature = os.path.join(work, "signature.der")
    run("openssl", "cms", "-sign", "-binary", "-noattr", "-nosmimecap", "-md", "sha256", "-outform", "DER",
        "-signer", signer[1], "-inkey", signer[0], "-in", module, "-out", signature, *options)
    sig = read(signature)
    # algorithm, hash, identifier type (2: PKCS#7), signer and key id
    # lengths, padding, then the signature's length (big-endian).
    record = struct.pack(">BBBBB3xI", 0, 0, 2, 0, 0, len(sig))
    write(out, read(module) + sig + record + MARKER)


def sign_pe(module, signer, out):
    run("osslsigncode", "sign", "-certs", signer[1], "-key", signer[0], "-h", "sha256", "-n", "KvPal fixture",
        "-in", module, "-out", out)


def tamper(source, out, at):
    data = bytearray(read(source))
    data[at] ^= 0x01
    write(out, bytes(data))


def main():
    out, elf_cc, pe_cc = sys.argv[1:4]
    seeds = sys.argv[4] if len(sys.argv) > 4 else None
    shutil.rmtree(out, ignore_errors=True)
    keys = os.path.join(out, "keys")
    work = os.path.join(out, "work")
    for folder in (keys, work, os.path.join(out, "anchors", "certs"), os.path.join(out, "anchors", "distrusted")):
        os.makedirs(folder)
    signers = make_certificates(keys)
    shutil.copy(signers["ca"][1], os.path.join(out, "anchors", "certs", "ca.pem"))
    shutil.copy(signers["distrusted"][1], os.path.join(out, "anchors", "distrusted", "signer.pem"))

    source = os.path.join(work, "module.c")
    write(source, SOURCE)
    elf = os.path.join(out, "elf-unsigned.so")
    pe = os.path.join(out, "pe-unsigned.dll")
    run(elf_cc, "-shared", "-fPIC", "-O1", "-o", elf, source)
    run(pe_cc, "-shared", "-O1", "-s", "-o", pe, source)

    for name in ("signed", "untrusted", "distrusted", "email"):
        sign_elf(elf, signers[name], os.path.join(out, "elf-%s.so" % name), work)
        sign_pe(pe, signers[name], os.path.join(out, "pe-%s.dll" % name))
    sign_elf(elf, signers["signed"], os.path.join(out, "elf-nocerts.so"), work, "-nocerts")
    # One byte in the middle of the signed bytes: code or data, never a
    # header field the signature leaves out.
    tamper(os.path.join(out, "elf-signed.so"), os.path.join(out, "elf-tampered.so"), os.path.getsize(elf) // 2)
    tamper(os.path.join(out, "pe-signed.dll"), os.path.join(out, "pe-tampered.dll"), os.path.getsize(pe) // 2)
    shutil.rmtree(work)
    if seeds:
        shutil.rmtree(seeds, ignore_errors=True)
        os.makedirs(seeds)
        for name in os.listdir(out):
            if name.endswith((".so", ".dll")):
                shutil.copy(os.path.join(out, name), seeds)
    write(os.path.join(out, "stamp"), b"")


main()
