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
    """Each maker offers a few jobs over fresh inputs: results, errors (a wrong
    key gives the same error every time) and awaited round trips."""
    rng = random.Random(20240611)
    records = {pw: sync.password.hash(pw, ITERATIONS) for pw in ("alpha", "beta", "gamma")}
    if pq:
        gen8 = [sync.quantum.generate_keypair(8, s) for s in range(3)]
        spub, spriv = sync.quantum.generate_signature_keypair(1, 0)

    def aes_jobs() -> list[Job]:
        key, other = rng.sample([f"key {i}" for i in range(5)], 2)
        text = "".join(rng.choice("abcé✓ ") for _ in range(rng.randint(1, 60)))
        token = sync.aes.encrypt(text, key)

        async def round_trip() -> Any:
            return await morvex.aes.decrypt_bytes(await morvex.aes.encrypt_bytes(text.encode(), key), key)

        return [lambda: morvex.aes.decrypt(token, key), lambda: morvex.aes.decrypt(token, other), round_trip]

    def envelope_jobs() -> list[Job]:
        data, flip = rng.randbytes(rng.choice([1, 100, 446, 447, 2000])), rng.choice([b"!", b""])
        (priv, pub), (other, _) = rng.sample(rsa_pairs, 2)
        env, blob, sig = (sync.hybrid.encrypt_bytes(data, pub), sync.rsa.encrypt_bytes(data, pub),
                          sync.rsa.sign_bytes(data, priv))
        return [lambda: morvex.hybrid.decrypt_bytes(env, priv), lambda: morvex.rsa.decrypt_bytes(blob, other),
                lambda: morvex.rsa.verify_bytes(data + flip, sig, pub)]

    def password_jobs() -> list[Job]:
        pw, guess = rng.choice(list(records)), rng.choice(list(records))

        async def fresh() -> Any:
            record = await morvex.password.hash(pw, ITERATIONS)
            return await morvex.password.verify(pw, record), await morvex.password.verify(guess + "x", record)

        return [lambda: morvex.password.verify(guess, records[pw]), lambda: morvex.password.needs_rehash(records[pw]),
                fresh]

    def quantum_jobs() -> list[Job]:
        text, flip = f"message {rng.random()}", rng.choice([b"!", b""])
        (pub, priv), data = rng.choice(gen8), text.encode()
        (secret, message), sig = sync.quantum.encrypt(text, pub), sync.quantum.sign(data, spriv)

        async def round_trip() -> Any:
            s, m = await morvex.quantum.encrypt(text, pub)
            signed = await morvex.quantum.verify(data, await morvex.quantum.sign(data, spriv), spub)
            return signed, await morvex.quantum.decrypt(m, priv, s)

        return [lambda: morvex.quantum.decrypt(message, priv, secret),
                lambda: morvex.quantum.verify(data + flip, sig, spub), round_trip]

    makers = [aes_jobs, envelope_jobs, password_jobs] + ([quantum_jobs] if pq else [])
    return [rng.choice(rng.choice(makers)()) for _ in range(COUNT)]


@pytest.mark.asyncio
async def test_concurrent_results_equal_sequential_results(rsa_pairs):
    jobs = _jobs(rsa_pairs, oqs_native._BACKEND_LINKED)
    one_by_one = [await _settle(job) for job in jobs]
    assert await asyncio.gather(*(_settle(job) for job in jobs)) == one_by_one
    # The mix really exercised both outcomes.
    assert {o[0] for o in one_by_one} == {"ok", "error"}
    assert {True, False} <= {o[1] for o in one_by_one if o[0] == "ok" and isinstance(o[1], bool)}
    # And a second concurrent run, interleaved differently, agrees too.
    shuffled = list(range(COUNT))
    random.Random(7).shuffle(shuffled)
    again = await asyncio.gather(*(_settle(jobs[i]) for i in shuffled))
    assert [again[shuffled.index(i)] for i in range(COUNT)] == one_by_one
