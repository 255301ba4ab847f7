#!/usr/bin/env python3
"""Seed corpora for the fuzz targets, cut from the test messages.

make-seeds.py <out dir> writes <out dir>/<target>/<n> files:
  fuzz_sip_message  every message of tests/kel_sip/syntax/data/corpus and data/rfc4475
  fuzz_sip_address  Request-URIs and From/To/Contact/Route values (first byte picks the class)
  fuzz_sdp          the SDP files of data/ and every application/sdp body
  fuzz_sip_digest   WWW-/Proxy-Authenticate and (Proxy-)Authorization values (first byte picks)
  fuzz_rtp_packet   runs of RTP datagrams (each behind a 16-bit length): CSRCs, extension,
                    padding, new sources, sequence jumps and wrap
  fuzz_wav_reader   WAV files: mu-law with and without odd chunks, 16-bit PCM, cut short
  fuzz_xml          every XML document of tests/presence/data and the extended PIDF below
  fuzz_pidf, fuzz_pim_pidf  the RFC 3863 examples and the extended PIDF below
  fuzz_watcherinfo  the RFC 3858 example
  fuzz_dialog_info  the RFC 4235 examples
"""
import glob
import os
import re
import struct
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


def rtp(seq, ssrc, payload=b"\xff" * 160, pt=0, csrcs=(), extension=None, padding=0, timestamp=None):
    first = 0x80 | (0x20 if padding else 0) | (0x10 if extension is not None else 0) | len(csrcs)
    packet = struct.pack(">BBHII", first, pt, seq & 0xFFFF, (seq * 160 if timestamp is None else timestamp) & 0xFFFFFFFF, ssrc)
    packet += b"".join(struct.pack(">I", c) for c in csrcs)
    if extension is not None:
        packet += struct.pack(">HH", 0xBEDE, len(extension) // 4) + extension
    packet += payload
    if padding:
        packet += b"\x00" * (padding - 1) + bytes([padding])
    return packet


def datagrams(*packets):
    return b"".join(struct.pack(">H", len(p)) + p for p in packets)


def rtp_seeds():
    stream = [rtp(100 + i, 0x1234) for i in range(4)]
    return [
        datagrams(*stream),
        datagrams(rtp(1, 7, csrcs=(1, 2)), rtp(2, 7, extension=b"\x10\x20\x30\x40"), rtp(3, 7, padding=4)),
        datagrams(*stream, rtp(4000, 0x1234), rtp(4001, 0x1234), rtp(4002, 0x1234)),
        datagrams(rtp(65534, 9), rtp(65535, 9), rtp(0, 9), rtp(1, 9), rtp(500, 10), rtp(501, 10)),
        datagrams(rtp(1, 7, pt=8), rtp(2, 7, pt=101, payload=b"\x01\x80\x00\xa0"), rtp(3, 7, payload=b"")),
        datagrams(rtp(1, 7, payload=b"\xff" * 1488), rtp(2, 7, payload=b"\xff" * 1489)),
    ]


def chunk(name, body):
    return name + struct.pack("<I", len(body)) + body + (b"\x00" if len(body) % 2 else b"")


def wav(fmt, *chunks):
    body = b"WAVE" + chunk(b"fmt ", fmt) + b"".join(chunks)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def wav_seeds():
    mulaw = struct.pack("<HHIIHHH", 7, 1, 8000, 8000, 1, 8, 0)
    pcm16 = struct.pack("<HHIIHH", 1, 1, 8000, 16000, 2, 16)
    sound = bytes((i * 7) & 0xFF for i in range(321))
    good = wav(mulaw, chunk(b"fact", struct.pack("<I", len(sound))), chunk(b"data", sound))
    return [
        good,
        wav(mulaw, chunk(b"LIST", b"odd"), chunk(b"data", sound)),
        wav(mulaw[:16], chunk(b"data", sound[:160])),
        wav(pcm16, chunk(b"data", sound[:320])),
        good[: len(good) - 100],
    ]


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
    seeds["fuzz_rtp_packet"] = rtp_seeds()
    seeds["fuzz_wav_reader"] = wav_seeds()
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
