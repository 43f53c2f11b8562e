# The two commands a newcomer needs: `make run` and `make test`.
# Everything else is a step of theirs or a tool for developers.

PRESET ?= dev
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: deps configure build test run format clean

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

format:
	@git ls-files '*.cpp' '*.hpp' | xargs clang-format -i

clean:
	@rm -rf build
