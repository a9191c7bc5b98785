# Set-up and entry points. `make demo` and `make test` work on a fresh Debian 12
# machine: they install what is missing first.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
BUILD ?= build
FUZZ_SECONDS ?= 20
# Targets with a known open finding, left out of the short CI runs until it is fixed.
FUZZ_SKIP ?=

PACKAGES := cmake ninja-build g++ clang libclang-rt-14-dev pkg-config \
  libgtest-dev libgmock-dev libbenchmark-dev libsoxr-dev nlohmann-json3-dev libcli11-dev \
  liborcus-dev libfreexl-dev libexpat1-dev libcairo2-dev \
  python3 python3-numpy python3-pandas python3-soundfile python3-scipy python3-openpyxl \
  libreoffice-calc-nogui sox ffmpeg lame mpg123 time parallel dpkg-dev file \
  qt6-base-dev fonts-dejavu-core

.PHONY: deps configure build test asan fuzz demo bench package screenshots clean

deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "installing:" $$missing; \
	  SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSEL_SANITIZE=ON -DTESSEL_BENCH=OFF
	cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir build-asan --output-on-failure -j $(JOBS)

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTESSEL_FUZZ=ON -DTESSEL_TESTS=OFF -DTESSEL_BENCH=OFF
	cmake --build build-fuzz -j $(JOBS)
	@set -e -o pipefail; for f in build-fuzz/fuzz_*; do \
	  [ -f "$$f" ] && [ -x "$$f" ] || continue; name=$$(basename $$f); \
	  case " $(FUZZ_SKIP) " in *" $$name "*) echo "== $$name skipped (FUZZ_SKIP)"; continue;; esac; \
	  mkdir -p build-fuzz/corpus/$$name; \
	  seeds=fuzz/corpus/$${name#fuzz_}; [ -d $$seeds ] || seeds=; \
	  echo "== $$name ($(FUZZ_SECONDS) s)"; \
	  $$f -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 -timeout=10 -artifact_prefix=build-fuzz/ build-fuzz/corpus/$$name $$seeds 2>&1 | tail -n 3; \
	done

# A picture of every settings page and of the property sheet, drawn without a
# display, in $(BUILD)/screenshots/.
screenshots: configure
	cmake --build $(BUILD) -j $(JOBS) --target tessel_page_screenshots
	QT_QPA_PLATFORM=offscreen $(BUILD)/tessel_page_screenshots $(BUILD)/screenshots

demo: build
	@bash cli/demo.sh $(BUILD)

bench: build
	@bash bench/run_all.sh $(BUILD)

# A Debian package of the installed tree (bin, libraries, headers, pkg-config,
# CMake package, manual page, completion), built for /usr in a tree of its own.
package: deps
	cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	  -DTESSEL_TESTS=OFF -DTESSEL_BENCH=OFF
	cmake --build build-deb -j $(JOBS)
	cd build-deb && cpack -G DEB
	@ls -l build-deb/*.deb

clean:
	rm -rf build build-asan build-fuzz build-deb
