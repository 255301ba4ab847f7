#!/usr/bin/env python3
"""Prints the request digest of RFC 2617 section 3.2.2 (with the hashes of RFC 7616) computed with Python's hashlib, so that
the C++ tests check their credentials against an independent implementation. Arguments, each
as hexadecimal bytes (an empty argument for an empty value): username, password, method, uri,
realm, algorithm, qop, nonce, cnonce, body; then the nonce count as a decimal number."""
import hashlib
import sys


HASHES = {"": "md5", "md5": "md5", "sha-256": "sha256", "sha-512-256": "sha512_256"}


def main(args):
    user, password, method, uri, realm, algorithm, qop, nonce, cnonce = (bytes.fromhex(a).decode() for a in args[:9])
    body = bytes.fromhex(args[9])
    nc = int(args[10])
    session = algorithm.lower().endswith("-sess")
    name = HASHES[algorithm.lower().removesuffix("-sess")]

    def h(data):
        if isinstance(data, str):
            data = data.encode()
        return hashlib.new(name, data).hexdigest()

    ha1 = h(f"{user}:{realm}:{password}")
    if session:
        ha1 = h(f"{ha1}:{nonce}:{cnonce}")
    a2 = f"{method}:{uri}"
    if qop.lower() == "auth-int":
        a2 += ":" + h(body)
    ha2 = h(a2)
    if qop.lower() in ("auth", "auth-int"):
        print(h(f"{ha1}:{nonce}:{nc:08x}:{cnonce}:{qop}:{ha2}"))
    else:
        print(h(f"{ha1}:{nonce}:{ha2}"))


main(sys.argv[1:])
