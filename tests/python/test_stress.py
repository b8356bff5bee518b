"""Many asynchronous operations of every area awaited together on the default
executor give exactly what the same operations give one by one."""

from __future__ import annotations

import asyncio
import random
from typing import Any, Awaitable, Callable

import pytest

import morvex
from morvex import errors, sync
from morvex._native import oqs as oqs_native

ITERATIONS = 1000  # PBKDF2 count of the records made here
COUNT = 200

Job = Callable[[], Awaitable[Any]]


async def _settle(job: Job) -> Any:
    """A comparable form of a job's result or error."""
    try:
        return ("ok", await job())
    except errors.MorvexError as err:
        return ("error", type(err).__name__, str(err))


def _jobs(rsa_pairs: list[tuple[str, str]], pq: bool) -> list[Job]:
    rng = random.Random(20240611)
    (priv_a, pub_a), (priv_b, pub_b) = rsa_pairs
    records = {pw: sync.password.hash(pw, ITERATIONS) for pw in ("alpha", "beta", "gamma")}
    if pq:
        gen8 = [sync.quantum.generate_keypair(8, s) for s in range(3)]
        spub, spriv = sync.quantum.generate_signature_keypair(1, 0)

    def aes_job() -> Job:
        key, other = rng.sample([f"key {i}" for i in range(5)], 2)
        text = "".join(rng.choice("abcé✓ ") for _ in range(rng.randint(1, 60)))
        token, blob = sync.aes.encrypt(text, key), sync.aes.encrypt_bytes(text.encode(), key)

        async def round_trip() -> Any:
            return await morvex.aes.decrypt_bytes(await morvex.aes.encrypt_bytes(blob, key), key)

        return rng.choice([lambda: morvex.aes.decrypt(token, key),
                           lambda: morvex.aes.decrypt(token, other),  # wrong key: the same error every time
                           round_trip])

    def envelope_job() -> Job:
        data = rng.randbytes(rng.choice([1, 100, 446, 447, 2000]))
        priv, pub, other = rng.choice([(priv_a, pub_a, priv_b), (priv_b, pub_b, priv_a)])
        env, blob = sync.hybrid.encrypt_bytes(data, pub), sync.rsa.encrypt_bytes(data, pub)
        sig = sync.rsa.sign_bytes(data, priv)
        flip = b"!" if rng.random() < 0.5 else b""
        return rng.choice([lambda: morvex.hybrid.decrypt_bytes(env, priv),
                           lambda: morvex.rsa.decrypt_bytes(blob, other),  # the other key: an error
                           lambda: morvex.rsa.verify_bytes(data + flip, sig, pub)])

    def password_job() -> Job:
        pw, guess = rng.choice(list(records)), rng.choice(list(records))

        async def fresh() -> Any:
            record = await morvex.password.hash(pw, ITERATIONS)
            return await morvex.password.verify(pw, record), await morvex.password.verify(guess + "x", record)

        return rng.choice([lambda: morvex.password.verify(guess, records[pw]),
                           lambda: morvex.password.needs_rehash(records[pw]), fresh])

    def quantum_job() -> Job:
        text = f"message {rng.random()}"
        pub, priv = rng.choice(gen8)
        secret, message = sync.quantum.encrypt(text, pub)
        data = text.encode()
        sig, flip = sync.quantum.sign(data, spriv), b"!" if rng.random() < 0.5 else b""

        async def round_trip() -> Any:
            s, m = await morvex.quantum.encrypt(text, pub)
            signed = await morvex.quantum.verify(data, await morvex.quantum.sign(data, spriv), spub)
            return signed, await morvex.quantum.decrypt(m, priv, s)

        return rng.choice([lambda: morvex.quantum.decrypt(message, priv, secret),
                           lambda: morvex.quantum.verify(data + flip, sig, spub), round_trip])

    makers = [aes_job, envelope_job, password_job] + ([quantum_job] if pq else [])
    return [rng.choice(makers)() for _ in range(COUNT)]


@pytest.mark.asyncio
async def test_concurrent_results_equal_sequential_results(rsa_pairs):
    jobs = _jobs(rsa_pairs, oqs_native._BACKEND_LINKED)
    one_by_one = [await _settle(job) for job in jobs]
    together = await asyncio.gather(*(_settle(job) for job in jobs))
    assert together == one_by_one
    # The mix really exercised both outcomes.
    kinds = {o[0] for o in one_by_one}
    assert kinds == {"ok", "error"}
    assert {True, False} <= {o[1] for o in one_by_one if o[0] == "ok" and isinstance(o[1], bool)}
    # And a second concurrent run, interleaved differently, agrees too.
    shuffled = list(range(COUNT))
    random.Random(7).shuffle(shuffled)
    again = await asyncio.gather(*(_settle(jobs[i]) for i in shuffled))
    assert [again[shuffled.index(i)] for i in range(COUNT)] == one_by_one
