"""The package as a caller sees it (names and orders: tests/data/cases/surface.json):
root names, the asynchronous areas, the facade, loading and the stubs. Also run
against the build without the post-quantum backend (`make test-nopq`)."""

from __future__ import annotations

import asyncio
import concurrent.futures
import inspect
import json
import pathlib
import re
import subprocess
import sys
import threading
from typing import Any

import pytest

import morvex
from morvex import errors, sync, version

TABLE = json.loads((pathlib.Path(__file__).resolve().parents[1] / "data" / "cases" / "surface.json").read_text())
# area -> [(public name, core operation, parameter names)], in the published order.
SURFACE = {area: [(name, core, tuple(params)) for name, core, params in rows] for area, rows in TABLE["areas"].items()}
FACADE, DEFAULTS, CLASSES = TABLE["facade"], TABLE["defaults"], TABLE["classes"]
ROWS = [(area, *row) for area, rows in SURFACE.items() for row in rows]


def _core_params(fn: Any) -> tuple[str, ...]:
    """Parameter names of a core operation, read from its signature line."""
    if not hasattr(fn, "__nb_signature__"):
        return _params(fn)
    text = fn.__nb_signature__[0][0]
    return tuple(a or b for a, b in re.findall(r"(\w+):|(\*),", text[text.index("(") : text.rindex(") ->")]))


def _params(fn: Any) -> tuple[str, ...]:
    """Parameter names, with "*" before the keyword-only ones."""
    out: list[str] = []
    for p in inspect.signature(fn).parameters.values():
        if p.kind is p.KEYWORD_ONLY and "*" not in out:
            out.append("*")
        out.append(p.name)
    return tuple(out)


def test_root_facade_and_error_names():
    assert morvex.__all__ == TABLE["root"]
    assert morvex.__version__ == version.__version__ == TABLE["version"]
    for area in ["aes", "rsa", "hybrid", "password", "quantum", "stream", "sync", "errors"]:
        assert getattr(morvex, area) is sys.modules[f"morvex.{area}"]
    assert sync.__all__ == list(FACADE)
    assert [n for n, v in vars(sync).items() if type(v).__module__ == "morvex.sync"] == sync.__all__
    assert [n for n, v in vars(sync).items() if isinstance(v, type)] == [cls for cls, _ in FACADE.values()]
    assert errors.__all__ == TABLE["errors"]
    for name in errors.__all__:
        cls = getattr(errors, name)
        assert getattr(morvex, name) is cls
        assert cls.__bases__ == ((Exception,) if cls is errors.MorvexError else (errors.MorvexError,))
        # No class adds behaviour or fields of its own.
        assert {k for k in vars(cls) if not (k.startswith("__") and k.endswith("__"))} == set()


def test_loading_order_starts_no_threads():
    # sys.modules lists modules in the order their loading completed; an area
    # that an earlier one loaded as a dependency is not loaded again. Loading
    # starts no threads and no loop.
    code = ("import sys, threading, morvex; "
            "print(threading.active_count(), *(m for m in sys.modules if m.startswith('morvex')))")
    proc = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    threads, *out = proc.stdout.split()
    assert threads == "1"
    done = {m: i for i, m in enumerate(out)}
    for first, then in TABLE["loaded_before"]:
        assert done[first] < done[then], (first, then)


