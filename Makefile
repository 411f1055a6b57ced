# make run: the program on a simulated demo box. make test: install what is missing, build,
# run every test.
.PHONY: run test build deps asan tsan fuzz bench clean

run: deps
	cmake --preset default
	cmake --build --preset default --target tivolo
	scripts/run-demo.sh $(ARGS)

deps:
	scripts/install-deps.sh

build: deps
	cmake --preset default
	cmake --build --preset default

test: build
	ctest --preset default

asan: deps
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

tsan: deps
	cmake --preset tsan
	cmake --build --preset tsan
	ctest --preset tsan

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz
	scripts/run-fuzzers.sh build-fuzz/bin $${FUZZ_SECONDS:-60}

bench: build
	for b in build/bin/bench_*; do $$b; done

clean:
	rm -rf build build-asan build-tsan build-fuzz
