# make run: build and run the unit headless; make test: every test, normal and sanitized.
JOBS  ?= $(shell nproc)
BUILD ?= build
ASAN  ?= build-asan
REL   ?= build-release
RUN_FLASH ?= $(BUILD)/run.flash
RUN_ARGS ?= --flash $(RUN_FLASH) --demo --run-for 30 --print-syslog

.PHONY: deps build run test test-normal test-asan build-release bench clean

deps:
	@./tools/install-deps.sh

$(BUILD)/Makefile: CMakeLists.txt
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: deps $(BUILD)/Makefile
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	rm -f $(RUN_FLASH)
	./$(BUILD)/sim/kv5100 $(RUN_ARGS)

test-normal: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	@cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ctest --output-on-failure -j $(JOBS)

# Release is only built: every build type must compile with warnings fatal.
build-release: deps
	@cmake -S . -B $(REL) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(REL) -j $(JOBS)

test: test-normal build-release test-asan

bench: build
	./$(BUILD)/bench/bench_board

clean:
	rm -rf $(BUILD) $(ASAN) $(REL)
