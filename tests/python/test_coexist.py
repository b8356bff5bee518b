"""morvex carries its own OpenSSL, linked statically and kept private: it must
not disturb (or be disturbed by) the OpenSSL that Python's ssl and hashlib load."""

from __future__ import annotations

import ctypes
import os
import subprocess
import sys

import pytest


def _run(code: str) -> subprocess.CompletedProcess[str]:
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env, timeout=60)

USE_PYTHON_OPENSSL = """
import hashlib, ssl
ctx = ssl.create_default_context()
ctx.set_ciphers("ECDHE+AESGCM")
assert ctx.verify_mode == ssl.CERT_REQUIRED
assert hashlib.sha256(b"abc").hexdigest().startswith("ba7816bf")
assert hashlib.pbkdf2_hmac("sha1", b"password", b"salt", 2).hex() == "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"
assert hashlib.new("sha512", b"x").digest_size == 64
versions.append(ssl.OPENSSL_VERSION)
"""

USE_MORVEX = """
import morvex
from morvex._internal.keys import convert_key
blob = morvex.sync.aes.encrypt_bytes(b"coexist", "key")
assert morvex.sync.aes.decrypt_bytes(blob, "key") == b"coexist"
assert convert_key("") == hashlib.sha256(b"").digest()
"""


@pytest.mark.parametrize("order", ["python-first", "morvex-first"])
def test_ssl_hashlib_and_morvex_in_one_process(order):
    parts = [USE_PYTHON_OPENSSL, "import hashlib\n" + USE_MORVEX]
    if order == "morvex-first":
        parts.reverse()
    body = "versions = []\n" + "\n".join(parts) + "\n" + USE_PYTHON_OPENSSL + "\nprint(versions[0])\n"
    proc = _run(body)
    assert proc.returncode == 0, proc.stderr
    assert "OpenSSL" in proc.stdout


def test_module_exports_no_openssl_or_botan_symbols():
    from morvex import _native

    lib = ctypes.CDLL(_native.__file__, mode=os.RTLD_LOCAL | os.RTLD_NOLOAD if hasattr(os, "RTLD_NOLOAD") else 0)
    for symbol in ["EVP_CIPHER_fetch", "EVP_EncryptInit_ex2", "OPENSSL_init_crypto", "RAND_bytes", "ERR_get_error"]:
        assert not hasattr(lib, symbol), symbol
    assert hasattr(lib, "PyInit__native")


DAEMONS_AT_EXIT = """
import atexit, os, threading
def late():
    # An exit hook that runs after morvex's own still gets its work done.
    from morvex.aes import core
    assert core.decrypt_bytes(core.encrypt_bytes(b"at exit", "k"), "k") == b"at exit"
    print("late hook ran")
atexit.register(late)
from morvex.aes import core
data = os.urandom(1 << 16)
def work():
    while True:
        core.decrypt_bytes(core.encrypt_bytes(data, "k"), "k")
for _ in range(4):
    threading.Thread(target=work, daemon=True).start()
import time
time.sleep(0.05)
"""


def test_interpreter_exits_cleanly_while_daemon_threads_are_inside_morvex():
    for _ in range(3):
        proc = _run(DAEMONS_AT_EXIT)
        assert proc.returncode == 0, proc.stderr
        assert proc.stdout.strip() == "late hook ran"
