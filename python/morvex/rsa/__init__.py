"""Asynchronous rsa operations."""

from __future__ import annotations

from morvex.rsa import core

__all__ = ["core"]
