# The project's commands. CMake does the building; this file only names the jobs.
#   make demo           install what is missing, build, open the main window on the demo discs
#                       (without a display: run tolvane-cli on them instead)
#   make check          install what is missing, build, run every test
#   make sanitize       the tests under AddressSanitizer and UndefinedBehaviorSanitizer
#   make cross-windows  compile the core for 32-bit Windows (MinGW-w64), to keep it portable
#   make fuzz           build the libFuzzer targets (clang 14) and run each for FUZZ_SECONDS
#   make test-vm        tolvane-cli in QEMU guests on Linux's own CD-ROM drivers (IDE, AHCI, virtio-scsi, USB)
#   make bench          benchmarks: the hot pieces, a rip against cd-paranoia, the modelled drive
#   make format         clang-format the sources in place
#   make screenshots    build, then save the controls' gallery and every window as PNG files in $(BUILD)/screenshots

JOBS     ?= $(shell nproc 2>/dev/null || echo 2)
BUILD    ?= build
ASAN     ?= build-sanitize
WINBUILD ?= build-windows
BENCHBUILD ?= build-bench
FUZZBUILD ?= build-fuzz
FUZZ_SECONDS ?= 10
TESTDATA ?= ../shared/testdata
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
CLI      := $(BUILD)/src/tolvane-cli
GUI      := $(BUILD)/src/tolvane

.PHONY: all deps build demo demo-cli check test-vm sanitize cross-windows fuzz bench format screenshots clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# The demo discs sit in two virtual drives (D: the CD, E: the DVD), so every step must succeed.
# With a desktop the main window opens on them; otherwise (a terminal, CI) the CLI shows them.
DEMO_OUT ?= demo-output
demo: build
ifneq ($(DISPLAY)$(WAYLAND_DISPLAY),)
	@echo "== tolvane --demo (Refresh reads the CD in D:; Select Device switches to the DVD in E:)"
	$(GUI) --demo
else
	@$(MAKE) --no-print-directory demo-cli
endif

demo-cli: build
	@echo "== tolvane-cli --demo drives"; $(CLI) --demo drives
	@echo; echo "== tolvane-cli --demo --drive D: info"; $(CLI) --demo --drive D: info
	@echo; echo "== tolvane-cli --demo --drive E: info"; $(CLI) --demo --drive E: info
	@echo; echo "== tolvane-cli --demo rip --out $(DEMO_OUT)"; $(CLI) --demo rip --out $(DEMO_OUT)
	@echo; echo "The demo CD's tracks are in $(abspath $(DEMO_OUT))/"

check: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-vm: build
	@bash scripts/install-deps.sh vm
	bash tests/vm/run.sh --build $(BUILD)

# -O0: the instrumented build compiles two to six times faster than at -O1 and its tests still
# run in seconds. (At -O1 g++ 12 warns falsely about std::regex and std::function internals
# (maybe-uninitialized); the normal build checks that warning in our code.)
sanitize: deps
	cmake -S . -B $(ASAN) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DTOLVANE_SANITIZE=ON \
		-DCMAKE_CXX_FLAGS_DEBUG="-g -O0 -Wno-maybe-uninitialized"
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS)

cross-windows: deps
	cmake -S . -B $(WINBUILD) $(GENERATOR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
		-DTOLVANE_CORE_ONLY=ON -DCMAKE_BUILD_TYPE=Release
	cmake --build $(WINBUILD) -j $(JOBS)

# Seeds are made afresh from the shared test data and the virtual drive's answers; what the
# fuzzers add stays in $(FUZZBUILD)/corpus for the next run.
fuzz: deps
	cmake -S . -B $(FUZZBUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++-14 -DTOLVANE_FUZZ=ON
	cmake --build $(FUZZBUILD) -j $(JOBS) --target tolvane_fuzzers
	$(FUZZBUILD)/fuzz/fuzz_seeds $(TESTDATA) $(FUZZBUILD)/corpus
	bash fuzz/run-fuzzers.sh $(FUZZBUILD) $(FUZZ_SECONDS)

# Release build of its own; the output ends with a PASS/FAIL line per goal. -O2, as make build
# compiles: g++ 12 at -O3 warns falsely (-Wrestrict) in std::string::insert.
bench: deps
	cmake -S . -B $(BENCHBUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
		-DTOLVANE_BENCH=ON -DTOLVANE_TESTS=OFF
	cmake --build $(BENCHBUILD) -j $(JOBS)
	$(BENCHBUILD)/bench/tolvane-bench
	bash bench/rip-vs-peers.sh --build $(BENCHBUILD)
	$(BENCHBUILD)/bench/tolvane-secure-model

# The program prints the path of each picture it writes.
screenshots: build
	$(BUILD)/tools/tolvane-screenshots $(BUILD)/screenshots

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN) $(WINBUILD) $(FUZZBUILD) $(BENCHBUILD)
