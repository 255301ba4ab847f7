#!/usr/bin/env python3
"""Writes the RFC 4475 torture messages as <name>.dat files with their exact bytes.

The RFC prints the messages with conventions for what text cannot show: <allOneLine> for
long lines, <hex> for raw bytes (NUL, BEL, DEL, UTF-8) and <repeat> for long runs. Here
each message is a Python string with LF line ends (turned into CRLF when written) and
explicit escapes for those bytes, so the files hold what travels on the wire.

mpart01: the RFC's second body part is a binary S/MIME signature that cannot be recovered
from its printed form; a deterministic stand-in of the same length with the same DER
header and NUL bytes takes its place (the framing, which is what the test is about, is
unchanged).

Run: python3 make-rfc4475.py  (writes into the directory of this script)
"""
import os
import sys

SDP_150 = """v=0
o=mhandley 29739 7272939 IN IP4 {a}
s=-
c=IN IP4 {b}
t=0 0
m=audio 49217 RTP/AVP 0 12
m=video 3227 RTP/AVP 31
a=rtpmap:31 LPC
"""


def sdp(a, b=None, t="0 0"):
    return SDP_150.format(a=a, b=b or a).replace("t=0 0", "t=" + t)


MESSAGES = {}

# 3.1.1.1 A Short Tortuous INVITE
MESSAGES["wsinv"] = """INVITE sip:vivekg@chair-dnrc.example.com;unknownparam SIP/2.0
TO :
 sip:vivekg@chair-dnrc.example.com ;   tag    = 1918181833n
from   : "J Rosenberg \\\\\\""       <sip:jdrosen@example.com>
  ;
  tag = 98asjd8
MaX-fOrWaRdS: 0068
Call-ID: wsinv.ndaksdj@192.0.2.1
Content-Length   : 150
cseq: 0009
  INVITE
Via  : SIP  /   2.0
 /UDP
    192.0.2.2;branch=390skdjuw
s :
NewFangledHeader:   newfangled value
 continued newfangled value
UnknownHeaderWithUnusualValue: ;;,,;;,;
Content-Type: application/sdp
Route:
 <sip:services.example.com;lr;unknownwith=value;unknown-no-value>
v:  SIP  / 2.0  / TCP     spindle.example.com   ;
  branch  =   z9hG4bK9ikj8  ,
 SIP  /    2.0   / UDP  192.168.255.111   ; branch=
 z9hG4bK30239
m:"Quoted string \\"\\"" <sip:jdrosen@example.com> ; newparam =
      newvalue ;
  secondparam ; q = 0.33

""" + sdp("192.0.2.3", "192.0.2.4")

# 3.1.1.2 Wide Range of Valid Characters
RUSSIAN = "\u0440\u0430\u0431\u043e\u0442\u0430\u044e\u0449\u0438\u0439"
MESSAGES["intmeth"] = ("""!interesting-Method0123456789_*+`.%indeed'~ sip:1_unusual.URI~(to-be!sure)&isn't+it$/crazy?,/;;*:&it+has=1,weird!*pas$wo~d_too.(doesn't-it)@example.com SIP/2.0
Via: SIP/2.0/TCP host1.example.com;branch=z9hG4bK-.!%66*_+`'~
To: "BEL:\\\x07 NUL:\\\x00 DEL:\\\x7f" <sip:1_unusual.URI~(to-be!sure)&isn't+it$/crazy?,/;;*@example.com>
From: token1~` token2'+_ token3*%!.- <sip:mundane@example.com>;fromParam''~+*_!.-%=\"""" + RUSSIAN + """\";tag=_token~1'+`*%!-.
Call-ID: intmeth.word%ZK-!.*_+'@word`~)(><:\\/"][?}{
CSeq: 139122385 !interesting-Method0123456789_*+`.%indeed'~
Max-Forwards: 255
extensionHeader-!.%*+_`'~:\ufeff\u5927\u505c\u96fb
Content-Length: 0

""")

# 3.1.1.3 Valid Use of the % Escaping Mechanism
MESSAGES["esc01"] = """INVITE sip:sips%3Auser%40example.com@example.net SIP/2.0
To: sip:%75se%72@example.com
From: <sip:I%20have%20spaces@example.net>;tag=938
Max-Forwards: 87
i: esc01.239409asdfakjkn23onasd0-3234
CSeq: 234234 INVITE
Via: SIP/2.0/UDP host5.example.net;branch=z9hG4bKkdjuw
C: application/sdp
Contact:
  <sip:cal%6Cer@host5.example.net;%6C%72;n%61me=v%61lue%25%34%31>
Content-Length: 150

""" + sdp("192.0.2.1")

