# make run   installs what is missing, builds and starts the game
# make test  installs what is missing, builds and runs every test, also under
#            AddressSanitizer and UndefinedBehaviorSanitizer
.PHONY: run test build build-asan deps deps-test clean golden bench

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# CI turns warnings into errors.
WERROR ?= $(if $(CI),ON,OFF)
CMAKE_FLAGS ?=

RUN_PACKAGES := cmake make g++ pkg-config libsdl2-dev libpng-dev
TEST_PACKAGES := $(RUN_PACKAGES) libgtest-dev libgmock-dev libbenchmark-dev

define install_missing
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  if [ "$$(id -u)" -eq 0 ]; then SUDO=; else SUDO=sudo; fi; \
	  $$SUDO apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call install_missing,$(RUN_PACKAGES))

deps-test:
	$(call install_missing,$(TEST_PACKAGES))

build:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVA_WERROR=$(WERROR) $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j $(JOBS)

build-asan:
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVA_SANITIZE=ON -DZORVA_WERROR=$(WERROR) $(CMAKE_FLAGS) >/dev/null
	cmake --build build-asan -j $(JOBS)

run: deps
	@$(MAKE) --no-print-directory build ZORVA_TESTS=OFF CMAKE_FLAGS="$(CMAKE_FLAGS) -DZORVA_TESTS=OFF"
	./build/zorva

test: deps-test
	@$(MAKE) --no-print-directory build CMAKE_FLAGS="$(CMAKE_FLAGS) -DZORVA_TESTS=ON"
	@$(MAKE) --no-print-directory build-asan CMAKE_FLAGS="$(CMAKE_FLAGS) -DZORVA_TESTS=ON"
	ctest --test-dir build --output-on-failure -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir build-asan --output-on-failure -j $(JOBS)

# Speed measurements (Google Benchmark); see the README's performance section.
bench: deps-test
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DZORVA_BENCH=ON -DZORVA_TESTS=OFF >/dev/null
	cmake --build build-bench -j $(JOBS) --target zorva_bench
	./build-bench/bench/zorva_bench

clean:
	rm -rf build build-asan build-bench

# Records the golden replays again from their scripts (after an intended change).
golden: build
	@for s in tests/golden/*.script; do \
	  opts=$$(head -n 1 "$$s" | sed -n 's/^# zorva-sim//p'); \
	  ./build/zorva-sim $$opts --dump "$${s%.script}.jsonl" "$$s" || exit 1; \
	done
