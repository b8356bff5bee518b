"""morvex in a process with others: its own OpenSSL (static and private) beside
Python's ssl and hashlib, a forked child, and exit while threads are inside it."""

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
ctx = ssl.create_default_context()
ctx.set_ciphers("ECDHE+AESGCM")
assert ctx.verify_mode == ssl.CERT_REQUIRED
assert hashlib.sha256(b"abc").hexdigest().startswith("ba7816bf")
assert hashlib.pbkdf2_hmac("sha1", b"password", b"salt", 2).hex() == "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"
print(ssl.OPENSSL_VERSION)
"""

USE_MORVEX = """
import morvex
from morvex._internal.keys import convert_key
assert morvex.sync.aes.decrypt_bytes(morvex.sync.aes.encrypt_bytes(b"coexist", "key"), "key") == b"coexist"
assert convert_key("") == hashlib.sha256(b"").digest()
"""


@pytest.mark.parametrize("order", ["python-first", "morvex-first"])
def test_ssl_hashlib_and_morvex_in_one_process(order):
    parts = [USE_PYTHON_OPENSSL, USE_MORVEX] if order == "python-first" else [USE_MORVEX, USE_PYTHON_OPENSSL]
    proc = _run("import hashlib, ssl\n" + "".join(parts) + USE_PYTHON_OPENSSL)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.startswith("OpenSSL")


def test_module_exports_no_openssl_or_botan_symbols():
    from morvex import _native

    lib = ctypes.CDLL(_native.__file__, mode=os.RTLD_LOCAL | os.RTLD_NOLOAD if hasattr(os, "RTLD_NOLOAD") else 0)
    for symbol in ["EVP_CIPHER_fetch", "EVP_EncryptInit_ex2", "OPENSSL_init_crypto", "RAND_bytes", "ERR_get_error"]:
        assert not hasattr(lib, symbol), symbol
    assert hasattr(lib, "PyInit__native")


FORK = """
import os
from morvex.aes import core
core.encrypt_bytes(b"warm up", "k")
r, w = os.pipe()
if (pid := os.fork()) == 0:
    os.write(w, b"".join(core.encrypt_bytes(b"x", "k")[:12] for _ in range(4)))
    os._exit(0)
child = os.read(r, 48)  # one write of less than PIPE_BUF: read whole
os.waitpid(pid, 0)
parent = {core.encrypt_bytes(b"x", "k")[:12] for _ in range(4)}
theirs = {child[i : i + 12] for i in range(0, len(child), 12)}
assert len(child) == 48 and len(theirs) == 4 and not parent & theirs
"""


@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs fork")
def test_parent_and_forked_child_draw_different_nonces():
    proc = _run(FORK)
    assert proc.returncode == 0, proc.stderr


DAEMONS_AT_EXIT = """
import atexit, os, threading, time
def late():
    # Registered before morvex loads, so it runs after morvex's own exit
    # hook: its work still gets done.
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
time.sleep(0.05)
"""


def test_interpreter_exits_cleanly_while_daemon_threads_are_inside_morvex():
    for _ in range(3):
        proc = _run(DAEMONS_AT_EXIT)
        assert proc.returncode == 0 and proc.stdout.strip() == "late hook ran", proc.stderr
