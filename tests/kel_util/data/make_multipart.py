#!/usr/bin/env python3
"""Writes the multipart test bodies with Python's email package and, beside each, what
Python's own parser finds in it, so that MultipartMessageTest compares the two parsers.

Run from this folder: python3 make_multipart.py
Outputs: multipart_crlf.eml / .expected (SMTP policy, CR LF line ends) and
multipart_lf.eml / .expected (default policy, LF line ends).

An .expected file lists every entity depth first, one record per entity:
  "<depth> <type/subtype> parts <count>\n" for a multipart entity,
  "<depth> <type/subtype> body <length>\n<body bytes>\n" for any other.
"""

import email
import email.policy
from email.mime.application import MIMEApplication
from email.mime.image import MIMEImage
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText

PIDF = (
    '<?xml version="1.0" encoding="UTF-8"?>\n'
    '<presence xmlns="urn:ietf:params:xml:ns:pidf" entity="sip:alice@example.com">\n'
    '  <tuple id="t1"><status><basic>open</basic></status></tuple>\n'
    '</presence>\n'
)


def build():
    # A boundary of the shape Python chooses itself (it holds "=" and needs quoting); fixed so
    # that the files do not change when the script is run again.
    root = MIMEMultipart('related', boundary='===============4242424242424242424==',
                         type='application/pidf+xml', start='<pidf@example.com>')
    root.preamble = 'This is a multi-part message in MIME format.'
    root.epilogue = 'Epilogue text, not a part.'

    pidf = MIMEApplication(PIDF.encode(), 'pidf+xml', _encoder=email.encoders.encode_7or8bit)
    pidf['Content-ID'] = '<pidf@example.com>'
    root.attach(pidf)

    alternative = MIMEMultipart('alternative', boundary='inner-boundary')
    alternative.attach(MIMEText('Alice is online.\nSecond line.', 'plain'))
    alternative.attach(MIMEText('<p>Alice is <b>online</b>.</p>', 'html'))
    root.attach(alternative)

    root.attach(MIMEImage(bytes(range(48)), 'png'))
    return root


def describe(part, depth, out):
    kind = part.get_content_type().encode()
    if part.is_multipart():
        out += b'%d %s parts %d\n' % (depth, kind, len(part.get_payload()))
        for child in part.get_payload():
            describe(child, depth + 1, out)
    else:
        # The payload as it stands in the body, before any transfer decoding.
        body = part.get_payload(decode=False).encode('ascii', 'surrogateescape')
        out += b'%d %s body %d\n%s\n' % (depth, kind, len(body), body)


def write(name, policy):
    data = build().as_bytes(policy=policy)
    with open(name + '.eml', 'wb') as f:
        f.write(data)
    expected = bytearray()
    describe(email.message_from_bytes(data, policy=policy), 0, expected)
    with open(name + '.expected', 'wb') as f:
        f.write(expected)


if __name__ == '__main__':
    write('multipart_crlf', email.policy.SMTP)
    write('multipart_lf', email.policy.default)
