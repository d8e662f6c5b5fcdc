# make run   installs what is missing, builds and starts the game
# make test  installs what is missing, builds and runs the tests, also under
#            AddressSanitizer and UndefinedBehaviorSanitizer
# make soak  the same for a million frames of random play, under the sanitizers
# make check every test: make test, the fuzzing, the soak, the browser version
#            and the Debian package (what CI runs)
# make fuzz  fuzzes the readers of bitmaps, the sound and demos, and the game playing demos
# make web   the browser version: a static page in build-web/ (make serve
#            shows it on 127.0.0.1, make test-web plays it in chromium)
# make windows  the Windows version, cross-compiled: the zip and the installer
#            in build-windows/ (make test-windows tests it under Wine)
.PHONY: run test check soak build build-asan deps deps-test clean golden bench install bench-window bench-latency
.PHONY: deb deps-deb test-package screenshot
.PHONY: web serve test-web web-sim deps-web deps-web-test deps-npm
.PHONY: windows test-windows deps-windows deps-windows-test
.PHONY: board board-postgres test-board-kill bench-board

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# CI turns warnings into errors.
WERROR ?= $(if $(CI),ON,OFF)
CMAKE_FLAGS ?=

RUN_PACKAGES := cmake make g++ pkg-config libsdl2-dev libpng-dev zlib1g-dev
# zorva-board, the hall of fame, built with the rest: its HTTP server, its
# databases (SQLite, and PostgreSQL's client library for a hall of several
# processes), its JSON, and OpenSSL (cpp-httplib's, whose SHA-256 it uses).
# Debian 12's libpq-dev is of one architecture at a time (the arm64 build's
# libraries replace it): the machine's own is asked for by name.
NATIVE_ARCH := $(shell dpkg --print-architecture 2>/dev/null || echo amd64)
BOARD_PACKAGES := libcpp-httplib-dev libsqlite3-dev libpq-dev:$(NATIVE_ARCH) nlohmann-json3-dev libssl-dev
RUN_PACKAGES += $(BOARD_PACKAGES)
# The hall's tests on PostgreSQL start a server of their own (initdb, pg_ctl).
TEST_PACKAGES := $(RUN_PACKAGES) libgtest-dev libgmock-dev libbenchmark-dev \
  python3 xvfb xdotool x11-utils openbox desktop-file-utils clang-format postgresql
# The Debian package: its build dependencies, the tools that build and check
# it, and what make test-package runs it with.
DEB_PACKAGES := $(RUN_PACKAGES) debhelper dpkg-dev help2man lintian appstream \
  desktop-file-utils man-db git xvfb xdotool imagemagick
# zorva-board's service is checked with systemd-analyze.
DEB_PACKAGES += systemd

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

deps-deb:
	$(call install_missing,$(DEB_PACKAGES))

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
	ctest --test-dir build --output-on-failure -j $(JOBS) -LE soak
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir build-asan --output-on-failure -j $(JOBS) -LE soak

soak: deps-test
	@$(MAKE) --no-print-directory build-asan CMAKE_FLAGS="$(CMAKE_FLAGS) -DZORVA_TESTS=ON"
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir build-asan --output-on-failure -j $(JOBS) -L soak

# Every test there is, the slow ones too; the fuzzing first, since it is bounded.
check:
	@$(MAKE) --no-print-directory fuzz
	@$(MAKE) --no-print-directory test
	@$(MAKE) --no-print-directory test-board-kill
	@$(MAKE) --no-print-directory test-web
	@$(MAKE) --no-print-directory soak
	@$(MAKE) --no-print-directory test-package
	@$(MAKE) --no-print-directory test-windows
	@$(MAKE) --no-print-directory test-arm64

# Speed measurements (Google Benchmark); see docs/performance.md.
bench: deps-test
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DZORVA_BENCH=ON -DZORVA_TESTS=OFF >/dev/null
	cmake --build build-bench -j $(JOBS) --target zorva_bench
	./build-bench/bench/zorva_bench

# Installs the game: the program and its sound in $(PREFIX)/lib/zorva, the
# launcher $(PREFIX)/bin/zorva, a desktop entry, the icons, the metadata and
# the manual page (DESTDIR works).
PREFIX ?= /usr/local
install: deps
	$(call install_missing,help2man)
	@$(MAKE) --no-print-directory build \
	  CMAKE_FLAGS="$(CMAKE_FLAGS) -DZORVA_TESTS=OFF -DZORVA_MANUAL=ON -DCMAKE_INSTALL_PREFIX=$(PREFIX)"
	cmake --install build --prefix "$(PREFIX)"

