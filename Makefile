# morvex: `make demo` sets up what building needs and runs the examples;
# `make test` sets up the development tools too and runs every test.
SHELL := /bin/bash
ROOT := $(abspath .)
BUILD ?= build/release
VENV := $(ROOT)/.venv
PY := $(VENV)/bin/python
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE = $(shell [ -x $(VENV)/bin/cmake ] && echo $(VENV)/bin/cmake || echo cmake)
CMAKE_ARGS ?=
STAGE = $(ROOT)/$(BUILD)/stage
FUZZ_SECONDS ?= 60
# A second build without the post-quantum backend (`make test-nopq`), beside
# the main one so that parallel builds never share a tree.
NOPQ_BUILD ?= $(BUILD)-nopq

.PHONY: all deps deps-build dev configure build build-nopq test test-nopq test-cpp test-python demo install bench test-sanitize test-tsan fuzz clean typecheck stubs docs docs-test cpp-example \
	wheel wheels sdist test-wheel test-wheels test-cpp-package test-dist test-sdist

all: build

# Everything development needs (the build requirements, then the test,
# documentation and type check tools); `make deps-build` only what building
# and installing the package needs (what `make install` and `make demo` use).
# LIBOQS_SOURCE=<liboqs release tarball>: both build liboqs from it (see
# README), unless the system has liboqs >= 0.16.
DEPS_ENV = LIBOQS_SOURCE="$(if $(LIBOQS_SOURCE),$(abspath $(LIBOQS_SOURCE)))"
deps:
	@$(DEPS_ENV) bash scripts/deps.sh --dev

deps-build:
	@$(DEPS_ENV) bash scripts/deps.sh

dev: deps

configure: deps
	@$(CMAKE) -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_MAKE_PROGRAM=$(VENV)/bin/ninja -DPython_EXECUTABLE=$(PY) $(CMAKE_ARGS) >/dev/null

build: configure
	@$(CMAKE) --build $(BUILD) -j $(JOBS)

test: build build-nopq
	@echo "== Include cycles between the areas of src/"; $(PY) scripts/check_area_cycles.py
	@bash scripts/run_tests.sh "$(BUILD)" "$(NOPQ_BUILD)"
	@echo "== Contracts (header comments against docstrings)"; PYTHONPATH=$(STAGE) $(PY) scripts/check_contracts.py
	@echo "== Constant-time check (valgrind)"; $(MAKE) --no-print-directory test-ct
	@echo "== Documentation: the site (warnings are errors), then every snippet"; $(MAKE) --no-print-directory docs docs-test
	@echo "== Type check (mypy --strict, pyright)"; $(TYPECHECK)
	@$(MAKE) --no-print-directory test-dist

test-cpp: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-python: build
	@PYTHONPATH=$(STAGE) $(PY) -m pytest -q

build-nopq: deps
	@$(MAKE) --no-print-directory build BUILD=$(NOPQ_BUILD) CMAKE_ARGS="-DMORVEX_WITH_PQ=OFF -DMORVEX_BUILD_BENCH=OFF"

# Without the backend every post-quantum call reports the loader and the rest
# of the package works.
test-nopq: build-nopq
	@bash scripts/run_tests.sh --nopq-only "$(NOPQ_BUILD)"

install: deps-build
	@bash scripts/install.sh

