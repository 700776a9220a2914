# The two everyday commands: `make run` and `make test`.
BUILD_TYPE ?= RelWithDebInfo
# One build folder per build type: build/ for the default, build-debug for Debug.
BUILD_DIR  ?= $(if $(filter RelWithDebInfo,$(BUILD_TYPE)),build,build-$(shell echo '$(BUILD_TYPE)' | tr A-Z a-z))
BENCH_DIR  ?= build-bench
PACKAGE_DIR ?= build-package
JOBS       ?= 2
# WERROR=ON turns compiler warnings into errors (CI).
WERROR     ?= OFF

CMAKE_ARGS := -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DKR40_WERROR=$(WERROR)

.PHONY: all bootstrap configure build run test bench sanitize package format-check clean

all: build

bootstrap:
	@bash scripts/bootstrap.sh

# Configures when the folder is new or was configured with other arguments.
configure: bootstrap
	@if [ ! -f $(BUILD_DIR)/build.ninja ] || [ "$$(cat $(BUILD_DIR)/make-cmake-args 2>/dev/null)" != "$(CMAKE_ARGS)" ]; then \
	  cmake -S . -B $(BUILD_DIR) $(CMAKE_ARGS) && echo "$(CMAKE_ARGS)" > $(BUILD_DIR)/make-cmake-args; \
	fi

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/src/kr40 --simulate

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench: bootstrap
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKR40_BUILD_TESTS=OFF -DKR40_BUILD_BENCH=ON
	cmake --build $(BENCH_DIR) -j $(JOBS) --target kr40_bench kr40
	$(BENCH_DIR)/bench/kr40_bench
	QT_QPA_PLATFORM=offscreen python3 bench/memory_bench.py $(BENCH_DIR)/src/kr40

# Every test under AddressSanitizer and UBSan; the fuzz tests feed 10^8
# bytes here (10^7 in `make test`), the data-file one at least 10^6 files.
sanitize: bootstrap
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKR40_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	cd build-asan && KR40_FUZZ_BYTES=100000000 KR40_FUZZ_FILES=1000000 ctest --output-on-failure -j $(JOBS)

# The Debian package kr40_VERSION_ARCH.deb in this folder: a Release build
# installed under /usr (see packaging/install.cmake).
package: bootstrap
	cmake -S . -B $(PACKAGE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DKR40_BUILD_TESTS=OFF
	cmake --build $(PACKAGE_DIR) -j $(JOBS)
	cd $(PACKAGE_DIR) && cpack -G DEB
	cp $(PACKAGE_DIR)/kr40_*.deb .
	@ls -l kr40_*.deb

# The sources as .clang-format lays them out (nothing is rewritten).
format-check: bootstrap
	find src tests bench tools \( -name '*.h' -o -name '*.cpp' \) -print0 | sort -z | xargs -0 clang-format --dry-run -Werror

clean:
	rm -rf $(BUILD_DIR) build build-debug $(BENCH_DIR) build-asan $(PACKAGE_DIR) kr40_*.deb
