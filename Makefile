# The two commands a newcomer needs: `make run` and `make test`.
# Everything else is a step of theirs or a tool for developers.

PRESET ?= dev
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: deps configure build test run format clean fuzz bench

deps:
	@./scripts/install-deps

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET) -j $(JOBS)

test: build
	@ctest --preset $(PRESET)

run: deps
	@./scripts/run

# Developer tools: each fuzz target for FUZZ_SECONDS seconds; the benchmark table.
FUZZ_SECONDS ?= 60

fuzz: deps
	@FUZZ_SECONDS=$(FUZZ_SECONDS) ./scripts/fuzz

bench: deps
	@./scripts/bench

format:
	@git ls-files '*.cpp' '*.hpp' | xargs clang-format -i

clean:
	@rm -rf build
