"""Asynchronous password operations."""

from __future__ import annotations

from morvex.password import core

__all__ = ["core"]
