"""The version of morvex."""

__version__ = "1.0.10"
