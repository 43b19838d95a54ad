# Kavelo: `make run` installs what is missing, builds and plays the sample disc;
# `make test` installs what is missing, builds and runs the whole suite headless.
BUILD ?= build
JOBS ?= $(shell nproc)
SAMPLE := $(BUILD)/sample-disc

.PHONY: all deps configure build run test sample-disc format clean

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

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)
