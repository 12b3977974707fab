# The README's commands. Every target installs what is missing first.
#   make run    install, build, start the program on the sample library
#   make test   install, build twice (normal and sanitizers), run every test
#   make bench  install, build in release mode, run the benchmarks

BUILD      ?= build
JOBS       ?= $(shell nproc)
NORMAL_DIR := $(BUILD)/normal
SANITIZE_DIR := $(BUILD)/sanitize
RELEASE_DIR := $(BUILD)/release
BENCH_PROGRAMS := bench_report bench_workloads bench_program bench_startup

.PHONY: deps build build-sanitize test test-normal test-sanitize run bench package clean

deps:
	@bash scripts/install-deps

$(NORMAL_DIR)/build.ninja:
	cmake -S . -B $(NORMAL_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

$(SANITIZE_DIR)/build.ninja:
	cmake -S . -B $(SANITIZE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DSORABEKU_SANITIZE=ON

$(RELEASE_DIR)/build.ninja:
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release

build: deps $(NORMAL_DIR)/build.ninja
	cmake --build $(NORMAL_DIR) -j $(JOBS)

build-sanitize: deps $(SANITIZE_DIR)/build.ninja
	cmake --build $(SANITIZE_DIR) -j $(JOBS)

test-normal: build
	bash scripts/run-tests $(NORMAL_DIR)

test-sanitize: build-sanitize
	bash scripts/run-tests $(SANITIZE_DIR)

test: test-normal test-sanitize

# Without a display it says so before building anything.
run:
	@bash scripts/run-program --check-display
	$(MAKE) build
	bash scripts/run-program $(NORMAL_DIR)

bench: deps $(RELEASE_DIR)/build.ninja
	cmake --build $(RELEASE_DIR) -j $(JOBS) --target $(BENCH_PROGRAMS)
	bash scripts/run-benchmarks $(RELEASE_DIR)

# The Debian package (CPack), in $(NORMAL_DIR).
package: build
	cmake --build $(NORMAL_DIR) --target package

clean:
	rm -rf $(BUILD)
