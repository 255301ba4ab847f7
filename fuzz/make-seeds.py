#!/usr/bin/env python3
"""Seed corpora for the fuzz targets, cut from the test messages.

make-seeds.py <out dir> writes <out dir>/<target>/<n> files:
  fuzz_sip_message  every message of tests/kel_sip/syntax/data/corpus and data/rfc4475
  fuzz_sip_address  Request-URIs and From/To/Contact/Route values (first byte picks the class)
  fuzz_sdp          the SDP files of data/ and every application/sdp body
  fuzz_sip_digest   WWW-/Proxy-Authenticate and (Proxy-)Authorization values (first byte picks)
  fuzz_xml          every XML document of tests/presence/data and the extended PIDF below
  fuzz_pidf, fuzz_pim_pidf  the RFC 3863 examples and the extended PIDF below
  fuzz_watcherinfo  the RFC 3858 example
  fuzz_dialog_info  the RFC 4235 examples
"""
import glob
import os
import re
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
DATA = os.path.join(ROOT, "tests", "kel_sip", "syntax", "data")
PRESENCE = os.path.join(ROOT, "tests", "presence", "data")

# An extended PIDF document as the presence writers lay it out, with the "ts:" prefix the
# fuzz targets read and every reference form the walk decodes.
EXTENDED_PIDF = (
    b'<?xml version="1.0" encoding="UTF-8"?>\r\n'
    b'<presence xmlns="urn:ietf:params:xml:ns:pidf" xmlns:ts="urn:x-tessaly:params:xml:ns:pidf-status"'
    b' entity="sip:alice@example.com">\r\n'
    b' <tuple id="kelpimstat">\r\n  <status>\r\n   <basic>open</basic>\r\n'
    b'   <ts:substatus>on the phone &amp; busy</ts:substatus>\r\n  </status>\r\n'
    b'   <ts:alias-name>&lt;Al&gt;</ts:alias-name>\r\n   <ts:display-name>Alice &quot;A&quot;</ts:display-name>\r\n'
    b'   <ts:display-name2>alice&apos;s desk&#9;&#x263A;</ts:display-name2>\r\n'
    b'   <ts:display-message>back at 5</ts:display-message>\r\n'
    b'  <contact priority="0.125">sip:alice@192.0.2.1:5060</contact>\r\n </tuple>\r\n</presence>\r\n'
)

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
    seeds = {"fuzz_sip_message": [], "fuzz_sip_address": [], "fuzz_sdp": [], "fuzz_sip_digest": [],
             "fuzz_xml": [EXTENDED_PIDF], "fuzz_pidf": [EXTENDED_PIDF], "fuzz_pim_pidf": [EXTENDED_PIDF],
             "fuzz_watcherinfo": [], "fuzz_dialog_info": []}
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
    for path in sorted(glob.glob(os.path.join(PRESENCE, "*.xml")) + glob.glob(os.path.join(PRESENCE, "*.xsd"))):
        with open(path, "rb") as f:
            document = f.read()
        name = os.path.basename(path)
        seeds["fuzz_xml"].append(document)
        if name.startswith("rfc3863"):
            seeds["fuzz_pidf"].append(document)
            seeds["fuzz_pim_pidf"].append(document)
        elif name.startswith("rfc3858"):
            seeds["fuzz_watcherinfo"].append(document)
        elif name.startswith("rfc4235"):
            seeds["fuzz_dialog_info"].append(document)
    for target, items in seeds.items():
        directory = os.path.join(out, target)
        os.makedirs(directory, exist_ok=True)
        for n, item in enumerate(dict.fromkeys(items)):
            with open(os.path.join(directory, "%03d" % n), "wb") as f:
                f.write(item)
        print("%s: %d seeds" % (target, len(set(items))), file=sys.stderr)


if __name__ == "__main__":
    main()