# 3.1.1.4 Escaped Nulls in URIs
MESSAGES["escnull"] = """REGISTER sip:example.com SIP/2.0
To: sip:null-%00-null@example.com
From: sip:null-%00-null@example.com;tag=839923423
Max-Forwards: 70
Call-ID: escnull.39203ndfvkjdasfkq3w4otrq0adsfdfnavd
CSeq: 14398234 REGISTER
Via: SIP/2.0/UDP host5.example.com;branch=z9hG4bKkdjuw
Contact: <sip:%00@host5.example.com>
Contact: <sip:%00%00@host5.example.com>
L:0

"""

# 3.1.1.5 Use of % When It Is Not an Escape
MESSAGES["esc02"] = """RE%47IST%45R sip:registrar.example.com SIP/2.0
To: "%Z%45" <sip:resource@example.com>
From: "%Z%45" <sip:resource@example.com>;tag=f232jadfj23
Call-ID: esc02.asdfnqwo34rq23i34jrjasdcnl23nrlknsdf
Via: SIP/2.0/TCP host.example.com;branch=z9hG4bK209%fzsnel234
CSeq: 29344 RE%47IST%45R
Max-Forwards: 70
Contact: <sip:alias1@host1.example.com>
C%6Fntact: <sip:alias2@host2.example.com>
Contact: <sip:alias3@host3.example.com>
l: 0

"""

# 3.1.1.6 Message with No LWS between Display Name and <
MESSAGES["lwsdisp"] = """OPTIONS sip:user@example.com SIP/2.0
To: sip:user@example.com
From: caller<sip:caller@example.com>;tag=323
Max-Forwards: 70
Call-ID: lwsdisp.1234abcd@funky.example.com
CSeq: 60 OPTIONS
Via: SIP/2.0/UDP funky.example.com;branch=z9hG4bKkdjuw
l: 0

"""

# 3.1.1.7 Long Values in Header Fields
LONG = "long" * 20
MESSAGES["longreq"] = ("INVITE sip:user@example.com SIP/2.0\n"
    'To: "I have a user name of ' + "extreme" * 10 + ' proportion"<sip:user@example.com:6000;unknownparam1=very'
    + LONG + "value;longparam" + "name" * 25 + "=shortvalue;very" + "long" * 25 + "ParameterNameWithNoValue>\n"
    "F: sip:" + "amazinglylongcallername" * 5 + "@example.net;tag=12" + "982" * 50 + "424;unknownheaderparam"
    + "name" * 20 + "=unknowheaderparam" + "value" * 15 + ";unknownValuelessparamname" + "paramname" * 9 + "\n"
    "Call-ID: longreq.one" + "really" * 20 + "longcallid\n"
    "CSeq: 3882340 INVITE\n"
    "Unknown-" + "Long" * 20 + "-Name: unknown-" + LONG + "-value; unknown-" + LONG
    + "-parameter-name = unknown-" + LONG + "-parameter-value\n"
    "Via: SIP/2.0/TCP sip33.example.com\n"
    "v: SIP/2.0/TCP sip32.example.com\n"
    "V: SIP/2.0/TCP sip31.example.com\n"
    "Via: SIP/2.0/TCP sip30.example.com\n"
    "ViA: SIP/2.0/TCP sip29.example.com\n"
    "VIa: SIP/2.0/TCP sip28.example.com\n"
    "VIA: SIP/2.0/TCP sip27.example.com\n"
    "via: SIP/2.0/TCP sip26.example.com\n"
    "viA: SIP/2.0/TCP sip25.example.com\n"
    "vIa: SIP/2.0/TCP sip24.example.com\n"
    "vIA: SIP/2.0/TCP sip23.example.com\n"
    "V :  SIP/2.0/TCP sip22.example.com\n"
    "v :  SIP/2.0/TCP sip21.example.com\n"
    "V  : SIP/2.0/TCP sip20.example.com\n"
    "v  : SIP/2.0/TCP sip19.example.com\n"
    "Via : SIP/2.0/TCP sip18.example.com\n"
    "Via  : SIP/2.0/TCP sip17.example.com\n"
    + "".join("Via: SIP/2.0/TCP sip%d.example.com\n" % n for n in range(16, 0, -1))
    + "Via: SIP/2.0/TCP host.example.com;received=192.0.2.5;branch=very" + "long" * 50 + "branchvalue\n"
    "Max-Forwards: 70\n"
    "Contact: <sip:" + "amazinglylongcallername" * 5 + "@host5.example.net>\n"
    "Content-Type: application/sdp\n"
    "l: 150\n"
    "\n" + sdp("192.0.2.1"))

