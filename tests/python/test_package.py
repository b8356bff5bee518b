import morvex
from morvex import errors


def test_version_and_root_names():
    from morvex import version

    assert morvex.__version__ == version.__version__ == "1.0.10"
    assert morvex.__all__[:8] == ["__version__", "aes", "rsa", "hybrid", "password", "quantum", "sync", "errors"]
    assert morvex.MorvexError is errors.MorvexError
    assert morvex.InvalidInputError.__bases__ == (errors.MorvexError,)


def test_full_root_surface():
    import types

    assert morvex.__all__ == [
        "__version__",
        "aes",
        "rsa",
        "hybrid",
        "password",
        "quantum",
        "sync",
        "errors",
        "MorvexError",
        "InvalidInputError",
        "EncryptionError",
        "DecryptionError",
        "SignatureError",
        "QuantumOperationError",
    ]
    for name in morvex.__all__:
        assert hasattr(morvex, name), name
    for area in ["aes", "rsa", "hybrid", "password", "quantum", "sync", "errors"]:
        assert isinstance(getattr(morvex, area), types.ModuleType)
    for name in errors.__all__:
        assert getattr(morvex, name) is getattr(errors, name)
    from morvex import version

    assert [n for n in vars(version) if not n.startswith("__")] == []
    # The private key normalisation area is not published.
    assert "_internal" not in morvex.__all__


def test_sync_and_async_reach_the_same_core():
    assert morvex.sync.aes.encrypt is morvex.aes.core.encrypt_str