# The Debian package, built by dpkg-buildpackage from a copy of the files git
# knows (committed or new, not ignored), so nothing of a local build gets in:
# build-deb/zorva_VERSION_ARCH.deb.
deb: deps-deb
	$(call debian_package,build-deb,)

# debian_package FOLDER,OPTIONS: dpkg-buildpackage OPTIONS over a copy in FOLDER.
define debian_package
	rm -rf $(1) && mkdir -p $(1)/zorva
	git ls-files -z --cached --others --exclude-standard > $(1)/files
	tar --null -T $(1)/files -cf $(1)/source.tar && tar -xf $(1)/source.tar -C $(1)/zorva
	rm $(1)/files $(1)/source.tar
	cd $(1)/zorva && dpkg-buildpackage -b -us -uc -j$(JOBS) $(2)
	@ls -l $(1)/*.deb
endef

# Builds the package and checks it as a player gets it: lintian, the desktop
# entry and metadata validators, the files and versions unpacked, then (as
# root) installed, started in a virtual display and removed without a trace.
test-package: deb
	tests/package/package_test.sh build-deb \
	  $$(sed -n 's/^project(zorva VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

# The software centre's screenshot, packaging/screenshot.png: the last picture
# zorva-sim writes for packaging/screenshot.script, doubled with sharp pixels.
screenshot: deps-test build
	$(call install_missing,imagemagick)
	cmake --build build --target screenshot

# The real window under Xvfb: passes per second and CPU use of the title
# screen, a paced and an unpaced game, and how long the paced frames last; see
# docs/performance.md.
bench-window: deps-test
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DZORVA_TESTS=OFF >/dev/null
	cmake --build build-bench -j $(JOBS) --target zorva
	python3 bench/window_bench.py build-bench/zorva

# The real window's input latency under Xvfb: from a key pressed through the X
# server to the first picture that shows the ship moved, paced and unpaced.
bench-latency: deps-test
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DZORVA_TESTS=OFF >/dev/null
	cmake --build build-bench -j $(JOBS) --target zorva
	python3 bench/latency_bench.py build-bench/zorva

clean:
	rm -rf build build-asan build-bench build-deb build-fuzz build-wasm build-web build-node build-webtest build-windows build-arm64 build-deb-arm64
	rm -rf build-board

# The browser version, compiled by Debian's Emscripten, whose own scripts
# need Debian's Node.js modules: the page in build-web/, ready for any static
# web host as it is.
WEB_PACKAGES := emscripten python3
EMSCRIPTEN_ENV := NODE_PATH=/usr/share/nodejs
PORT ?= 8000

deps-web:
	$(call install_missing,$(WEB_PACKAGES))

web: deps-web
	$(EMSCRIPTEN_ENV) emcmake cmake -S . -B build-wasm -DCMAKE_BUILD_TYPE=Release -DZORVA_WERROR=$(WERROR) \
	  -DZORVA_PAGE_DIR=$(CURDIR)/build-web >/dev/null
	$(EMSCRIPTEN_ENV) cmake --build build-wasm -j $(JOBS)
	@tools/page-size build-web

serve: web
	@echo "ZORVA is at http://127.0.0.1:$(PORT)/ (Ctrl+C stops the server)"
	python3 -m http.server $(PORT) --bind 127.0.0.1 --directory build-web

# zorva-sim for Node.js, for the golden replays in WebAssembly.
web-sim: deps-web
	$(EMSCRIPTEN_ENV) emcmake cmake -S . -B build-node -DCMAKE_BUILD_TYPE=Release -DZORVA_WERROR=$(WERROR) \
	  -DZORVA_NODE=ON >/dev/null
	$(EMSCRIPTEN_ENV) cmake --build build-node -j $(JOBS)

# The page in Debian's chromium, driven by puppeteer-core (pinned in
# tests/web/package-lock.json; npm comes with Node.js, or else from Debian):
# every tests/web/*.test.js, each test on a page of its own, the page's demos
# checked by the native zorva-sim. The screenshots
# they take are left in build-wasm/ (docs/ has those of a phone).
deps-web-test: deps-web
	$(call install_missing,chromium)
	@command -v npm >/dev/null || $(MAKE) --no-print-directory deps-npm

deps-npm:
	$(call install_missing,npm)

build-webtest/node_modules/.package-lock.json: tests/web/package.json tests/web/package-lock.json
	mkdir -p build-webtest && cp $^ build-webtest/
	cd build-webtest && npm ci --ignore-scripts --no-audit --no-fund

test-web: deps-web-test deps web web-sim build build-webtest/node_modules/.package-lock.json
	ZORVA_PAGE=$(CURDIR)/build-web ZORVA_NODE_SIM=$(CURDIR)/build-node/zorva-sim.js ZORVA_SIM=$(CURDIR)/build/zorva-sim \
	  ZORVA_BOARD=$(CURDIR)/build/zorva-board \
	  ZORVA_SHOT=$(CURDIR)/build-wasm/page-test.png NODE_PATH=$(CURDIR)/build-webtest/node_modules \
	  node --test tests/web/*.test.js

# Records the golden replays again from their scripts (after an intended change).
golden: build
	cmake --build build --target golden

# Fuzzing with libFuzzer: the readers of files from outside, the bitmap reader,
# the sound effect loader, the demo reader and the demo played back by the game, each for FUZZ_SECONDS on a copy of its seed corpus
# (tests/fuzz/corpus/<target>), so the committed corpus does not grow. A crash
# leaves its input as build-fuzz/<target>-crash-*.
.PHONY: fuzz deps-fuzz
FUZZ_SECONDS ?= 60
FUZZ_PACKAGES := clang libclang-rt-14-dev $(RUN_PACKAGES)

deps-fuzz:
	$(call install_missing,$(FUZZ_PACKAGES))

fuzz: deps-fuzz
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVA_FUZZ=ON -DZORVA_TESTS=OFF \
	  -DZORVA_FUZZ_SECONDS=$(FUZZ_SECONDS) -DZORVA_WERROR=$(WERROR) $(CMAKE_FLAGS) >/dev/null
	cmake --build build-fuzz -j $(JOBS) --target zorva_fuzzers
	ctest --test-dir build-fuzz --output-on-failure -L fuzz

# The Windows version, cross-compiled by Debian's mingw-w64 and statically
# linked: build-windows/ gets zorva-VERSION-windows-x64.zip and the NSIS
# installer zorva-VERSION-setup.exe (and zorva-sim.exe).
WINDOWS_PACKAGES := cmake make g++-mingw-w64-x86-64-posix libz-mingw-w64-dev nsis python3
# The tests run under Wine (one prefix per run) in Xvfb, beside the Linux zorva-sim,
# and unpack the zip with Info-ZIP's unzip and libarchive's bsdtar as well.
WINDOWS_TEST_PACKAGES := $(TEST_PACKAGES) $(WINDOWS_PACKAGES) googletest wine wine64 unzip libarchive-tools
WINDOWS_TESTS ?= OFF

deps-windows:
	$(call install_missing,$(WINDOWS_PACKAGES))

deps-windows-test:
	$(call install_missing,$(WINDOWS_TEST_PACKAGES))

windows: deps-windows
	cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
	  -DZORVA_WERROR=$(WERROR) -DZORVA_TESTS=$(WINDOWS_TESTS) >/dev/null
	cmake --build build-windows -j $(JOBS)
	@ls -l build-windows/*.zip build-windows/*-setup.exe

test-windows: deps-windows-test
	@$(MAKE) --no-print-directory windows WINDOWS_TESTS=ON
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVA_WERROR=$(WERROR) $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j $(JOBS) --target zorva-sim
	python3 tests/windows/windows_test.py --windows build-windows --sim build/zorva-sim \
	  --version $$(sed -n 's/^project(zorva VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

# 64-bit ARM (a Raspberry Pi, an ARM laptop or handheld), cross-built on x86-64
# with Debian's cross toolchain and the arm64 libraries of its multiarch
# archive, and run under qemu-user. make deb-arm64 writes
# build-deb-arm64/zorva_VERSION_arm64.deb; make test-arm64 builds the suite for
# arm64 (a release build, no sanitizers) and runs it under the emulator,
# against the x86-64 programs of build/ and the amd64 package of build-deb/
# (made first when missing).
.PHONY: deb-arm64 test-arm64 build-arm64 deps-arm64
ARM64_TOOLS := $(DEB_PACKAGES) crossbuild-essential-arm64 qemu-user
# libpq-dev:arm64 takes the place of the machine's own libpq-dev (make deps,
# make test and make deb put that back).
ARM64_LIBRARIES := libc6-dev:arm64 pkg-config:arm64 libsdl2-dev:arm64 libpng-dev:arm64 zlib1g-dev:arm64 \
  libgtest-dev:arm64 libcpp-httplib-dev:arm64 libsqlite3-dev:arm64 libssl-dev:arm64 libpq-dev:arm64

deps-arm64:
	$(call install_missing,$(ARM64_TOOLS))
	@dpkg --print-foreign-architectures | grep -qx arm64 || { \
	  if [ "$$(id -u)" -eq 0 ]; then SUDO=; else SUDO=sudo; fi; echo "adding the architecture arm64"; \
	  $$SUDO dpkg --add-architecture arm64; }
	$(call install_missing,$(ARM64_LIBRARIES))

# The package runs no tests while it is built (nocheck): test-arm64 does.
ARM64_DEB_OPTIONS := -aarm64 -Pcross,nocheck
deb-arm64: export DEB_BUILD_OPTIONS := nocheck
deb-arm64: export CC := aarch64-linux-gnu-gcc
deb-arm64: export CXX := aarch64-linux-gnu-g++
deb-arm64: deps-arm64
	$(call debian_package,build-deb-arm64,$(ARM64_DEB_OPTIONS))

build-arm64: deps-arm64
	cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DCMAKE_BUILD_TYPE=Release \
	  -DZORVA_WERROR=$(WERROR) >/dev/null
	cmake --build build-arm64 -j $(JOBS) --target zorva_tests

test-arm64: deps-test deb-arm64 build-arm64
	@ls build-deb/zorva_*_$$(dpkg --print-architecture).deb >/dev/null 2>&1 || $(MAKE) --no-print-directory deb
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVA_WERROR=$(WERROR) $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j $(JOBS) --target zorva-sim
	PYTHONDONTWRITEBYTECODE=1 PYTHONUNBUFFERED=1 tools/test-arm64 --arm64 build-arm64 --sim build/zorva-sim \
	  --deb build-deb-arm64 --native-deb build-deb

# The hall of fame: zorva-board on 127.0.0.1:$(BOARD_PORT) with its database in
# build-board/ and the page of make web beside it under /play/, so that the
# hall's Watch links play there (Ctrl+C stops it).
BOARD_PORT ?= 8080
board: deps web
	@$(MAKE) --no-print-directory build CMAKE_FLAGS="$(CMAKE_FLAGS) -DZORVA_TESTS=OFF"
	mkdir -p build-board
	./build/zorva-board --listen 127.0.0.1:$(BOARD_PORT) --database build-board/board.db --page build-web

# The hall on several processes: a throw-away PostgreSQL server in a
# temporary folder (initdb and pg_ctl as an unprivileged user, on a Unix
# socket in that folder, no port) and two zorva-board processes sharing it, on
# 127.0.0.1:$(BOARD_PORT) and the port after, with the page of make web
# (Ctrl+C stops them all and removes the folder).
board-postgres: deps web
	$(call install_missing,postgresql)
	@$(MAKE) --no-print-directory build CMAKE_FLAGS="$(CMAKE_FLAGS) -DZORVA_TESTS=OFF"
	tools/scratch-postgres hall ./build/zorva-board build-web $(BOARD_PORT)

# The board killed with SIGKILL at random moments during 1,000 uploads from
# several clients, started again each time: every acknowledged entry must be
# there, and no entry in part (make test runs the same with 100 uploads).
test-board-kill: deps-test
	@$(MAKE) --no-print-directory build CMAKE_FLAGS="$(CMAKE_FLAGS) -DZORVA_TESTS=ON"
	ZORVA_KILL_UPLOADS=1000 ctest --test-dir build --output-on-failure -R BoardKill

# The hall's speed (see docs/performance.md): its pages and /api/scores under
# wrk with 50 connections on loopback, the server on one core and a table of
# 100,000 entries, and uploads verified against zorva-sim --verify's own rate;
# then one, two and four boards on one throw-away PostgreSQL server: uploads
# verified a second, and the pages under wrk.
bench-board: deps-test
	$(call install_missing,wrk)
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DZORVA_TESTS=OFF >/dev/null
	cmake --build build-bench -j $(JOBS) --target zorva-board zorva-sim
	python3 bench/board_bench.py build-bench
	python3 bench/board_postgres_bench.py build-bench
