# The two commands a newcomer needs: `make run` and `make test`.
# Everything else is a step of theirs or a tool for developers.

PRESET ?= dev
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: deps configure build test sanitized fuzz-smoke run format clean fuzz bench \
  install uninstall package

deps:
	@./scripts/install-deps

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET) -j $(JOBS)

# The sanitizer run and a short fuzz pass come first, so that the output ends
# with the summary of the main suite.
test: build sanitized fuzz-smoke
	@ctest --preset $(PRESET)

# The whole suite once more under AddressSanitizer and UndefinedBehaviorSanitizer,
# with leak detection and no suppressions: offscreen, Qt leaves nothing behind that
# LeakSanitizer reports. Its log is kept; only its summary is shown unless it fails.
ASAN_LOG = build/asan/ctest.log
sanitized: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --preset asan >$(ASAN_LOG) 2>&1 || { tail -n 300 $(ASAN_LOG); exit 1; }
	@sed -n 's/^.*tests passed.*$$/sanitizers: &/p' $(ASAN_LOG)

# Each fuzz target for ten seconds: enough to catch a seed that now crashes.
fuzz-smoke: deps
	@FUZZ_SECONDS=10 ./scripts/fuzz

run: deps
	@./scripts/run

# Developer tools: each fuzz target for FUZZ_SECONDS seconds; the benchmark table.
FUZZ_SECONDS ?= 60

fuzz: deps
	@FUZZ_SECONDS=$(FUZZ_SECONDS) ./scripts/fuzz

bench: deps
	@./scripts/bench

# Installing: the release build without its tests. PREFIX=~/.local needs no
# root; DESTDIR stages the files under another root, as packagers do.
PREFIX ?= /usr/local
PACKAGE_BUILD = build/package

install: deps
	@cmake --preset package >/dev/null
	@cmake --build --preset package -j $(JOBS)
	@cmake --install $(PACKAGE_BUILD) --prefix "$(PREFIX)"

# Removes what the last install put down, as listed in its manifest.
uninstall:
	@test -f $(PACKAGE_BUILD)/install_manifest.txt || \
	  { echo "uninstall: no install manifest in $(PACKAGE_BUILD)" >&2; exit 1; }
	@while IFS= read -r file || [ -n "$$file" ]; do rm -f "$(DESTDIR)$$file" && echo "removed $(DESTDIR)$$file"; done \
	  <$(PACKAGE_BUILD)/install_manifest.txt
	@rm -f $(PACKAGE_BUILD)/install_manifest.txt

# A .deb of everything installed, in build/package/packages.
package: deps
	@cmake --preset package >/dev/null
	@cmake --build --preset package -j $(JOBS)
	@cd $(PACKAGE_BUILD) && cpack -G DEB

format:
	@git ls-files '*.cpp' '*.hpp' | xargs clang-format -i

clean:
	@rm -rf build
