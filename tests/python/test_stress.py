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


def _menu(rng: random.Random, rsa_pairs: list[tuple[str, str]], pq: bool) -> list[Job]:
    """Jobs over fresh inputs: results, errors (a wrong key gives the same
    error every time), true and false verifications, awaited round trips."""
    text = "".join(rng.choice("abcé✓ ") for _ in range(rng.randint(1, 60)))
    data, flip = rng.randbytes(rng.choice([1, 447])), rng.choice([b"!", b""])
    key, guess = rng.choice(["k1", "k2"]), rng.choice(["k1", "k2"])
    (priv, pub), (other, _) = rng.sample(rsa_pairs, 2)
    token, record, env, sig = (sync.aes.encrypt(text, key), sync.password.hash(key, ITERATIONS),
                               sync.hybrid.encrypt_bytes(data, pub), sync.rsa.sign_bytes(data, priv))

    async def aes_round_trip() -> Any:
        return await morvex.aes.decrypt_bytes(await morvex.aes.encrypt_bytes(data, key), key)

    async def fresh_record() -> Any:
        fresh = await morvex.password.hash(text, ITERATIONS)
        return await morvex.password.verify(text, fresh), await morvex.password.verify(key, fresh)

    menu = [lambda: morvex.aes.decrypt(token, key), lambda: morvex.aes.decrypt(token, "k3"), aes_round_trip,
            lambda: morvex.hybrid.decrypt_bytes(env, priv), lambda: morvex.rsa.decrypt_bytes(env, other),
            lambda: morvex.rsa.verify_bytes(data + flip, sig, pub),
            lambda: morvex.password.verify(guess, record), fresh_record]
    if pq:
        pub8, priv8 = sync.quantum.generate_keypair(8, rng.randint(0, 2))
        spub, spriv = sync.quantum.generate_signature_keypair(1, 0)
        (secret, message), qsig = sync.quantum.encrypt(text, pub8), sync.quantum.sign(data, spriv)

        async def quantum_round_trip() -> Any:
            s, m = await morvex.quantum.encrypt(text, pub8)
            signed = await morvex.quantum.verify(data, await morvex.quantum.sign(data, spriv), spub)
            return signed, await morvex.quantum.decrypt(m, priv8, s)

        menu += [lambda: morvex.quantum.decrypt(message, priv8, secret),
                 lambda: morvex.quantum.verify(data + flip, qsig, spub), quantum_round_trip]
    return menu


@pytest.mark.asyncio
async def test_concurrent_results_equal_sequential_results(rsa_pairs):
    rng = random.Random(20240611)
    menus = [_menu(rng, rsa_pairs, oqs_native._BACKEND_LINKED) for _ in range(COUNT // 5)]
    jobs = [job for menu in menus for job in rng.choices(menu, k=5)]
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
