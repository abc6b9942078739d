#!/usr/bin/env python3
"""Package signatures that two verifiers could read differently, for the
publisher-check table: each is made from a real openssl cms signature and
changed where its kind says, then appended to the package as its signature
entry. The starter and kstool verify must refuse every one alike.

usage: craft_signature.py <kind> <package> <work folder>
kinds:
  crafted-certificates  signed with key B under a certificate whose issuer
                        is the publisher's in other letter case and whose
                        serial is the publisher's; the signer names the
                        publisher's exact issuer, and its certificate comes
                        first in the set, so a loose name match takes it
  unsorted-attributes   signed attributes out of DER order, signed as stored
  sha1-digests          SHA-1 as the only digest algorithm of the list
  no-digests            an empty digest algorithm list
  garbage-crls          a revocation list that is none
  ecdsa-named           an RSA signature named ECDSA with SHA-256
The work folder holds cert-a.pem, key-a.pem, key-b.pem (signed_files.sh).
"""
import hashlib
import os
import struct
import subprocess
import sys
import zlib


class Node:
    """A DER element: constructed ones hold children, others their bytes."""

    def __init__(self, tag, value=b"", children=None):
        self.tag, self.value, self.children = tag, value, children


def read(data, pos=0):
    tag = data[pos]
    length = data[pos + 1]
    pos += 2
    if length & 0x80:
        count = length & 0x7F
        length = int.from_bytes(data[pos:pos + count], "big")
        pos += count
    content = data[pos:pos + length]
    if tag & 0x20:
        children, at = [], 0
        while at < len(content):
            child, at = read(content, at)
            children.append(child)
        return Node(tag, children=children), pos + length
    return Node(tag, content), pos + length


def encode(node):
    content = b"".join(encode(c) for c in node.children) if node.children is not None else node.value
    n = len(content)
    if n < 0x80:
        length = bytes([n])
    else:
        raw = n.to_bytes((n.bit_length() + 7) // 8, "big")
        length = bytes([0x80 | len(raw)]) + raw
    return bytes([node.tag]) + length + content


def oid(text):
    return Node(0x06, bytes.fromhex(text))


SHA1 = "2b0e03021a"
ECDSA_SHA256 = "2a8648ce3d040302"


def run(*args, data=None):
    return subprocess.run(args, input=data, capture_output=True, check=True).stdout


def cms_sign(package, certificate, key, extra=()):
    return run("openssl", "cms", "-sign", "-binary", "-md", "sha256", "-outform", "DER", "-signer", certificate,
               "-inkey", key, "-in", package, *extra)


def resign(signer, key):
    """The signature over the signed attributes as they are now stored."""
    attributes = encode(Node(0x31, children=signer.children[3].children))
    digest = hashlib.sha256(attributes).digest()
    signer.children[5].value = run("openssl", "pkeyutl", "-sign", "-inkey", key, "-pkeyopt", "digest:sha256",
                                   data=digest)


def certificate_der(path):
    return run("openssl", "x509", "-in", path, "-outform", "DER")


def main():
    kind, package, work = sys.argv[1:4]
    a_cert, a_key, b_key = (os.path.join(work, n) for n in ("cert-a.pem", "key-a.pem", "key-b.pem"))
    if kind == "crafted-certificates":
        a_der = certificate_der(a_cert)
        a_tbs = read(a_der)[0].children[0]
        serial = a_tbs.children[1].value.hex()
        loose = os.path.join(work, "cert-loose.pem")
        run("openssl", "req", "-x509", "-key", b_key, "-out", loose, "-days", "2", "-set_serial", "0x" + serial,
            "-subj", "/CN=kestrelon throwaway publisher/O=Kestrelon Test")
        der = cms_sign(package, loose, b_key, ("-certfile", a_cert))
    else:
        der = cms_sign(package, a_cert, a_key)
    info = read(der)[0]
    signed = info.children[1].children[0]
    signer = signed.children[-1].children[0]
    if kind == "crafted-certificates":
        signer.children[1].children[0] = a_tbs.children[3]  # the publisher's issuer, byte for byte
        certificates = signed.children[3]
        loose_der = certificate_der(loose)
        certificates.children.sort(key=lambda c: encode(c) != loose_der)
    elif kind == "unsorted-attributes":
        signer.children[3].children.reverse()
        resign(signer, a_key)
    elif kind == "sha1-digests":
        signed.children[1].children = [Node(0x30, children=[oid(SHA1)])]
    elif kind == "no-digests":
        signed.children[1].children = []
    elif kind == "garbage-crls":
        signed.children.insert(4, Node(0xA1, children=[Node(0x04, b"\xde\xad")]))
    elif kind == "ecdsa-named":
        signer.children[4] = Node(0x30, children=[oid(ECDSA_SHA256)])
    else:
        sys.exit("unknown kind " + kind)
    body = zlib.compress(encode(info), 6)
    name = b"KSPackage.sig\0"
    with open(package, "ab") as out:
        out.write(struct.pack("<I", len(name)) + name + struct.pack("<IH", len(body), 0) + body)


main()
