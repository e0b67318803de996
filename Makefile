# The two commands of the README:
#   make run   builds and runs the demo (on a virtual display when there is none)
#   make test  builds everything and runs every test
# Both install missing Debian packages first.

.PHONY: run test deps build bench format clean

deps:
	@sh scripts/deps.sh

build: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release --target vexa vexa-snapshot

run: build
	@sh scripts/run-demo.sh build/release/vexa

test: deps
	@cmake --preset ci >/dev/null
	@cmake --build --preset ci
	@sh scripts/with-display.sh ctest --test-dir build/ci --output-on-failure
	@sh scripts/test-sanitizers.sh
	@sh scripts/fuzz.sh 20

bench: build
	@cmake --build --preset release --target vexa_bench
	@build/release/bench/vexa_bench

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build
