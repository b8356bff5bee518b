"""Password hashing: a self-describing JSON record, verification, rehash policy."""

import asyncio
import json

import morvex
from morvex import sync


async def main() -> None:
    record = await morvex.password.hash("correct horse battery staple")
    print("record:", record)
    params = json.loads(record)["parameters"]
    print(f"PBKDF2-HMAC-{params['hashAlgorithm']}, {params['iterations']} iterations, {params['outputLength']} bytes")
    print("right password verifies:", await morvex.password.verify("correct horse battery staple", record))
    print("wrong password verifies:", await morvex.password.verify("correct horse battery stapler", record))
    print("needs rehash:", await morvex.password.needs_rehash(record))

    # An old record made with fewer iterations still verifies, and asks to be renewed.
    old = sync.password.hash("hunter2", 10000)
    print("old record verifies:", sync.password.verify("hunter2", old), "| needs rehash:", sync.password.needs_rehash(old))
    # A malformed record is simply not a match.
    print("malformed record verifies:", sync.password.verify("hunter2", '{"salt": 5}'))


asyncio.run(main())