# 3.1.1.8 Extra Trailing Octets in a UDP Datagram
MESSAGES["dblreq"] = """REGISTER sip:example.com SIP/2.0
To: sip:j.user@example.com
From: sip:j.user@example.com;tag=43251j3j324
Max-Forwards: 8
I: dblreq.0ha0isndaksdj99sdfafnl3lk233412
Contact: sip:j.user@host.example.com
CSeq: 8 REGISTER
Via: SIP/2.0/UDP 192.0.2.125;branch=z9hG4bKkdjuw23492
Content-Length: 0

INVITE sip:joe@example.com SIP/2.0
t: sip:joe@example.com
From: sip:caller@example.net;tag=141334
Max-Forwards: 8
Call-ID: dblreq.0ha0isnda977644900765@192.0.2.15
CSeq: 8 INVITE
Via: SIP/2.0/UDP 192.0.2.15;branch=z9hG4bKkdjuw380234
Content-Type: application/sdp
Content-Length: 150

""" + sdp("192.0.2.15").replace("m=video", "m =video")

# 3.1.1.9 Semicolon-Separated Parameters in URI User Part
MESSAGES["semiuri"] = """OPTIONS sip:user;par=u%40example.net@example.com SIP/2.0
To: sip:j_user@example.com
From: sip:caller@example.org;tag=33242
Max-Forwards: 3
Call-ID: semiuri.0ha0isndaksdj
CSeq: 8 OPTIONS
Accept: application/sdp, application/pkcs7-mime,
        multipart/mixed, multipart/signed,
        message/sip, message/sipfrag
Via: SIP/2.0/UDP 192.0.2.1;branch=z9hG4bKkdjuw
l: 0

"""

# 3.1.1.10 Varied and Unknown Transport Types
MESSAGES["transports"] = """OPTIONS sip:user@example.com SIP/2.0
To: sip:user@example.com
From: <sip:caller@example.com>;tag=323
Max-Forwards: 70
Call-ID:  transports.kijh4akdnaqjkwendsasfdj
Accept: application/sdp
CSeq: 60 OPTIONS
Via: SIP/2.0/UDP t1.example.com;branch=z9hG4bKkdjuw
Via: SIP/2.0/SCTP t2.example.com;branch=z9hG4bKklasjdhf
Via: SIP/2.0/TLS t3.example.com;branch=z9hG4bK2980unddj
Via: SIP/2.0/UNKNOWN t4.example.com;branch=z9hG4bKasd0f3en
Via: SIP/2.0/TCP t5.example.com;branch=z9hG4bK0a9idfnee
l: 0

"""

# 3.1.1.11 Multipart MIME Message (binary part: see the note at the top)
MPART_HEAD = """MESSAGE sip:kumiko@example.org SIP/2.0
Via: SIP/2.0/UDP 127.0.0.1:5070;branch=z9hG4bK-d87543-4dade06d0bdb11ee-1--d87543-;rport
Max-Forwards: 70
Route: <sip:127.0.0.1:5080>
Identity: r5mwreLuyDRYBi/0TiPwEsY3rEVsk/G2WxhgTV1PF7hHuLIK0YWVKZhKv9Mj8UeXqkMVbnVq37CD+813gvYjcBUaZngQmXc9WNZSDNGCzA+fWl9MEUHWIZo1CeJebdY/XlgKeTa0Olvq0rt70Q5jiSfbqMJmQFteeivUhkMWYUA=
Contact: <sip:fluffy@127.0.0.1:5070>
To: <sip:kumiko@example.org>
From: <sip:fluffy@example.com>;tag=2fb0dcc9
Call-ID: 3d9485ad0c49859b@Zmx1ZmZ5LW1hYy0xNi5sb2NhbA..
CSeq: 1 MESSAGE
Content-Transfer-Encoding: binary
Content-Type: multipart/mixed;boundary=7a9cbec02ceef655
Date: Sat, 15 Oct 2005 04:44:56 GMT
User-Agent: SIPimp.org/0.2.5 (curses)
Content-Length: 553

--7a9cbec02ceef655
Content-Type: text/plain
Content-Transfer-Encoding: binary

Hello
--7a9cbec02ceef655
Content-Type: application/octet-stream
Content-Transfer-Encoding: binary

"""
MPART_TAIL = "\n--7a9cbec02ceef655--\n"

# 3.1.1.12 Unusual Reason Phrase
MESSAGES["unreason"] = ("SIP/2.0 200 = 2**3 * 5**2 \u043d\u043e \u0441\u0442\u043e "
    "\u0434\u0435\u0432\u044f\u043d\u043e\u0441\u0442\u043e \u0434\u0435\u0432\u044f\u0442\u044c - "
    "\u043f\u0440\u043e\u0441\u0442\u043e\u0435\n" + """Via: SIP/2.0/UDP 192.0.2.198;branch=z9hG4bK1324923
Call-ID: unreason.1234ksdfak3j2erwedfsASdf
CSeq: 35 INVITE
From: sip:user@example.com;tag=11141343
To: sip:user@example.edu;tag=2229
Content-Length: 154
Content-Type: application/sdp
Contact: <sip:user@host198.example.com>

""" + sdp("192.0.2.198"))

