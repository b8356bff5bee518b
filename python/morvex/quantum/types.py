"""Enumerations of the quantum area: generations, strengths and signature families."""

from __future__ import annotations

from enum import IntEnum

__all__ = ["QuantumGeneration", "QuantumStrength", "SignatureAlgorithm"]


class QuantumGeneration(IntEnum):
    """Post-quantum constructions; GEN1 and GEN3 only name GEN2 and GEN6 at key generation."""

    GEN1 = 1
    GEN2 = 2
    GEN3 = 3
    GEN4 = 4
    GEN5 = 5
    GEN6 = 6
    GEN7 = 7
    GEN8 = 8


class QuantumStrength(IntEnum):
    """Security level: the index of every mechanism table and the second byte of every key."""

    STANDARD = 0
    MEDIUM = 1
    HIGHEST = 2


class SignatureAlgorithm(IntEnum):
    """Post-quantum signature families."""

    ML_DSA = 1
    SLH_DSA = 2
