"""Runs the benchmarks of every area (bench/bench_<area>.py) in one process and
prints one table: morvex's time per call, the reference's, and their ratio.

    PYTHONPATH=build/<dir>/stage .venv/bin/python bench/run.py [area ...] [--quick]

Each module exposes ``cases()`` returning (label, morvex_call, reference_call or
None, reference_label) and optionally ``extra()`` returning report lines.
Timing: each callable is calibrated to about TARGET seconds per sample, then
sampled REPEATS times, morvex and reference interleaved; the best sample counts
(the least disturbed by other work on the machine).
"""

from __future__ import annotations

import gc
import importlib.util
import pathlib
import sys
import time
from typing import Callable

HERE = pathlib.Path(__file__).resolve().parent
TARGET = 0.05
REPEATS = 7


def discover(areas: list[str]) -> list[tuple[str, object]]:
    modules = []
    for path in sorted(HERE.glob("bench_*.py")):
        area = path.stem[len("bench_") :]
        if areas and area not in areas:
            continue
        spec = importlib.util.spec_from_file_location(f"bench_{area}", path)
        assert spec and spec.loader
        mod = importlib.util.module_from_spec(spec)
        sys.modules[spec.name] = mod
        spec.loader.exec_module(mod)
        modules.append((area, mod))
    unknown = set(areas) - {a for a, _ in modules}
    if unknown:
        sys.exit(f"no benchmark module for: {', '.join(sorted(unknown))}")
    return modules


def calibrate(fn: Callable[[], object], target: float) -> int:
    n = 1
    while True:
        t0 = time.perf_counter()
        for _ in range(n):
            fn()
        dt = time.perf_counter() - t0
        if dt >= target / 4 or n >= 1 << 24:
            return max(1, int(n * target / max(dt, 1e-9)))
        n *= 4


def sample(fn: Callable[[], object], n: int) -> float:
    gc_was = gc.isenabled()
    gc.disable()
    try:
        t0 = time.perf_counter()
        for _ in range(n):
            fn()
        return (time.perf_counter() - t0) / n
    finally:
        if gc_was:
            gc.enable()


def measure(ours: Callable[[], object], ref: Callable[[], object] | None, target: float, repeats: int) -> tuple[float, float | None]:
    n_ours = calibrate(ours, target)
    n_ref = calibrate(ref, target) if ref else 0
    best_ours, best_ref = float("inf"), float("inf")
    for _ in range(repeats):
        best_ours = min(best_ours, sample(ours, n_ours))
        if ref:
            best_ref = min(best_ref, sample(ref, n_ref))
    return best_ours, (best_ref if ref else None)


def fmt_us(seconds: float | None) -> str:
    if seconds is None:
        return "-"
    us = seconds * 1e6
    return f"{us:,.2f}" if us < 100 else f"{us:,.0f}"


def main(argv: list[str]) -> int:
    quick = "--quick" in argv
    areas = [a for a in argv if not a.startswith("-")]
    target, repeats = (0.01, 2) if quick else (TARGET, REPEATS)
    rows = []
    extras: list[tuple[str, list[str]]] = []
    for area, mod in discover(areas):
        t0 = time.perf_counter()
        for label, ours, ref, ref_label in mod.cases():
            ours_s, ref_s = measure(ours, ref, target, repeats)
            ratio = f"{ref_s / ours_s:.2f}x" if ref_s else "-"
            rows.append((area, label, fmt_us(ours_s), fmt_us(ref_s), ratio, ref_label or "-"))
        if hasattr(mod, "extra"):
            extras.append((area, list(mod.extra())))
        print(f"[bench] {area}: {time.perf_counter() - t0:.1f} s", file=sys.stderr)

    header = ("area", "operation", "morvex µs/call", "reference µs/call", "speed-up", "reference")
    widths = [max(len(str(r[i])) for r in [header, *rows]) for i in range(len(header))]
    right = {2, 3, 4}

    def line(r):
        return "  ".join(str(c).rjust(w) if i in right else str(c).ljust(w) for i, (c, w) in enumerate(zip(r, widths)))

    print(line(header))
    print("  ".join("-" * w for w in widths))
    for r in rows:
        print(line(r))
    print("speed-up = reference time / morvex time (above 1.00x: morvex is faster)")
    for area, lines in extras:
        if lines:
            print(f"\n{area}:")
            for text in lines:
                print(f"  {text}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
