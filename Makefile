# Kavelo: `make run` installs what is missing, builds the program and its skin, authors the
# sample disc and starts Kavelo in it; `make test` builds everything and runs the whole suite
# headless; `make install` installs into PREFIX (default /usr/local).
BUILD ?= build
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local
SAMPLE := $(BUILD)/sample-disc

.PHONY: all deps configure build program run test install fuzz check-sanitized sample-disc format clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@if [ ! -f $(BUILD)/CMakeCache.txt ]; then cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo; fi

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# The program, its skin and its helper programs; not the tests.
program: configure
	cmake --build $(BUILD) -j$(JOBS) --target kavelo_program

sample-disc: deps
	@bash scripts/make-sample-disc.sh $(SAMPLE)

# Started in the sample disc's folder, Kavelo's Play plays it.
run: program sample-disc
	cd $(SAMPLE) && exec ../kavelo

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# Each fuzz target for FUZZ_SECONDS over its seeds and what earlier runs found (needs clang).
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := ColourFile TimeText UserNumber Mci Profile MidiFile
fuzz: build
	@test -d $(BUILD)/fuzz || { echo "fuzz: clang++ is missing, no fuzz targets were built"; exit 1; }
	@for t in $(FUZZ_TARGETS); do \
	  echo "== $$t ($(FUZZ_SECONDS) s)"; \
	  scripts/run-fuzz.sh $(BUILD)/fuzz $$t $(FUZZ_SECONDS) > $(BUILD)/fuzz/$$t.log 2>&1; rc=$$?; \
	  grep -E '^stat::number_of_executed_units' $(BUILD)/fuzz/$$t.log; \
	  test $$rc -eq 0 || { tail -40 $(BUILD)/fuzz/$$t.log; exit 1; }; \
	done

install: configure
	cmake --build $(BUILD) -j$(JOBS) --target kavelo_program kavelo_icons
	cmake --install $(BUILD) --prefix $(PREFIX)

# The whole suite built with AddressSanitizer and UBSan in its own folder, and run. Leaks that
# system libraries keep for the life of the process are suppressed by scripts/lsan.supp; the
# libraries stay loaded to the end (scripts/lsan-keep-loaded.c) so that reports can name them.
ASAN_BUILD ?= build-asan
SANITIZE := -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer
check-sanitized: deps
	@if [ ! -f $(ASAN_BUILD)/CMakeCache.txt ]; then cmake -S . -B $(ASAN_BUILD) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVELO_FUZZ=OFF \
	  -DCMAKE_CXX_FLAGS="$(SANITIZE)" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"; fi
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cc -shared -fPIC -O2 -o $(ASAN_BUILD)/lsan-keep-loaded.so scripts/lsan-keep-loaded.c
	cd $(ASAN_BUILD) && LD_PRELOAD=$(abspath $(ASAN_BUILD))/lsan-keep-loaded.so \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=0:verify_asan_link_order=0 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j$(JOBS)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)