# 3.1.1.13 Empty Reason Phrase
MESSAGES["noreason"] = """SIP/2.0 100 \nVia: SIP/2.0/UDP 192.0.2.105;branch=z9hG4bK2398ndaoe
Call-ID: noreason.asndj203insdf99223ndf
CSeq: 35 INVITE
From: <sip:user@example.com>;tag=39ansfi3
To: <sip:user@example.edu>;tag=902jndnke3
Content-Length: 0
Contact: <sip:user@host105.example.com>

"""

# 3.1.2.1 Extraneous Header Field Separators
MESSAGES["badinv01"] = """INVITE sip:user@example.com SIP/2.0
To: sip:j.user@example.com
From: sip:caller@example.net;tag=134161461246
Max-Forwards: 7
Call-ID: badinv01.0ha0isndaksdjasdf3234nas
CSeq: 8 INVITE
Via: SIP/2.0/UDP 192.0.2.15;;,;,,
Contact: "Joe" <sip:joe@example.org>;;;;
Content-Length: 152
Content-Type: application/sdp

""" + sdp("192.0.2.15")

# 3.1.2.2 Content Length Larger Than Message
MESSAGES["clerr"] = """INVITE sip:user@example.com SIP/2.0
Max-Forwards: 80
To: sip:j.user@example.com
From: sip:caller@example.net;tag=93942939o2
Contact: <sip:caller@hungry.example.net>
Call-ID: clerr.0ha0isndaksdjweiafasdk3
CSeq: 8 INVITE
Via: SIP/2.0/UDP host5.example.com;branch=z9hG4bK-39234-23523
Content-Type: application/sdp
Content-Length: 9999

""" + sdp("192.0.2.155")

# 3.1.2.3 Negative Content-Length
MESSAGES["ncl"] = """INVITE sip:user@example.com SIP/2.0
Max-Forwards: 254
To: sip:j.user@example.com
From: sip:caller@example.net;tag=32394234
Call-ID: ncl.0ha0isndaksdj2193423r542w35
CSeq: 0 INVITE
Via: SIP/2.0/UDP 192.0.2.53;branch=z9hG4bKkdjuw
Contact: <sip:caller@example53.example.net>
Content-Type: application/sdp
Content-Length: -999

""" + sdp("192.0.2.53")

# 3.1.2.4 Request Scalar Fields with Overlarge Values
MESSAGES["scalar02"] = """REGISTER sip:example.com SIP/2.0
Via: SIP/2.0/TCP host129.example.com;branch=z9hG4bK342sdfoi3
To: <sip:user@example.com>
From: <sip:user@example.com>;tag=239232jh3
CSeq: 36893488147419103232 REGISTER
Call-ID: scalar02.23o0pd9vanlq3wnrlnewofjas9ui32
Max-Forwards: 300
Expires: 1""" + "0" * 100 + """
Contact: <sip:user@host129.example.com>
  ;expires=280297596632815
Content-Length: 0

"""

# 3.1.2.5 Response Scalar Fields with Overlarge Values
MESSAGES["scalarlg"] = """SIP/2.0 503 Service Unavailable
Via: SIP/2.0/TCP host129.example.com;branch=z9hG4bKzzxdiwo34sw;received=192.0.2.129
To: <sip:user@example.com>
From: <sip:other@example.net>;tag=2easdjfejw
CSeq: 9292394834772304023312 OPTIONS
Call-ID: scalarlg.noase0of0234hn2qofoaf0232aewf2394r
Retry-After: 949302838503028349304023988
Warning: 1812 overture "In Progress"
Content-Length: 0

"""

# 3.1.2.6 Unterminated Quoted String in Display Name
MESSAGES["quotbal"] = """INVITE sip:user@example.com SIP/2.0
To: "Mr. J. User <sip:j.user@example.com>
From: sip:caller@example.net;tag=93334
Max-Forwards: 10
Call-ID: quotbal.aksdj
Contact: <sip:caller@host59.example.net>
CSeq: 8 INVITE
Via: SIP/2.0/UDP 192.0.2.59:5050;branch=z9hG4bKkdjuw39234
Content-Type: application/sdp
Content-Length: 152

""" + sdp("192.0.2.15")

