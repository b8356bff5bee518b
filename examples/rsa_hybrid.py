"""RSA and the hybrid envelope with morvex: key pairs, encryption that switches
from one RSA block to an envelope, signatures, and one decryption for every
format."""

from __future__ import annotations

import asyncio

import morvex
from morvex import sync


async def main() -> None:
    print(f"morvex {morvex.__version__}: RSA-4096 and the hybrid envelope")

    # Key generation is the slowest call; awaiting it keeps the event loop free.
    private_pem, public_pem = await morvex.rsa.new_key_pair()
    print(f"  new_key_pair() -> {private_pem.splitlines()[0]} / {public_pem.splitlines()[0]}")

    # Up to 446 bytes fit in one RSA-OAEP block; longer data becomes an envelope.
    short = b"a short secret"
    long = b"a longer document " * 100
    block = sync.rsa.encrypt_bytes(short, public_pem)
    envelope = sync.rsa.encrypt_bytes(long, public_pem)
    print(f"  encrypt_bytes: {len(short)} bytes -> {len(block)}-byte RSA block")
    print(f"  encrypt_bytes: {len(long)} bytes -> {len(envelope)}-byte envelope "
          f"(length {int.from_bytes(envelope[:4], 'little')}, RSA block, nonce, tag, ciphertext)")
    print(f"  decrypt_bytes opens both: {sync.rsa.decrypt_bytes(block, private_pem) == short} "
          f"and {sync.rsa.decrypt_bytes(envelope, private_pem) == long}")

    # The hybrid area always seals an envelope; its decryption reads every format.
    token = sync.hybrid.encrypt("envelope for any length of text \u2709", public_pem)
    print(f"  hybrid.encrypt(text) -> {token[:24]}... ({len(token)} Base64 chars)")
    print(f"  hybrid.decrypt(token) -> {sync.hybrid.decrypt(token, private_pem)!r}")
    print(f"  hybrid.decrypt_bytes(RSA block) -> {sync.hybrid.decrypt_bytes(block, private_pem)!r}")

    # RSA-PSS signatures: a wrong signature is an answer (False), not an error.
    signature = sync.rsa.sign("signed statement", private_pem)
    print(f"  sign(text) -> {len(signature)} Base64 chars; verify: "
          f"{sync.rsa.verify('signed statement', signature, public_pem)}, "
          f"altered text: {sync.rsa.verify('signed statement!', signature, public_pem)}")

    # Failures are morvex errors with fixed messages.
    for label, call in [
        ("tampered envelope", lambda: sync.hybrid.decrypt_bytes(envelope[:-1] + bytes([envelope[-1] ^ 1]), private_pem)),
        ("not a key", lambda: sync.rsa.encrypt_bytes(short, "not a PEM key")),
        ("empty data", lambda: sync.hybrid.encrypt_bytes(b"", public_pem)),
    ]:
        try:
            call()
        except morvex.MorvexError as e:
            print(f"  {label}: {type(e).__name__}: {e}")


if __name__ == "__main__":
    asyncio.run(main())
