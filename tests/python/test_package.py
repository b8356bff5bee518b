import morvex
from morvex import errors


def test_version_and_root_names():
    from morvex import version

    assert morvex.__version__ == version.__version__ == "1.0.10"
    assert morvex.__all__[:8] == ["__version__", "aes", "rsa", "hybrid", "password", "quantum", "sync", "errors"]
    assert morvex.MorvexError is errors.MorvexError
    assert morvex.InvalidInputError.__bases__ == (errors.MorvexError,)