# 3.1.2.7 <> Enclosing Request-URI
MESSAGES["ltgtruri"] = """INVITE <sip:user@example.com> SIP/2.0
To: sip:user@example.com
From: sip:caller@example.net;tag=39291
Max-Forwards: 23
Call-ID: ltgtruri.1@192.0.2.5
CSeq: 1 INVITE
Via: SIP/2.0/UDP 192.0.2.5
Contact: <sip:caller@host5.example.net>
Content-Type: application/sdp
Content-Length: 159

""" + sdp("192.0.2.5", t="3149328700 0")

# 3.1.2.8 Malformed SIP Request-URI (embedded LWS)
MESSAGES["lwsruri"] = """INVITE sip:user@example.com; lr SIP/2.0
To: sip:user@example.com;tag=3xfe-9921883-z9f
From: sip:caller@example.net;tag=231413434
Max-Forwards: 5
Call-ID: lwsruri.asdfasdoeoi2323-asdfwrn23-asd834rk423
CSeq: 2130706432 INVITE
Via: SIP/2.0/UDP 192.0.2.1:5060;branch=z9hG4bKkdjuw2395
Contact: <sip:caller@host1.example.net>
Content-Type: application/sdp
Content-Length: 159

""" + sdp("192.0.2.1", t="3149328700 0")

# 3.1.2.9 Multiple SP Separating Request-Line Elements
MESSAGES["lwsstart"] = """INVITE  sip:user@example.com  SIP/2.0
Max-Forwards: 8
To: sip:user@example.com
From: sip:caller@example.net;tag=8814
Call-ID: lwsstart.dfknq234oi243099adsdfnawe3@example.com
CSeq: 1893884 INVITE
Via: SIP/2.0/UDP host1.example.com;branch=z9hG4bKkdjuw3923
Contact: <sip:caller@host1.example.net>
Content-Type: application/sdp
Content-Length: 150

""" + sdp("192.0.2.1")

# 3.1.2.10 SP Characters at End of Request-Line
MESSAGES["trws"] = """OPTIONS sip:remote-target@example.com SIP/2.0  \nVia: SIP/2.0/TCP host1.examle.com;branch=z9hG4bK299342093
To: <sip:remote-target@example.com>
From: <sip:local-resource@example.com>;tag=329429089
Call-ID: trws.oicu34958239neffasdhr2345r
Accept: application/sdp
CSeq: 238923 OPTIONS
Max-Forwards: 70
Content-Length: 0

"""

# 3.1.2.11 Escaped Headers in SIP Request-URI
MESSAGES["escruri"] = """INVITE sip:user@example.com?Route=%3Csip:example.com%3E SIP/2.0
To: sip:user@example.com
From: sip:caller@example.net;tag=341518
Max-Forwards: 7
Contact: <sip:caller@host39923.example.net>
Call-ID: escruri.23940-asdfhj-aje3br-234q098w-fawerh2q-h4n5
CSeq: 149209342 INVITE
Via: SIP/2.0/UDP host-of-the-hour.example.com;branch=z9hG4bKkdjuw
Content-Type: application/sdp
Content-Length: 150

""" + sdp("192.0.2.1")

# 3.1.2.12 Invalid Time Zone in Date Header Field
MESSAGES["baddate"] = """INVITE sip:user@example.com SIP/2.0
To: sip:user@example.com
From: sip:caller@example.net;tag=2234923
Max-Forwards: 70
Call-ID: baddate.239423mnsadf3j23lj42--sedfnm234
CSeq: 1392934 INVITE
Via: SIP/2.0/UDP host.example.com;branch=z9hG4bKkdjuw
Date: Fri, 01 Jan 2010 16:00:00 EST
Contact: <sip:caller@host5.example.net>
Content-Type: application/sdp
Content-Length: 150

""" + sdp("192.0.2.5")

# 3.1.2.13 Failure to Enclose name-addr URI in <>
MESSAGES["regbadct"] = """REGISTER sip:example.com SIP/2.0
To: sip:user@example.com
From: sip:user@example.com;tag=998332
Max-Forwards: 70
Call-ID: regbadct.k345asrl3fdbv@10.0.0.1
CSeq: 1 REGISTER
Via: SIP/2.0/UDP 135.180.130.133:5060;branch=z9hG4bKkdjuw
Contact: sip:user@example.com?Route=%3Csip:sip.example.com%3E
l: 0

"""

# 3.1.2.14 Spaces within addr-spec
MESSAGES["badaspec"] = """OPTIONS sip:user@example.org SIP/2.0
Via: SIP/2.0/UDP host4.example.com:5060;branch=z9hG4bKkdju43234
Max-Forwards: 70
From: "Bell, Alexander" <sip:a.g.bell@example.com>;tag=433423
To: "Watson, Thomas" < sip:t.watson@example.org >
Call-ID: badaspec.sdf0234n2nds0a099u23h3hnnw009cdkne3
Accept: application/sdp
CSeq: 3923239 OPTIONS
l: 0

"""

