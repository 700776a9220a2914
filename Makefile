# The two everyday commands: `make run` and `make test`.
BUILD_TYPE ?= RelWithDebInfo
BUILD_DIR  ?= build
BENCH_DIR  ?= build-bench
JOBS       ?= 2

.PHONY: all bootstrap configure build run test bench sanitize clean

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

# Every test under AddressSanitizer and UBSan (the link fuzz test feeds 10^7 bytes).
sanitize: bootstrap
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKR40_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD_DIR) $(BENCH_DIR) build-asan
