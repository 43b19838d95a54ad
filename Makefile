# Kavelo: `make run` installs what is missing, builds and plays the sample disc;
# `make test` installs what is missing, builds and runs the whole suite headless.
BUILD ?= build
JOBS ?= $(shell nproc)
SAMPLE := $(BUILD)/sample-disc

.PHONY: all deps configure build run test fuzz sample-disc format clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@if [ ! -f $(BUILD)/CMakeCache.txt ]; then cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo; fi

build: configure
	cmake --build $(BUILD) -j$(JOBS)

sample-disc: build
	@bash scripts/make-sample-disc.sh $(SAMPLE)

run: sample-disc
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

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)