# 3.1.2.15 Non-token Characters in Display Name
MESSAGES["baddn"] = """OPTIONS sip:t.watson@example.org SIP/2.0
Via:     SIP/2.0/UDP c.example.com:5060;branch=z9hG4bKkdjuw
Max-Forwards:      70
From:    Bell, Alexander <sip:a.g.bell@example.com>;tag=43
To:      Watson, Thomas <sip:t.watson@example.org>
Call-ID: baddn.31415@c.example.com
Accept: application/sdp
CSeq:    3923239 OPTIONS
l: 0

"""

# 3.1.2.16 Unknown Protocol Version
MESSAGES["badvers"] = """OPTIONS sip:t.watson@example.org SIP/7.0
Via:     SIP/7.0/UDP c.example.com;branch=z9hG4bKkdjuw
Max-Forwards:     70
From:    A. Bell <sip:a.g.bell@example.com>;tag=qweoiqpe
To:      T. Watson <sip:t.watson@example.org>
Call-ID: badvers.31417@c.example.com
CSeq:    1 OPTIONS
l: 0

"""

# 3.1.2.17 Start Line and CSeq Method Mismatch
MESSAGES["mismatch01"] = """OPTIONS sip:user@example.com SIP/2.0
To: sip:j.user@example.com
From: sip:caller@example.net;tag=34525
Max-Forwards: 6
Call-ID: mismatch01.dj0234sxdfl3
CSeq: 8 INVITE
Via: SIP/2.0/UDP host.example.com;branch=z9hG4bKkdjuw
l: 0

"""

# 3.1.2.18 Unknown Method with CSeq Method Mismatch
MESSAGES["mismatch02"] = """NEWMETHOD sip:user@example.com SIP/2.0
To: sip:j.user@example.com
From: sip:caller@example.net;tag=34525
Max-Forwards: 6
Call-ID: mismatch02.dj0234sxdfl3
CSeq: 8 INVITE
Contact: <sip:caller@host.example.net>
Via: SIP/2.0/UDP host.example.net;branch=z9hG4bKkdjuw
Content-Type: application/sdp
l: 138

v=0
o=mhandley 29739 7272939 IN IP4 192.0.2.1
c=IN IP4 192.0.2.1
m=audio 49217 RTP/AVP 0 12
m=video 3227 RTP/AVP 31
a=rtpmap:31 LPC
"""

# 3.1.2.19 Overlarge Response Code
MESSAGES["bigcode"] = """SIP/2.0 4294967301 better not break the receiver
Via: SIP/2.0/UDP 192.0.2.105;branch=z9hG4bK2398ndaoe
Call-ID: bigcode.asdof3uj203asdnf3429uasdhfas3ehjasdfas9i
CSeq: 353494 INVITE
From: <sip:user@example.com>;tag=39ansfi3
To: <sip:user@example.edu>;tag=902jndnke3
Content-Length: 0
Contact: <sip:user@host105.example.com>

"""

# 3.2.1 Missing Transaction Identifier
MESSAGES["badbranch"] = """OPTIONS sip:user@example.com SIP/2.0
To: sip:user@example.com
From: sip:caller@example.org;tag=33242
Max-Forwards: 3
Via: SIP/2.0/UDP 192.0.2.1;branch=z9hG4bK
Accept: application/sdp
Call-ID: badbranch.sadonfo23i420jv0as0derf3j3n
CSeq: 8 OPTIONS
l: 0

"""

# 3.3.1 Missing Required Header Fields
MESSAGES["insuf"] = """INVITE sip:user@example.com SIP/2.0
CSeq: 193942 INVITE
Via: SIP/2.0/UDP 192.0.2.95;branch=z9hG4bKkdj.insuf
Content-Type: application/sdp
l: 152

""" + sdp("192.0.2.95")

# 3.3.2 Request-URI with Unknown Scheme
MESSAGES["unkscm"] = """OPTIONS nobodyKnowsThisScheme:totallyopaquecontent SIP/2.0
To: sip:user@example.com
From: sip:caller@example.net;tag=384
Max-Forwards: 3
Call-ID: unkscm.nasdfasser0q239nwsdfasdkl34
CSeq: 3923423 OPTIONS
Via: SIP/2.0/TCP host9.example.com;branch=z9hG4bKkdjuw39234
Content-Length: 0

"""

