"""The forms of an operation, all derived from the native one.

An operation's contract (what it does, its arguments, its errors) is written
once, as the docstring of its native binding. ``operation`` publishes a native
function in a core module with that docstring and a real signature;
``awaitable`` builds the asynchronous form of a core operation under its
public name, with the same docstring and signature. Type checkers see the
core operation's parameters on both.
"""

from __future__ import annotations

import asyncio
import functools
import inspect
import sys
from typing import TYPE_CHECKING, Any, Callable, Coroutine, TypeVar

if TYPE_CHECKING:
    from typing_extensions import ParamSpec

    P = ParamSpec("P")

T = TypeVar("T")

_Kind = inspect.Parameter


async def run(fn: Callable[..., T], *args: Any, **kwargs: Any) -> T:
    """Runs ``fn`` on the running loop's default executor."""
    loop = asyncio.get_running_loop()
    if kwargs:
        return await loop.run_in_executor(None, functools.partial(fn, *args, **kwargs))
    return await loop.run_in_executor(None, fn, *args)


class _Text(str):
    """An annotation as the stubs spell it, shown without quotes."""

    def __repr__(self) -> str:
        return str(self)


def _split(text: str) -> list[str]:
    """Splits a parameter list at its top-level commas."""
    parts: list[str] = []
    depth = start = 0
    for i, c in enumerate(text):
        if c in "[(":
            depth += 1
        elif c in "])":
            depth -= 1
        elif c == "," and depth == 0:
            parts.append(text[start:i].strip())
            start = i + 1
    parts.append(text[start:].strip())
    return [p for p in parts if p]


def _default(text: str, values: tuple[Any, ...], namespace: dict[str, Any]) -> Any:
    if text.startswith("\\"):
        return values[int(text[1:])]
    head, *rest = text.split(".")  # a member such as QuantumGeneration.GEN8
    value = namespace[head]
    for attr in rest:
        value = getattr(value, attr)
    return value


def _signature(native: Any, namespace: dict[str, Any]) -> tuple[inspect.Signature, str]:
    """The signature and the docstring of a nanobind function."""
    text, doc, values = native.__nb_signature__[0]
    head, _, result = text.rpartition(") -> ")
    params: list[inspect.Parameter] = []
    kind: inspect._ParameterKind = _Kind.POSITIONAL_OR_KEYWORD
    for part in _split(head[head.index("(") + 1 :]):
        if part == "*":
            kind = _Kind.KEYWORD_ONLY
            continue
        if part == "/":
            params = [p.replace(kind=_Kind.POSITIONAL_ONLY) for p in params]
            continue
        name, _, rest = part.partition(": ")
        annotation, _, default = rest.partition(" = ")
        value = _default(default, values or (), namespace) if default else _Kind.empty
        params.append(_Kind(name, kind, annotation=_Text(annotation), default=value))
    return inspect.Signature(params, return_annotation=_Text(result)), doc or ""


def _name_as(fn: Any, name: str, module: str, doc: str, signature: inspect.Signature) -> None:
    fn.__name__ = fn.__qualname__ = name
    fn.__module__ = module
    fn.__doc__ = doc
    fn.__signature__ = signature
    fn.__annotations__ = {}  # the signature's annotations are the ones to read


def operation(native: Callable[P, T]) -> Callable[P, T]:
    """Publishes a native function in the calling core module: same call, with
    the binding's docstring and a signature that ``inspect`` reads."""
    module = sys._getframe(1).f_globals
    fn: Any = native
    signature, doc = _signature(fn, module)

    def call(*args: P.args, **kwargs: P.kwargs) -> T:
        return native(*args, **kwargs) if kwargs else native(*args)  # type: ignore[call-arg]

    _name_as(call, fn.__name__, module["__name__"], doc, signature)
    return call


def awaitable(core_op: Callable[P, T], name: str | None = None) -> Callable[P, Coroutine[Any, Any, T]]:
    """The asynchronous form of a core operation, published in the calling area
    as ``name`` (the core's own name by default). Awaiting it runs the core
    operation, looked up in its module at each call, on the event loop's
    default executor, and resumes with its result or its very error."""
    fn: Any = core_op
    core, core_name = sys.modules[fn.__module__], fn.__name__

    async def call(*args: P.args, **kwargs: P.kwargs) -> T:
        return await run(getattr(core, core_name), *args, **kwargs)

    doc = f"{inspect.getdoc(core_op)}\n\nRuns ``core.{core_name}`` on the event loop's default executor."
    _name_as(call, name or core_name, sys._getframe(1).f_globals["__name__"], doc, inspect.signature(core_op))
    call.__wrapped__ = core_op  # type: ignore[attr-defined]
    return call
