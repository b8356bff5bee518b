"""Core of the rsa area (synchronous operations)."""

from __future__ import annotations

from morvex import errors as _errors  # noqa: F401

__all__: list[str] = []