# 3.3.3 Request-URI with Known but Atypical Scheme
MESSAGES["novelsc"] = """OPTIONS soap.beep://192.0.2.103:3002 SIP/2.0
To: sip:user@example.com
From: sip:caller@example.net;tag=384
Max-Forwards: 3
Call-ID: novelsc.asdfasser0q239nwsdfasdkl34
CSeq: 3923423 OPTIONS
Via: SIP/2.0/TCP host9.example.com;branch=z9hG4bKkdjuw39234
Content-Length: 0

"""

# 3.3.4 Unknown URI Schemes in Header Fields
MESSAGES["unksm2"] = """REGISTER sip:example.com SIP/2.0
To: isbn:2983792873
From: <http://www.example.com>;tag=3234233
Call-ID: unksm2.daksdj@hyphenated-host.example.com
CSeq: 234902 REGISTER
Max-Forwards: 70
Via: SIP/2.0/UDP 192.0.2.21:5060;branch=z9hG4bKkdjuw
Contact: <name:John_Smith>
l: 0

"""

# 3.3.5 Proxy-Require and Require
MESSAGES["bext01"] = """OPTIONS sip:user@example.com SIP/2.0
To: sip:j_user@example.com
From: sip:caller@example.net;tag=242etr
Max-Forwards: 6
Call-ID: bext01.0ha0isndaksdj
Require: nothingSupportsThis, nothingSupportsThisEither
Proxy-Require: noProxiesSupportThis, norDoAnyProxiesSupportThis
CSeq: 8 OPTIONS
Via: SIP/2.0/TLS fold-and-staple.example.com;branch=z9hG4bKkdjuw
Content-Length: 0

"""

# 3.3.6 Unknown Content-Type
MESSAGES["invut"] = """INVITE sip:user@example.com SIP/2.0
Contact: <sip:caller@host5.example.net>
To: sip:j.user@example.com
From: sip:caller@example.net;tag=8392034
Max-Forwards: 70
Call-ID: invut.0ha0isndaksdjadsfij34n23d
CSeq: 235448 INVITE
Via: SIP/2.0/UDP somehost.example.com;branch=z9hG4bKkdjuw
Content-Type: application/unknownformat
Content-Length: 40

<audio>
 <pcmu port="443"/>
</audio>
"""

# 3.3.7 Unknown Authorization Scheme
MESSAGES["regaut01"] = """REGISTER sip:example.com SIP/2.0
To: sip:j.user@example.com
From: sip:j.user@example.com;tag=87321hj23128
Max-Forwards: 8
Call-ID: regaut01.0ha0isndaksdj
CSeq: 9338 REGISTER
Via: SIP/2.0/TCP 192.0.2.253;branch=z9hG4bKkdjuw
Authorization: NoOneKnowsThisScheme opaque-data=here
Content-Length:0

"""

# 3.3.8 Multiple Values in Single Value Required Fields
MESSAGES["multi01"] = """INVITE sip:user@company.com SIP/2.0
Contact: <sip:caller@host25.example.net>
Via: SIP/2.0/UDP 192.0.2.25;branch=z9hG4bKkdjuw
Max-Forwards: 70
CSeq: 5 INVITE
Call-ID: multi01.98asdh@192.0.2.1
CSeq: 59 INVITE
Call-ID: multi01.98asdh@192.0.2.2
From: sip:caller@example.com;tag=3413415
To: sip:user@example.com
To: sip:other@example.net
From: sip:caller@example.net;tag=2923420123
Content-Type: application/sdp
l: 154
Contact: <sip:caller@host36.example.net>
Max-Forwards: 5

""" + sdp("192.0.2.25") + "\n"

# 3.3.9 Multiple Content-Length Values
MESSAGES["mcl01"] = """OPTIONS sip:user@example.com SIP/2.0
Via: SIP/2.0/UDP host5.example.net;branch=z9hG4bK293423
To: sip:user@example.com
From: sip:other@example.net;tag=3923942
Call-ID: mcl01.fhn2323orihawfdoa3o4r52o3irsdf
CSeq: 15932 OPTIONS
Content-Length: 13
Max-Forwards: 60
Content-Length: 5
Content-Type: text/plain

There's no way to know how many octets are supposed to be here.
"""

# 3.3.10 200 OK Response with Broadcast Via Header Field Value
MESSAGES["bcast"] = """SIP/2.0 200 OK
Via: SIP/2.0/UDP 192.0.2.198;branch=z9hG4bK1324923
Via: SIP/2.0/UDP 255.255.255.255;branch=z9hG4bK1saber23
Call-ID: bcast.0384840201234ksdfak3j2erwedfsASdf
CSeq: 35 INVITE
From: sip:user@example.com;tag=11141343
To: sip:user@example.edu;tag=2229
Content-Length: 154
Content-Type: application/sdp
Contact: <sip:user@host28.example.com>

""" + sdp("192.0.2.198")