@pytest.mark.parametrize("area", list(SURFACE))
def test_area_and_facade_names_signatures_and_docstrings(area):
    mod, rows = getattr(morvex, area), SURFACE[area]
    names = [row[0] for row in rows]
    if area == "quantum":
        from morvex.quantum import core, types as qtypes

        for enum, members in TABLE["enums"].items():
            assert getattr(mod, enum) is getattr(qtypes, enum) is getattr(core, enum)
            assert [[m.name, int(m)] for m in getattr(mod, enum)] == members
        names += list(TABLE["enums"])
    classes = CLASSES.get(area, [])
    for cls_name in classes:
        assert getattr(mod, cls_name) is getattr(mod.core, cls_name) is getattr(getattr(sync, area), cls_name)
    names += classes
    assert mod.__all__ == names + ["core"]
    assert mod.core is sys.modules[f"morvex.{area}.core"]
    coroutines = [n for n, v in vars(mod).items() if not n.startswith("_") and inspect.iscoroutinefunction(v)]
    assert coroutines == names[: len(rows)]
    # The facade: a class of static members that are the core operations themselves.
    cls_name, alias = FACADE[area]
    obj = getattr(sync, area)
    cls = type(obj)
    assert cls.__name__ == cls_name and getattr(sync, cls_name) is cls and vars(obj) == {}
    assert getattr(sync, alias) is mod.core
    assert [n for n in vars(cls) if not n.startswith("_")] == names[: len(rows)] + classes
    for name, core_name, params in rows:
        fn, core_fn = getattr(mod, name), getattr(mod.core, core_name)
        assert _params(fn) == params == _core_params(core_fn)
        assert fn.__doc__ and core_fn.__doc__
        assert isinstance(vars(cls)[name], staticmethod)
        assert getattr(obj, name) is getattr(cls, name) is core_fn
        # Defaults are fixed values.
        defaults = [repr(p.default) if isinstance(p.default, bytes) else p.default
                    for p in inspect.signature(fn).parameters.values() if p.default is not p.empty]
        assert defaults == DEFAULTS.get(f"{area}.{name}", []), name
    if area == "password":
        assert [mod.core.DEFAULT_ITERATIONS] == DEFAULTS["password.hash"]


@pytest.mark.asyncio
async def test_every_async_operation_runs_its_core_operation(monkeypatch):
    executor = concurrent.futures.ThreadPoolExecutor(1, thread_name_prefix="default-executor")
    asyncio.get_running_loop().set_default_executor(executor)
    calls, result, failing = [], object(), []
    err = errors.DecryptionError("from the core")
    err.__cause__ = ValueError("low")

    def fake_core(*args: object, **kwargs: object) -> object:
        calls.append((args, kwargs, threading.current_thread().name))
        if failing:
            raise err
        return result

    try:
        for area, name, core_name, params in ROWS:
            monkeypatch.setattr(getattr(morvex, area).core, core_name, fake_core)
            op = getattr(getattr(morvex, area), name)
            star = params.index("*") if "*" in params else len(params)
            args, kw = tuple(object() for _ in params[:star]), {p: object() for p in params[star + 1 :]}
            calls.clear()
            pending = op(*args, **kw)
            assert calls == [], name  # nothing runs until awaited
            assert await pending is result, name
            ((got, kwargs, thread),) = calls
            assert got == args and kwargs == kw and thread.startswith("default-executor"), name
            # A call never awaited runs nothing.
            op(*args, **kw).close()
            await asyncio.sleep(0)
            assert len(calls) == 1, name
            # The core's error reaches the caller as the very same object.
            failing.append(True)
            with pytest.raises(errors.DecryptionError) as info:
                await op(*args, **kw)
            assert info.value is err and type(info.value.__cause__) is ValueError
            failing.clear()
    finally:
        executor.shutdown(wait=True)


def test_native_stubs_cover_the_module():
    # The stubs beside the package name every member of the native module
    # (regenerate them with `make stubs` after changing a binding).
    import morvex._native as native

    stub_dir = pathlib.Path(morvex.__file__).parent / "_native"
    for sub in ["keys", "aes", "rsa", "hybrid", "password", "quantum", "oqs", "stream"]:
        text = (stub_dir / f"{sub}.pyi").read_text()
        for name in (n for n in vars(getattr(native, sub)) if not n.startswith("__")):
            assert f"def {name}(" in text or f"{name}:" in text or f"class {name}" in text, f"{sub}.{name}: make stubs"
    assert (pathlib.Path(morvex.__file__).parent / "py.typed").exists()

