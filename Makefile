# Kavelo: `make run` installs what is missing, builds the program and its skin, authors the
# sample disc and starts Kavelo in it; `make test` builds everything and runs the whole suite
# headless; `make install` installs into PREFIX (default /usr/local).
BUILD ?= build
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local
SAMPLE := $(BUILD)/sample-disc

.PHONY: all deps configure build program run test install fuzz sample-disc format clean

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

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)