# 3.3.11 Max-Forwards of Zero
MESSAGES["zeromf"] = """OPTIONS sip:user@example.com SIP/2.0
To: sip:user@example.com
From: sip:caller@example.net;tag=3ghsd41
Call-ID: zeromf.jfasdlfnm2o2l43r5u0asdfas
CSeq: 39234321 OPTIONS
Via: SIP/2.0/UDP host1.example.com;branch=z9hG4bKkdjuw2349i
Max-Forwards: 0
Content-Length: 0

"""

# 3.3.12 REGISTER with a Contact Header Parameter
MESSAGES["cparam01"] = """REGISTER sip:example.com SIP/2.0
Via: SIP/2.0/UDP saturn.example.com:5060;branch=z9hG4bKkdjuw
Max-Forwards: 70
From: sip:watson@example.com;tag=DkfVgjkrtMwaerKKpe
To: sip:watson@example.com
Call-ID: cparam01.70710@saturn.example.com
CSeq: 2 REGISTER
Contact: sip:+19725552222@gw1.example.net;unknownparam
l: 0

"""

# 3.3.13 REGISTER with a url-parameter
MESSAGES["cparam02"] = """REGISTER sip:example.com SIP/2.0
Via: SIP/2.0/UDP saturn.example.com:5060;branch=z9hG4bKkdjuw
Max-Forwards: 70
From: sip:watson@example.com;tag=838293
To: sip:watson@example.com
Call-ID: cparam02.70710@saturn.example.com
CSeq: 3 REGISTER
Contact: <sip:+19725552222@gw1.example.net;unknownparam>
l: 0

"""

# 3.3.14 REGISTER with a URL Escaped Header
MESSAGES["regescrt"] = """REGISTER sip:example.com SIP/2.0
To: sip:user@example.com
From: sip:user@example.com;tag=8
Max-Forwards: 70
Call-ID: regescrt.k345asrl3fdbv@192.0.2.1
CSeq: 14398234 REGISTER
Via: SIP/2.0/UDP host5.example.com;branch=z9hG4bKkdjuw
M: <sip:user@example.com?Route=%3Csip:sip.example.com%3E>
L:0

"""

# 3.3.15 Unacceptable Accept Offering
MESSAGES["sdp01"] = """INVITE sip:user@example.com SIP/2.0
To: sip:j_user@example.com
Contact: <sip:caller@host15.example.net>
From: sip:caller@example.net;tag=234
Max-Forwards: 5
Call-ID: sdp01.ndaksdj9342dasdd
Accept: text/nobodyKnowsThis
CSeq: 8 INVITE
Via: SIP/2.0/UDP 192.0.2.15;branch=z9hG4bKkdjuw
Content-Length: 150
Content-Type: application/sdp

""" + sdp("192.0.2.5")

# 3.4.1 INVITE with RFC 2543 Syntax
MESSAGES["inv2543"] = """INVITE sip:UserB@example.com SIP/2.0
Via: SIP/2.0/UDP iftgw.example.com
From: <sip:+13035551111@ift.client.example.net;user=phone>
Record-Route: <sip:UserB@example.com;maddr=ss1.example.com>
To: sip:+16505552222@ss1.example.net;user=phone
Call-ID: inv2543.1717@ift.client.example.com
CSeq: 56 INVITE
Content-Type: application/sdp

v=0
o=mhandley 29739 7272939 IN IP4 192.0.2.5
s=-
c=IN IP4 192.0.2.5
t=0 0
m=audio 49217 RTP/AVP 0
"""


def crlf(text):
    return text.replace("\n", "\r\n").encode("utf-8")


def mpart01():
    head = crlf(MPART_HEAD)
    tail = crlf(MPART_TAIL)
    body_start = head.index(b"\r\n\r\n") + 4
    size = 553 - (len(head) - body_start) - len(tail)
    # DER SEQUENCE of 338 bytes holding the signedData OID, then a fixed filler with NULs.
    blob = bytes([0x30, 0x82, 0x01, 0x52, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02])
    blob += bytes((i * 37 + 11) % 256 if i % 17 else 0 for i in range(size - len(blob)))
    return head + blob + tail


def main():
    out = os.path.dirname(os.path.abspath(__file__))
    files = {name: crlf(text) for name, text in MESSAGES.items()}
    files["mpart01"] = mpart01()
    for name, data in sorted(files.items()):
        with open(os.path.join(out, name + ".dat"), "wb") as f:
            f.write(data)
    print("wrote %d messages" % len(files), file=sys.stderr)


if __name__ == "__main__":
    main()
