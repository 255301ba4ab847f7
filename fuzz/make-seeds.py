#!/usr/bin/env python3
"""Seed corpora for the fuzz targets, cut from the test messages.

make-seeds.py <out dir> writes <out dir>/<target>/<n> files:
  fuzz_sip_message  every message of tests/kel_sip/syntax/data/corpus and data/rfc4475
  fuzz_sip_address  Request-URIs and From/To/Contact/Route values (first byte picks the class)
  fuzz_sdp          the SDP files of data/ and every application/sdp body
  fuzz_sip_digest   WWW-/Proxy-Authenticate and (Proxy-)Authorization values (first byte picks)
"""
import glob
import os
import re
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
DATA = os.path.join(ROOT, "tests", "kel_sip", "syntax", "data")

ADDRESS_HEADERS = {b"from": 2, b"f": 2, b"to": 2, b"t": 2, b"contact": 3, b"m": 3, b"route": 1, b"record-route": 1}
DIGEST_HEADERS = {b"www-authenticate": 0, b"proxy-authenticate": 0, b"authorization": 1, b"proxy-authorization": 1}


def messages():
    files = sorted(glob.glob(os.path.join(DATA, "corpus", "*.sip")) + glob.glob(os.path.join(DATA, "rfc4475", "*.dat")))
    for path in files:
        with open(path, "rb") as f:
            yield f.read()


def split(message):
    head, _, body = message.partition(b"\r\n\r\n")
    lines = re.sub(rb"\r\n[ \t]+", b" ", head).split(b"\r\n")
    headers = []
    for line in lines[1:]:
        name, colon, value = line.partition(b":")
        if colon:
            headers.append((name.strip().lower(), value.strip()))
    return lines[0], headers, body


def main():
    out = sys.argv[1]
    seeds = {"fuzz_sip_message": [], "fuzz_sip_address": [], "fuzz_sdp": [], "fuzz_sip_digest": []}
    for message in messages():
        seeds["fuzz_sip_message"].append(message)
        start, headers, body = split(message)
        parts = start.split(b" ")
        if len(parts) == 3 and not start.startswith(b"SIP/"):
            seeds["fuzz_sip_address"].append(b"\x00" + parts[1])
        for name, value in headers:
            if name in ADDRESS_HEADERS:
                seeds["fuzz_sip_address"].append(bytes([ADDRESS_HEADERS[name]]) + value)
            if name in DIGEST_HEADERS:
                seeds["fuzz_sip_digest"].append(bytes([DIGEST_HEADERS[name]]) + value)
            if name in (b"content-type", b"c") and value.lower().startswith(b"application/sdp") and body:
                seeds["fuzz_sdp"].append(body)
    for path in sorted(glob.glob(os.path.join(DATA, "*.sdp"))):
        with open(path, "rb") as f:
            seeds["fuzz_sdp"].append(f.read())
    for target, items in seeds.items():
        directory = os.path.join(out, target)
        os.makedirs(directory, exist_ok=True)
        for n, item in enumerate(dict.fromkeys(items)):
            with open(os.path.join(directory, "%03d" % n), "wb") as f:
                f.write(item)
        print("%s: %d seeds" % (target, len(set(items))), file=sys.stderr)


if __name__ == "__main__":
    main()
