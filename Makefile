# The two set-up commands of the README: `make run` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CTEST_ARGS ?=

.PHONY: all build deps run test test-asan bench install clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: deps build
	scripts/run-program.sh $(BUILD)/vorlinta

# Every test, then the unit and integration tests again under the sanitizers.
test: deps build
	scripts/run-tests.sh $(BUILD) $(CTEST_ARGS)
	$(MAKE) test-asan

test-asan:
	cmake -S . -B $(ASAN_BUILD) -DQUAVIX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	scripts/run-tests.sh $(ASAN_BUILD) -L 'unit|integration'

bench: deps build
	scripts/run-bench.sh $(BUILD)

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
