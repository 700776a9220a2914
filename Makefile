# The two everyday commands: `make run` and `make test`.
BUILD_TYPE ?= RelWithDebInfo
BUILD_DIR  ?= build
BENCH_DIR  ?= build-bench
JOBS       ?= 2

.PHONY: all bootstrap configure build run test bench clean

all: build

bootstrap:
	@bash scripts/bootstrap.sh

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

configure: bootstrap $(BUILD_DIR)/build.ninja

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/src/kr40 --simulate

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench: bootstrap
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKR40_BUILD_TESTS=OFF -DKR40_BUILD_BENCH=ON
	cmake --build $(BENCH_DIR) -j $(JOBS) --target kr40_bench
	$(BENCH_DIR)/bench/kr40_bench

clean:
	rm -rf $(BUILD_DIR) $(BENCH_DIR)
