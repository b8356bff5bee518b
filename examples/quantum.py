"""Post-quantum encryption and signatures with morvex."""

from __future__ import annotations

import asyncio

import morvex
from morvex import quantum, sync
from morvex.quantum import QuantumGeneration, QuantumStrength, SignatureAlgorithm


async def main() -> None:
    print(f"morvex {morvex.__version__}: post-quantum key encapsulation and signatures")

    # The default generation: X25519 and ML-KEM-1024 side by side.
    public_key, private_key = await quantum.generate_keypair()
    print(f"  generate_keypair() -> GEN{public_key[0]}, strength {public_key[1]}, "
          f"public {len(public_key)} bytes, private {len(private_key)} bytes")
    secret, message = await quantum.encrypt("Grüße aus der Zukunft ✓", public_key)
    print(f"  encrypt -> encapsulated secret {len(secret)} bytes, message {len(message)} bytes")
    print(f"  decrypt(message, private_key, secret) -> {await quantum.decrypt(message, private_key, secret)!r}")

    # Other constructions are chosen by generation; the key says which one it is.
    for gen, strength in [(QuantumGeneration.GEN6, QuantumStrength.STANDARD), (QuantumGeneration.GEN7, 0)]:
        pub, priv = sync.quantum.generate_keypair(gen, strength)
        sec, msg = sync.quantum.encrypt("hybrid or not", pub)
        print(f"  {gen.name}/{strength}: key {len(pub)} bytes, secret {len(sec)} bytes, "
              f"-> {sync.quantum.decrypt(msg, priv, sec)!r}")

    # Signatures: ML-DSA-87 by default, SLH-DSA on request.
    for alg in (SignatureAlgorithm.ML_DSA, SignatureAlgorithm.SLH_DSA):
        spub, spriv = await quantum.generate_signature_keypair(alg, QuantumStrength.STANDARD)
        signature = await quantum.sign(b"release 1.0.10", spriv)
        ok = await quantum.verify(b"release 1.0.10", signature, spub)
        forged = await quantum.verify(b"release 1.0.11", signature, spub)
        print(f"  {alg.name}: signature {len(signature)} bytes, verifies: {ok}, other data: {forged}")

    # Failures are morvex errors with fixed messages.
    try:
        sync.quantum.decrypt(message[:-1] + bytes([message[-1] ^ 1]), private_key, secret)
    except morvex.DecryptionError as e:
        print(f"  altered message -> {type(e).__name__}: {e}")
    try:
        sync.quantum.encrypt("x", b"\x01\x00\x01")
    except morvex.QuantumOperationError as e:
        print(f"  generation 1 key -> {type(e).__name__}: {e}")


if __name__ == "__main__":
    asyncio.run(main())
