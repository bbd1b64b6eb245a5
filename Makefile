# SPDX-License-Identifier: GPL-3.0-or-later
# Quick start: `make run` or `make test` on a fresh Debian machine.
BUILD_DIR  ?= build
JOBS       ?= $(shell nproc)

# Building and running the two programs. The platform plugins, the SQLite driver, the Tahoma clone and Qt's
# Hungarian texts are loaded at run time; rsvg-convert renders the icon's PNG sizes.
RUN_PACKAGES     := cmake make g++ pkg-config qt6-base-dev qt6-qpa-plugins libqt6sql6-sqlite libsqlite3-dev \
                    mdbtools-dev libpq-dev fonts-wine qt6-translations-l10n librsvg2-bin \
                    libtag1-dev libmediainfo-dev
# The test suite adds GoogleTest, clang with its fuzzer runtime, the command-line tools the tests compare with,
# the validators of the desktop files, a headless X server for starting the installed program, and python3, which
# makes the damaged legacy fixtures; the tests of catalogues on a server start a PostgreSQL server of their own.
# The benchmarks are built with the tests, so that a change that breaks them is caught, but not run.
TEST_PACKAGES    := libgtest-dev libbenchmark-dev googletest clang libclang-rt-dev sqlite3 mdbtools poppler-utils python3 \
                    desktop-file-utils appstream shared-mime-info xvfb xdotool postgresql-15
# The benchmarks add Google Benchmark, the stock tools the import is measured against, and the PostgreSQL server
# that the server benchmark starts for itself.
BENCH_PACKAGES   := libbenchmark-dev mdbtools sqlite3 postgresql-15
# The Debian package: dpkg-shlibdeps and file for its dependencies, lintian to check it.
PACKAGE_PACKAGES := dpkg-dev file lintian

SUDO       := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
APP_DIR     = $(BUILD_DIR)/src
# `make run` starts a copy of the program from a folder of its own that `make clean` leaves alone: the demo
# catalogue, its list.ini and the user's edits to them survive a clean build.
DEMO_DIR   ?= demo
PACKAGE_DIR = $(BUILD_DIR)-package

.PHONY: deps-run deps-test deps-bench deps-package programs run test bench package format clean

# Installs those of the named packages that are missing.
define install_missing
	@missing=$$(for p in $(1); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
		echo "Installing:" $$missing; \
		$(SUDO) apt-get update -qq && \
		DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi
endef

deps-run:
	$(call install_missing,$(RUN_PACKAGES))

deps-test: deps-run
	$(call install_missing,$(TEST_PACKAGES))

deps-bench: deps-run
	$(call install_missing,$(BENCH_PACKAGES))

deps-package: deps-run
	$(call install_missing,$(PACKAGE_PACKAGES))

# Only the program and the catalogue tool: no tests, no fuzzer, no benchmarks.
programs: deps-run
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMEDIATAR_TESTS=OFF -DMEDIATAR_BENCH=OFF
	cmake --build $(BUILD_DIR) -j $(JOBS) --target mediatar mediatar-catalogue

# The first run makes the demo catalogue and a list.ini that points at it (a demo left in the build folder by an
# older `make run` is moved over); later runs keep the user's settings and edits.
run: programs
	@mkdir -p $(DEMO_DIR)
	@install -m 755 $(APP_DIR)/mediatar $(DEMO_DIR)/mediatar
	@install -m 644 data/HU_magyar.lng $(DEMO_DIR)/HU_magyar.lng
	@if [ ! -f $(DEMO_DIR)/demo.tnx ] && [ -f $(APP_DIR)/demo.tnx ]; then mv $(APP_DIR)/demo.tnx $(DEMO_DIR)/; fi
	@[ -f $(DEMO_DIR)/demo.tnx ] || $(APP_DIR)/mediatar-catalogue create $(DEMO_DIR)/demo.tnx --seed data/demo_catalogue.sql
	@[ -f $(DEMO_DIR)/list.ini ] || printf '%s\r\nHU_magyar.lng\r\n' "$$(realpath $(DEMO_DIR)/demo.tnx)" > $(DEMO_DIR)/list.ini
	$(DEMO_DIR)/mediatar

test: deps-test
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMEDIATAR_TESTS=ON -DMEDIATAR_BENCH=ON
	cmake --build $(BUILD_DIR) -j $(JOBS)
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 300

bench: deps-bench
	cmake -S . -B $(BUILD_DIR)-bench -DCMAKE_BUILD_TYPE=Release -DMEDIATAR_TESTS=OFF -DMEDIATAR_BENCH=ON
	cmake --build $(BUILD_DIR)-bench -j $(JOBS)
	cd $(BUILD_DIR)-bench/bench && for b in ./bench_*; do if [ -f $$b ] && [ -x $$b ]; then $$b || exit 1; fi; done

# mediatar_<version>_amd64.deb in this folder, checked by lintian. Built with Debian's hardening flags, and with
# the symbols bound at start (the programs' and the music module's) so that the relocation table can be read-only.
package: deps-package
	cmake -S . -B $(PACKAGE_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
		-DMEDIATAR_TESTS=OFF -DMEDIATAR_BENCH=OFF \
		-DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS) -Wl,-z,now" \
		-DCMAKE_MODULE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS) -Wl,-z,now"
	cmake --build $(PACKAGE_DIR) -j $(JOBS)
	rm -f $(PACKAGE_DIR)/mediatar_*.deb
	cd $(PACKAGE_DIR) && cpack -G DEB
	@for deb in $(PACKAGE_DIR)/mediatar_*.deb; do \
		cp $$deb . && echo "lintian $$(basename $$deb)" && lintian --fail-on error $$(basename $$deb) || exit 1; \
	done

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD_DIR) $(BUILD_DIR)-bench $(PACKAGE_DIR)
