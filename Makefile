# Shortcuts for the README's two commands (scripts/run.sh, scripts/test.sh):
#   make run   builds and runs the demo (on a virtual display when there is none)
#   make test  builds everything and runs every test
# Both install missing Debian packages first.

.PHONY: run test deps build bench format clean

deps:
	@sh scripts/deps.sh

build: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release --target vexa vexa-snapshot

run:
	@sh scripts/run.sh

test:
	@sh scripts/test.sh

bench: build
	@cmake --build --preset release --target vexa_bench
	@build/release/bench/vexa_bench

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build
