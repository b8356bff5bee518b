"""Shared fixtures for the Python suite."""

from __future__ import annotations
