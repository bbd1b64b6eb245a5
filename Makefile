# Quick start: `make run` or `make test` on a fresh Debian machine.
BUILD_DIR  ?= build
JOBS       ?= $(shell nproc)
PACKAGES   := cmake make g++ pkg-config qt6-base-dev libqt6sql6-sqlite libsqlite3-dev libgtest-dev googletest \
              libbenchmark-dev clang libclang-rt-dev mdbtools mdbtools-dev sqlite3
SUDO       := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
APP_DIR     = $(BUILD_DIR)/src
DEMO        = $(APP_DIR)/demo.tnx

.PHONY: deps build run test bench format clean

deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
		echo "Installing:" $$missing; \
		$(SUDO) apt-get update -qq && \
		DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The first run gets the demo catalogue and a list.ini that points at it; later runs keep the user's settings.
run: build
	@[ -f $(DEMO) ] || $(APP_DIR)/mediatar-catalogue create $(DEMO) --seed data/demo_catalogue.sql
	@[ -f $(APP_DIR)/list.ini ] || printf '%s\r\nHU_magyar.lng\r\n' "$$(realpath $(DEMO))" > $(APP_DIR)/list.ini
	$(APP_DIR)/mediatar

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 300

bench: deps
	cmake -S . -B $(BUILD_DIR)-bench -DCMAKE_BUILD_TYPE=Release -DMEDIATAR_TESTS=OFF -DMEDIATAR_BENCH=ON
	cmake --build $(BUILD_DIR)-bench -j $(JOBS)
	cd $(BUILD_DIR)-bench/bench && for b in ./bench_*; do if [ -f $$b ] && [ -x $$b ]; then $$b || exit 1; fi; done

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD_DIR) $(BUILD_DIR)-bench
