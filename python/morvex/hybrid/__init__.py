"""Asynchronous hybrid operations."""

from __future__ import annotations

from morvex.hybrid import core

__all__ = ["core"]
