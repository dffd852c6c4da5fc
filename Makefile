# The README's commands. `make test` is what CI runs on a clean clone.
TEST_DIR    := build/test
RELEASE_DIR := build/release
RELTEST_DIR := build/reltest
CTEST_JOBS  ?= 2

.PHONY: all test demo deps build-test build-release build-release-tests bench install package package-check clean

all: build-release

deps:
	@scripts/install-deps.sh

build-test: deps
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLQCL_SANITIZE=ON
	cmake --build $(TEST_DIR)

test: build-test
	cd $(TEST_DIR) && ctest --output-on-failure -j $(CTEST_JOBS)

build-release: deps
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DLQCL_TESTS=OFF
	cmake --build $(RELEASE_DIR)

# The tests in the release configuration (GCC -O3 warnings are errors there
# too): built, not run; `make test` runs them.
build-release-tests: deps
	cmake -S . -B $(RELTEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DLQCL_TESTS=ON
	cmake --build $(RELTEST_DIR)

demo: build-release
	scripts/demo.sh $(RELEASE_DIR)

bench: build-release
	scripts/bench.sh $(RELEASE_DIR)

install: build-release
	cmake --install $(RELEASE_DIR) $(if $(PREFIX),--prefix $(PREFIX))

package: build-release
	cd $(RELEASE_DIR) && cpack -G DEB

package-check: package
	scripts/package-check.sh $(RELEASE_DIR)

clean:
	rm -rf build
