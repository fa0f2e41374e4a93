# ORVA's commands. `make run` and `make test` are all a newcomer needs: each
# installs what is missing (deps/debian-packages.txt), builds and goes on.

BUILD_DIR    ?= build
SANITIZE_DIR ?= build-sanitize
BUILD_TYPE   ?= RelWithDebInfo
CMAKE_FLAGS  ?=
JOBS         ?= $(shell nproc)

.PHONY: all deps build build-sanitize run test test-normal test-sanitize example clean

all: build

deps:
	@bash deps/install

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

$(SANITIZE_DIR)/build.ninja:
	cmake -S . -B $(SANITIZE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVA_SANITIZE=ON $(CMAKE_FLAGS)

build: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS)

build-sanitize: deps $(SANITIZE_DIR)/build.ninja
	cmake --build $(SANITIZE_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/bin/orva-cli list examples/textdb_00.def

# The normal suite, then the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer; the last ctest summary is the sanitized one.
test: test-normal test-sanitize

test-normal: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

test-sanitize: build-sanitize
	cd $(SANITIZE_DIR) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# Makes the sample database again from its generator.
example: build
	$(BUILD_DIR)/tools/make-example-database examples/textdb_00.def

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR)
