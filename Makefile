# The two set-up commands of the README: `make run` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
CTEST_ARGS ?=
# The long-session test's open/convert/stop cycles under the sanitizers
# (about half a second each there). Every cycle runs the same code, so 50
# find what 200 find there; the normal pass runs all 200 and checks that
# memory, descriptors and threads stay level.
ASAN_SESSION_CYCLES ?= 50
# The sanitizer pass runs only the unit and integration tests, so its tree
# builds only the test programs that hold some (not those of window or
# whole-program tests alone).
ASAN_TEST_LABELS ?= unit;integration

.PHONY: all build deps run test test-normal test-busy test-asan fuzz bench install clean format check-format

all: build

deps:
	@scripts/install-deps.sh

# CI builds with warnings as errors, so a new warning never lands.
$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(if $(CI),-DQUAVIX_WERROR=ON)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: deps build
	scripts/run-program.sh $(BUILD)/vorlinta

# Every test once: in the normal build those the sanitizer build does not
# run (the window and whole-program tests, and the PipeWire copies of the
# sound tests), then the unit and integration tests under the sanitizers,
# then the fuzz targets for a bounded time. Running the sanitized tests in
# the normal build as well proved nothing the sanitizers do not, and cost
# CI a third of its time. `make test-normal` runs all of them in the normal
# build.
test: deps check-format build
	scripts/run-tests.sh $(BUILD) -LE 'unit|integration' $(CTEST_ARGS)
	scripts/run-tests.sh $(BUILD) -L pipewire -L 'unit|integration' $(CTEST_ARGS)
	$(MAKE) test-asan
	$(MAKE) fuzz

test-normal: deps build
	scripts/run-tests.sh $(BUILD) $(CTEST_ARGS)

# `make test` three times in a row with two busy processes beside it (what a
# shared CI machine does to it); stops at the first failure.
test-busy:
	scripts/test-busy.sh 3

test-asan:
	cmake -S . -B $(ASAN_BUILD) -DQUAVIX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug \
	  -DQUAVIX_TEST_LABELS="$(ASAN_TEST_LABELS)"
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	QUAVIX_ROBUST_CYCLES=$(ASAN_SESSION_CYCLES) scripts/run-tests.sh $(ASAN_BUILD) -L 'unit|integration' -LE pipewire

fuzz:
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD) -DQUAVIX_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_midi_reader fuzz_registry_reader
	scripts/run-tests.sh $(FUZZ_BUILD) -L fuzz

bench: deps build
	scripts/run-bench.sh $(BUILD)

# The house style (.clang-format): `format` applies it, `check-format` fails
# on any difference and names the files.
format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

check-format:
	@scripts/check-format.sh

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