demo: install
	@for f in examples/*.py; do echo "=== $$f"; (cd /tmp && $(PY) $(ROOT)/$$f) || exit 1; done

bench: build
	@PYTHONPATH=$(STAGE) $(PY) bench/run.py

test-sanitize: deps
	@$(MAKE) --no-print-directory build BUILD=build/sanitize CMAKE_ARGS="-DMORVEX_SANITIZE=ON -DMORVEX_BUILD_PYTHON=OFF -DMORVEX_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo"
	@bash scripts/sanitize.sh build/sanitize

# Our code on secret inputs under valgrind memcheck, the secrets marked
# undefined (tests/ct): a branch or a memory index on a secret fails it. The
# release optimisation, with symbols for the reports.
CT_BUILD ?= build/ct
.PHONY: test-ct
test-ct: deps
	@$(MAKE) --no-print-directory build BUILD=$(CT_BUILD) CMAKE_ARGS="-DMORVEX_CT=ON -DMORVEX_WITH_PQ=OFF \
	  -DMORVEX_BUILD_PYTHON=OFF -DMORVEX_BUILD_TESTS=OFF -DMORVEX_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS=-g"
	@valgrind -q --error-exitcode=1 --track-origins=yes --suppressions=tests/ct/openssl.supp $(CT_BUILD)/tests/ct/morvex_ct && echo "constant-time check: no branch or index on a secret"

test-tsan: deps
	@$(MAKE) --no-print-directory build BUILD=build/tsan CMAKE_ARGS="-DMORVEX_TSAN=ON -DMORVEX_BUILD_PYTHON=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo"
	@cd build/tsan && TSAN_OPTIONS=halt_on_error=1 ./tests/cpp/morvex_tests --gtest_filter='*Concurren*:*Thread*'

# Line and branch coverage of src/ from the C++ and Python suites together
# (gcov, unoptimised, in a build tree of its own; counters updated atomically,
# since the suites run threads).
.PHONY: coverage
COVERAGE_BUILD ?= build/coverage
coverage: deps
	@$(MAKE) --no-print-directory build BUILD=$(COVERAGE_BUILD) CMAKE_ARGS="-DCMAKE_BUILD_TYPE=Debug -DMORVEX_BUILD_BENCH=OFF \
	  -DCMAKE_CXX_FLAGS='--coverage -fprofile-update=atomic' -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage \
	  -DCMAKE_MODULE_LINKER_FLAGS=--coverage"
	@bash scripts/coverage.sh $(COVERAGE_BUILD)

# mypy --strict and pyright over a program that uses every public operation,
# against the staged package and the stubs of its native module.
# pyright runs on the node runtime that `make deps` installs (Debian's nodejs).
TYPECHECK = MYPYPATH=$(STAGE) $(PY) -m mypy --strict --cache-dir $(ROOT)/$(BUILD)/mypy-cache \
	  examples/typed_usage.py && if command -v node >/dev/null; then \
	  PYTHONPATH=$(STAGE) $(VENV)/bin/pyright --pythonpath $(PY) examples/typed_usage.py; \
	  else echo "pyright needs a node runtime: run make deps (Debian's nodejs)" >&2; false; fi
typecheck: build
	@$(TYPECHECK)

# Regenerates python/morvex/_native/*.pyi from the built module.
stubs: build
	@PYTHONPATH=$(STAGE) $(PY) scripts/gen_stubs.py

# A C++ program using the core through add_subdirectory (examples/cpp).
cpp-example: deps
	@$(CMAKE) -S examples/cpp -B $(BUILD)-cpp-example -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_MAKE_PROGRAM=$(VENV)/bin/ninja >/dev/null
	@$(CMAKE) --build $(BUILD)-cpp-example -j $(JOBS)
	@$(BUILD)-cpp-example/morvex_example

# What users get: the binary wheels in $(WHEEL_DIR) (scripts/wheel.sh; each
# build tree $(BUILD)-wheel-<tag> is kept, so a second run is incremental),
# the source distribution, and the checks of both packages that `make test`
# runs: wheels (built into $(BUILD)/dist) installed into fresh environments
# and tested from outside the checkout, and the installed C++ package used
# through find_package and pkg-config.
# `make wheel`: the wheel of .venv's Python. `make wheels`: one for each of
# CPython 3.9, 3.10, 3.11 and the stable-ABI wheel for 3.12 and later, with
# the interpreters found here (scripts/wheels.sh). `make test-wheel` (part of
# `make test`) tests the wheel of .venv's Python and the stable-ABI wheel on
# the newest interpreter; `make test-wheels` every wheel on every interpreter
# that takes it.
WHEEL_DIR ?= dist
wheel: deps
	@bash scripts/wheel.sh "$(BUILD)" "$(WHEEL_DIR)"

wheels: deps
	@bash scripts/wheels.sh "$(BUILD)" "$(WHEEL_DIR)"

sdist: deps-build
	@mkdir -p $(WHEEL_DIR) && rm -f $(WHEEL_DIR)/morvex-*.tar.gz && $(PY) -c "import scikit_build_core.build as b; print('$(WHEEL_DIR)/' + b.build_sdist('$(WHEEL_DIR)'))"

test-wheel: deps
	@bash scripts/wheels.sh --test --quick "$(BUILD)" "$(BUILD)/dist"

test-wheels: deps
	@bash scripts/wheels.sh --test "$(BUILD)" "$(BUILD)/dist"

test-cpp-package: build
	@bash scripts/test_cpp_package.sh "$(BUILD)"

# The source distribution installed the way a user installs it (pip builds it,
# dependency step included: several minutes, so not part of `make test`).
test-sdist: deps
	@$(MAKE) --no-print-directory sdist WHEEL_DIR="$(BUILD)/sdist"
	@bash scripts/test_wheel.sh "$$(ls "$(BUILD)"/sdist/morvex-*.tar.gz)" "$(BUILD)/sdist-test"

test-dist: test-cpp-package test-wheel

# The documentation site in $(BUILD)/site/html: the C++ reference from the
# public headers (Doxygen), then the pages and the Python reference from the
# built package's docstrings (Sphinx); any warning fails the build.
SITE = $(ROOT)/$(BUILD)/site
MORVEX_VERSION = $(shell sed -n 's/^__version__ = "\(.*\)"/\1/p' python/morvex/version.py)
docs: build
	@rm -rf $(SITE) && mkdir -p $(SITE)/extra
	@MORVEX_DOXYGEN_OUT=$(SITE)/extra MORVEX_VERSION=$(MORVEX_VERSION) doxygen docs/Doxyfile
	@PYTHONPATH=$(STAGE) MORVEX_DOXYGEN_OUT=$(SITE)/extra $(VENV)/bin/sphinx-build -q -W --keep-going \
	  -b html -d $(SITE)/doctrees docs $(SITE)/html
	@echo "documentation: $(SITE)/html/index.html"

# Runs every code snippet of README.md and docs/ (also part of `make test`).
docs-test: build
	@bash scripts/test_docs.sh "$(BUILD)"

fuzz: deps
	@bash scripts/fuzz.sh --seconds $(FUZZ_SECONDS)

clean:
	rm -rf build
