from morvex._native import (
    aes as aes,
    hybrid as hybrid,
    keys as keys,
    oqs as oqs,
    password as password,
    quantum as quantum,
    rsa as rsa,
    stream as stream
)


def _close_gate() -> None: ...
