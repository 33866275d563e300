# Two entry points for a fresh Debian 12 machine:
#   make run    — install what is needed, build, and run the screensaver
#                 (with no display it renders headless and writes screenshots to captures/)
#   make check  — install what is needed, build with sanitizers, run every test
JOBS ?= $(shell nproc)
CAPTURE_DIR ?= captures

.PHONY: run check deps build build-check fuzz bench clean

deps:
	./scripts/install-deps

build: deps
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_TESTS=OFF
	cmake --build build -j $(JOBS)

run: build
	./scripts/run-saver build/tarnwick3d $(CAPTURE_DIR)

build-check: deps
	CC=clang CXX=clang++ cmake -S . -B build-check -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DTARNWICK_SANITIZE=ON -DTARNWICK_FUZZ=ON -DTARNWICK_BENCH=OFF
	cmake --build build-check -j $(JOBS)

# The tests' environment: headless drivers, leak suppressions for system libraries.
TEST_ENV = SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0

check: build-check
	cd build-check && $(TEST_ENV) ctest --output-on-failure -j $(JOBS) --timeout 600

bench: deps
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARNWICK_TESTS=OFF -DTARNWICK_BENCH=ON
	cmake --build build-bench -j $(JOBS)
	./scripts/run-benchmarks build-bench

clean:
	rm -rf build build-check build-bench
