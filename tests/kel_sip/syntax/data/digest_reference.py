"""The request digest of RFC 2617 section 3.2.2 with the hashes of RFC 7616, computed with Python's
hashlib: the independent reference the digest tests check the C++ code against."""
import hashlib

# RFC 7616 section 6.1; any other name hashes with MD5.
HASHES = {"sha-256": "sha256", "sha-512-256": "sha512_256"}


def response(user, password, method, uri, realm, algorithm, qop, nonce, nc, cnonce, body):
    base = algorithm.lower()
    session = base.endswith("-sess") and base[:-5] in ("md5", "sha-256", "sha-512-256")
    if session:
        base = base[:-5]
    name = HASHES.get(base, "md5")

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
        return h(f"{ha1}:{nonce}:{nc:08x}:{cnonce}:{qop}:{ha2}")
    return h(f"{ha1}:{nonce}:{ha2}")
