"""Asynchronous quantum operations."""

from __future__ import annotations

from morvex.quantum import core

__all__ = ["core"]
