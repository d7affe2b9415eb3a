# The project's commands. CMake does the building; this file only names the jobs.
#   make demo           install what is missing, build, run tolvane-cli on the demo discs
#   make check          install what is missing, build, run every test
#   make sanitize       the tests under AddressSanitizer and UndefinedBehaviorSanitizer
#   make cross-windows  compile the core for 32-bit Windows (MinGW-w64), to keep it portable
#   make format         clang-format the sources in place

JOBS     ?= $(shell nproc 2>/dev/null || echo 2)
BUILD    ?= build
ASAN     ?= build-sanitize
WINBUILD ?= build-windows
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
CLI      := $(BUILD)/src/tolvane-cli

.PHONY: all deps build demo check sanitize cross-windows format clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# The demo discs sit in two virtual drives, so the list is never empty and a failure is a real one.
demo: build
	@$(CLI) --demo drives

check: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

sanitize: deps
	cmake -S . -B $(ASAN) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DTOLVANE_SANITIZE=ON
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS)

cross-windows: deps
	cmake -S . -B $(WINBUILD) $(GENERATOR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
		-DTOLVANE_CORE_ONLY=ON -DCMAKE_BUILD_TYPE=Release
	cmake --build $(WINBUILD) -j $(JOBS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN) $(WINBUILD)
