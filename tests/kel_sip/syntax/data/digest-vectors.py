#!/usr/bin/env python3
"""Writes digest-vectors.txt: request digests (RFC 2617 section 3.2.2, RFC 7616) computed with Python's
hashlib, independently of the C++ code they check. Run from this folder:
    python3 digest-vectors.py > digest-vectors.txt
Columns, separated by tabs: name, username, password, method, uri, realm, algorithm, qop, nonce,
nonce count (hexadecimal), cnonce, body (hexadecimal), expected response."""
from digest_reference import response

SDP_BODY = (b"v=0\r\no=alice 2890844526 2890844526 IN IP4 192.0.2.1\r\ns=-\r\n"
            b"c=IN IP4 192.0.2.1\r\nt=0 0\r\nm=audio 49170 RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\n")

VECTORS = [
    # name, username, password, method, uri, realm, algorithm, qop, nonce, nc, cnonce, body
    ("invite-auth-nc1", "alice", "secret", "INVITE", "sip:bob@example.com", "example.com", "MD5", "auth",
     "dcd98b7102dd2f0e8b11d0f600bfb0c093", 1, "0a4f113b", b""),
    ("register-auth-nc16", "alice", "secret", "REGISTER", "sip:example.com", "example.com", "", "auth",
     "5fd46e1a77d8c4b8e29c1b5b0b2ba7f1", 0x10, "f2a1d3c4b5e6f7a8", b""),
    ("invite-authint-body", "alice", "secret", "INVITE", "sip:bob@example.com;transport=tcp", "example.com",
     "MD5", "auth-int", "ea9c8e88df84f1cec4341ae6cbe5a359", 1, "c0ffee", SDP_BODY),
    ("invite-authint-nobody", "alice", "secret", "INVITE", "sip:bob@example.com", "example.com", "MD5",
     "auth-int", "ea9c8e88df84f1cec4341ae6cbe5a359", 0x10, "c0ffee", b""),
    ("register-authint-nobody", "bob", "p@ss:word", "REGISTER", "sip:registrar.example.org",
     "registrar.example.org", "", "auth-int", "MTIzNDU2Nzg5MA==", 1, "7e3a", b""),
    ("invite-noqop", "alice", "secret", "INVITE", "sip:bob@example.com", "example.com", "", "",
     "3d2f0d8c", 0, "", b""),
    ("register-noqop", "bob", "", "REGISTER", "sip:example.org", "example.org", "MD5", "",
     "nonce-without-qop", 0, "", b""),
    ("invite-md5sess-auth", "alice", "secret", "INVITE", "sip:bob@example.com", "example.com", "MD5-sess",
     "auth", "b5e4a9a6f0c2", 0x10, "9d8c7b6a", b""),
    ("register-md5sess-lowercase-authint", "alice", "secret", "REGISTER", "sip:example.com", "example.com",
     "md5-sess", "auth-int", "0123456789abcdef", 1, "abcdef", SDP_BODY),
    ("register-md5sess-noqop", "alice", "secret", "REGISTER", "sip:example.com", "example.com", "MD5-sess",
     "", "b5e4a9a6f0c2", 0, "", b""),
    ("extension-method-auth", "alice", "secret", "PING", "sip:bob@example.com", "example.com", "", "auth",
     "aa", 0xffffffff, "bb", b""),
    # RFC 7616 section 3.9.1, whose responses are 8ca523f5... (MD5) and 753927fa... (SHA-256).
    ("rfc7616-md5", "Mufasa", "Circle of Life", "GET", "/dir/index.html", "http-auth@example.org", "MD5",
     "auth", "7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v", 1,
     "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ", b""),
    ("rfc7616-sha256", "Mufasa", "Circle of Life", "GET", "/dir/index.html", "http-auth@example.org",
     "SHA-256", "auth", "7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v", 1,
     "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ", b""),
    ("register-sha256sess-authint", "alice", "secret", "REGISTER", "sip:example.com", "example.com",
     "sha-256-sess", "auth-int", "0123456789abcdef", 2, "abcdef", SDP_BODY),
    ("invite-sha512-256-auth", "alice", "secret", "INVITE", "sip:bob@example.com", "example.com",
     "SHA-512-256", "auth", "b5e4a9a6f0c2", 1, "9d8c7b6a", b""),
    ("invite-sha256-noqop", "alice", "secret", "INVITE", "sip:bob@example.com", "example.com", "SHA-256", "",
     "3d2f0d8c", 0, "", b""),
    ("unknown-algorithm-is-md5", "alice", "secret", "INVITE", "sip:bob@example.com", "example.com",
     "AKAv1-MD5", "auth", "3d2f0d8c", 1, "c0ffee", b""),
]

for name, user, password, method, uri, realm, algorithm, qop, nonce, nc, cnonce, body in VECTORS:
    expected = response(user, password, method, uri, realm, algorithm, qop, nonce, nc, cnonce, body)
    print("\t".join([name, user, password, method, uri, realm, algorithm, qop, nonce, f"{nc:x}", cnonce,
                     body.hex(), expected]))
