#!/usr/bin/env python3
"""Prints the request digest of RFC 2617 section 3.2.2 (with the hashes of RFC 7616) computed with
Python's hashlib, so that the C++ tests check their credentials against an independent
implementation. Arguments, each as hexadecimal bytes (an empty argument for an empty value):
username, password, method, uri, realm, algorithm, qop, nonce, cnonce, body; then the nonce count
as a decimal number."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "syntax", "data"))
from digest_reference import response  # noqa: E402


def main(args):
    user, password, method, uri, realm, algorithm, qop, nonce, cnonce = (bytes.fromhex(a).decode() for a in args[:9])
    body = bytes.fromhex(args[9])
    nc = int(args[10])
    print(response(user, password, method, uri, realm, algorithm, qop, nonce, nc, cnonce, body))


main(sys.argv[1:])
