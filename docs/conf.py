"""Sphinx configuration of the morvex documentation site (`make docs`).

The Python reference is read from the built package: run with
PYTHONPATH=<build>/stage. The C++ reference is Doxygen's HTML, built first
into <MORVEX_DOXYGEN_OUT>/cpp and copied into the site as ``cpp/``.
"""

from __future__ import annotations

import os

import morvex

project = "morvex"
author = "the morvex developers"
copyright = "the morvex developers"  # noqa: A001
release = morvex.__version__
version = ".".join(release.split(".")[:2])

extensions = [
    "myst_parser",
    "sphinx.ext.autodoc",
    "sphinx.ext.napoleon",
]

source_suffix = {".md": "markdown"}
root_doc = "index"
exclude_patterns = ["_build", "Doxyfile", "doxygen_filter.py", "doxygen_mainpage.md"]
myst_enable_extensions = ["colon_fence", "deflist"]
myst_heading_anchors = 3

# Google-style docstrings (Args/Returns/Raises).
napoleon_google_docstring = True
napoleon_numpy_docstring = False
# A "Returns:" line of the form "what: detail" reads as one sentence, not a type.
napoleon_use_rtype = False
autodoc_member_order = "bysource"
autodoc_typehints = "signature"
autodoc_default_options = {"members": True, "undoc-members": False}

html_theme = "furo"
html_title = f"morvex {release}"

# The C++ reference: Doxygen writes its HTML to <MORVEX_DOXYGEN_OUT>/cpp, and
# the whole directory is copied into the site, so the reference is cpp/index.html.
_doxygen = os.environ.get("MORVEX_DOXYGEN_OUT")
html_extra_path = [_doxygen] if _doxygen else []
