"""Sealed blobs against an independent AES-GCM, and fork safety (argument
kinds: test_binding.py)."""

from __future__ import annotations

import base64
import os
import subprocess
import sys

import pytest
from cryptography.hazmat.primitives.ciphers.aead import AESGCM
from hypothesis import given, settings
from hypothesis import strategies as st

from morvex._internal.keys import convert_key
from morvex.aes import core
from morvex.errors import DecryptionError

NOT_GCM = (
    "AES decryption failed: data is not valid AES-GCM (legacy AES-CBC+HMAC not yet supported, "
    "or wrong key/tampered data)."
)


@settings(max_examples=30, deadline=None)
@given(st.binary(min_size=1, max_size=300),
       st.text(max_size=30) | st.binary(min_size=1, max_size=70).map(lambda b: base64.b64encode(b).decode()))
def test_blobs_open_with_independent_aesgcm_and_back(data, key):
    raw_key = convert_key(key)
    blob = core.encrypt_bytes(data, key)
    assert AESGCM(raw_key).decrypt(blob[:12], blob[12:], None) == data
    nonce = os.urandom(12)
    assert core.decrypt_bytes(nonce + AESGCM(raw_key).encrypt(nonce, data, None), key) == data


def test_independent_aesgcm_edge_blobs():
    raw, nonce = AESGCM.generate_key(bit_length=256), os.urandom(12)
    # Associated data is never used: a blob sealed with some does not open;
    # 28 bytes that authenticate as the empty plaintext are still refused.
    for blob in (nonce + AESGCM(raw).encrypt(nonce, b"x", b"ad"), nonce + AESGCM(raw).encrypt(nonce, b"", None)):
        with pytest.raises(DecryptionError) as info:
            core.decrypt_bytes(blob, base64.b64encode(raw).decode())
        assert str(info.value) == NOT_GCM and info.value.__cause__ is None


FORK_SCRIPT = """
import os
from morvex.aes import core
core.encrypt_bytes(b"warm up", "k")
r, w = os.pipe()
pid = os.fork()
if pid == 0:
    os.write(w, b"".join(core.encrypt_bytes(b"x", "k")[:12] for _ in range(4)))
    os._exit(0)
os.close(w)
child = b""
while chunk := os.read(r, 64):
    child += chunk
os.waitpid(pid, 0)
parent = {core.encrypt_bytes(b"x", "k")[:12] for _ in range(4)}
theirs = {child[i : i + 12] for i in range(0, len(child), 12)}
assert len(child) == 48 and len(theirs) == 4 and not parent & theirs
print("ok")
"""


@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs fork")
def test_parent_and_forked_child_draw_different_nonces():
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    proc = subprocess.run([sys.executable, "-c", FORK_SCRIPT], capture_output=True, text=True, env=env, timeout=60)
    assert proc.returncode == 0 and proc.stdout.strip() == "ok", proc.stderr
