"""AES-256-GCM with morvex: text and bytes, asynchronous and synchronous."""

from __future__ import annotations

import asyncio
import base64
import os

import morvex
from morvex import sync


async def main() -> None:
    print(f"morvex {morvex.__version__}: AES-256-GCM under a key given as text")

    # A passphrase is hashed into the key; awaiting runs the work on a worker thread.
    passphrase = "correct horse battery staple"
    token = await morvex.aes.encrypt("meet me at noon", passphrase)
    print(f"  encrypt(text, passphrase)  -> {token[:32]}... ({len(token)} Base64 chars)")
    print(f"  decrypt(token, passphrase) -> {await morvex.aes.decrypt(token, passphrase)!r}")

    # The Base64 text of 32 random bytes is used as the key itself.
    key = base64.b64encode(os.urandom(32)).decode()
    data = bytes(range(10))
    blob = await morvex.aes.encrypt_bytes(data, key)
    print(f"  encrypt_bytes: {len(data)} bytes -> {len(blob)} bytes (12-byte nonce, ciphertext, 16-byte tag)")
    print(f"  decrypt_bytes: {await morvex.aes.decrypt_bytes(blob, key)!r}")

    # Many calls at once never block the event loop.
    tokens = await asyncio.gather(*(morvex.aes.encrypt(f"message {i}", key) for i in range(4)))
    print(f"  {len(tokens)} concurrent encryptions, all different: {len(set(tokens)) == len(tokens)}")

    # The synchronous facade has the same names and opens the same tokens.
    print(f"  sync.aes.decrypt(token) -> {sync.aes.decrypt(token, passphrase)!r}")

    # Every failure is one of the morvex error classes, with a fixed message.
    for label, call in [
        ("wrong key", lambda: sync.aes.decrypt(token, "not the passphrase")),
        ("altered blob", lambda: sync.aes.decrypt_bytes(blob[:-1] + bytes([blob[-1] ^ 1]), key)),
        ("not Base64", lambda: sync.aes.decrypt("not base64!", key)),
        ("empty text", lambda: sync.aes.encrypt("", key)),
    ]:
        try:
            call()
        except morvex.MorvexError as e:
            print(f"  {label}: {type(e).__name__}: {e}")


if __name__ == "__main__":
    asyncio.run(main())
