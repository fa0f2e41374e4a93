# ORVA's commands. `make run` and `make test` are all a newcomer needs: each
# installs what is missing, builds and goes on. The package lists are in
# deps/: what building and running need (debian-packages-run.txt, all that
# `make run` installs), what the tests add (-test) and what development adds
# (-develop: lint and bench). Each tree is configured once from its preset in
# CMakePresets.json; `make build` only builds, leaving the lists alone.

BUILD_DIR    ?= build
SANITIZE_DIR ?= build-sanitize
FUZZ_DIR     ?= build-fuzz
WINDOWS_DIR  ?= build-windows
FUZZ_SECONDS ?= 300
CMAKE_FLAGS  ?=
JOBS         ?= $(shell nproc)
# ON makes every compiler warning fail the build (CI builds so), OFF lets
# warnings pass again; the value is written into each tree as it is
# configured and built, so that `make run` and `make test` compile the same
# objects with the same flags. Unset, a tree keeps what it has: OFF when new.
WARNINGS_AS_ERRORS ?=
werror = $(if $(WARNINGS_AS_ERRORS),-DCMAKE_COMPILE_WARNING_AS_ERROR=$(WARNINGS_AS_ERRORS))

# What is kept between runs, in ORVA_CACHE_DIR: compiler outputs (ccache, in
# ccache/) and clang-tidy's clean files (clang-tidy/, tools/tidy-cached), each
# keyed on what its tool reads. `make test-fresh` lends the ccache folder to
# the fresh root. ORVA_CACHE=off uses neither: everything is compiled and
# analysed anew; for a cold run with empty caches, give ORVA_CACHE_DIR an
# empty folder.
ORVA_CACHE_DIR ?= $(or $(XDG_CACHE_HOME),$(HOME)/.cache)/orva
ORVA_CACHE     ?= on
export ORVA_CACHE_DIR ORVA_CACHE
export CCACHE_DIR = $(ORVA_CACHE_DIR)/ccache
ifeq ($(ORVA_CACHE),off)
export CCACHE_DISABLE = 1
endif

# $(call switch_on,TREE,OPTION): turns a CMake option of a configured tree on,
# reconfiguring only when it is off, and applies WARNINGS_AS_ERRORS.
switch_on = grep -qx '$(2):BOOL=ON' $(1)/CMakeCache.txt || cmake -S . -B $(1) -D$(2)=ON; \
	$(if $(werror),cmake -S . -B $(1) $(werror))

lists = deps/debian-packages-run.txt
test_lists = $(lists) deps/debian-packages-test.txt
develop_lists = $(test_lists) deps/debian-packages-develop.txt

.PHONY: all deps deps-test deps-develop build build-tests build-sanitize build-fuzz run test test-normal \
	test-sanitize test-fuzz deps-fresh test-fresh fuzz bench bench-session bench-editor bench-pattern \
	bench-review bench-spelling \
	example lint clean

all: build

deps:
	@bash deps/install $(lists)
deps-test:
	@bash deps/install $(test_lists)
deps-develop:
	@bash deps/install $(develop_lists)

# The programs alone until `make test` (or the preset itself, in an IDE)
# turns the tests on.
$(BUILD_DIR)/build.ninja:
	cmake --preset default -B $(BUILD_DIR) -DORVA_BUILD_TESTS=OFF $(werror) $(CMAKE_FLAGS)

$(SANITIZE_DIR)/build.ninja:
	cmake --preset sanitize -B $(SANITIZE_DIR) $(werror) $(CMAKE_FLAGS)

$(FUZZ_DIR)/build.ninja:
	cmake --preset fuzz -B $(FUZZ_DIR) $(werror) $(CMAKE_FLAGS)

build: $(BUILD_DIR)/build.ninja
	$(if $(werror),cmake -S . -B $(BUILD_DIR) $(werror))
	cmake --build $(BUILD_DIR) -j $(JOBS)

build-tests: $(BUILD_DIR)/build.ninja
	$(call switch_on,$(BUILD_DIR),ORVA_BUILD_TESTS)
	cmake --build $(BUILD_DIR) -j $(JOBS)

build-sanitize: $(SANITIZE_DIR)/build.ninja
	$(if $(werror),cmake -S . -B $(SANITIZE_DIR) $(werror))
	cmake --build $(SANITIZE_DIR) -j $(JOBS)

# The libFuzzer targets need clang; the whole tree is instrumented.
build-fuzz: $(FUZZ_DIR)/build.ninja
	$(if $(werror),cmake -S . -B $(FUZZ_DIR) $(werror))
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target make-starting-corpus reader_fuzzer \
	  po_reader_fuzzer csv_reader_fuzzer import_fuzzer \
	  insertion_fuzzer code_page_fuzzer patch_fuzzer pattern_fuzzer

# Builds the two programs and starts the window. Without a display it says so
# in one line and shows orva-cli listing the sample database instead.
run: deps $(BUILD_DIR)/build.ninja
	$(if $(werror),cmake -S . -B $(BUILD_DIR) $(werror))
	cmake --build $(BUILD_DIR) -j $(JOBS) --target orva orva-cli
	@if [ -x $(BUILD_DIR)/bin/orva ] && [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  exec $(BUILD_DIR)/bin/orva; \
	elif [ -x $(BUILD_DIR)/bin/orva ]; then \
	  echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): the window, $(BUILD_DIR)/bin/orva, is not started; orva-cli lists the sample database instead:"; \
	fi; \
	$(BUILD_DIR)/bin/orva-cli list examples/textdb_00.def

# Draws docs/window.png without a display: the window after opening the
# sample database, a mission selected; docs/help.png, its help panel; and
# docs/editor.png, the editor on the same database; docs/editor-reference.png,
# the editor beside an English reference of it.
.PHONY: screenshot
screenshot: $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS) --target orva-screenshot
	$(BUILD_DIR)/bin/orva-screenshot examples/textdb_00.def docs/window.png docs/help.png \
	  docs/editor.png docs/editor-reference.png

# Puts orva and orva-cli in $(PREFIX)/bin, ORVA in the desktop's application
# menu with its icon, and the documentation in $(PREFIX)/share/doc/orva
# (`sudo make install`; DESTDIR=... stages it elsewhere).
PREFIX ?= /usr/local
.PHONY: install package
install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# A Debian package of the build, its dependencies read from the binaries:
# $(BUILD_DIR)/packages/orva_VERSION_ARCH.deb.
package: deps-test build
	cd $(BUILD_DIR) && cpack -G DEB

# The normal suite, the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, then each fuzz target for a minute (the last
# ctest summary is the fuzz step's).
test: deps-test test-normal test-sanitize test-fuzz

test-normal: build-tests
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

test-sanitize: build-sanitize
	cd $(SANITIZE_DIR) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

test-fuzz: build-fuzz
	ctest --test-dir $(FUZZ_DIR)/fuzz --output-on-failure -j $(JOBS)

# The README's two commands, as it shows them, on a minimal Debian 12 root
# made with debootstrap that has nothing but git (as root, through sudo
# otherwise; the root is made in build-fresh/ and deleted afterwards).
deps-fresh:
	@bash deps/install deps/debian-packages-fresh.txt

test-fresh: deps-fresh
	bash deps/test-fresh

# Each fuzz target for FUZZ_SECONDS; inputs that reach new code are kept in
# fuzz/corpus-local, a finding is left in $(FUZZ_DIR)/fuzz/findings.
fuzz: build-fuzz
	FUZZ_DIR=$(FUZZ_DIR) JOBS=$(JOBS) fuzz/run $(FUZZ_SECONDS) fuzz/corpus-local

# Times insertions of one text and of 300 against the floor of any crash-safe
# rewrite (in pairs, with the spread of their ratio) and the check on texts
# that no NUL ends, then the peak memory of one insertion into the 1 MiB and
# 64 MiB databases it made, of listing the 1 GiB one and of inserting 100,000
# lines with --from into the 8 MiB one; last the import of 1,000 translated
# texts into an 8 MiB database against one insertion, and the export of a
# 64 MiB one (bench/exchange_bench.py); then bench-session, bench-editor and
# bench-pattern below.
bench: deps-develop $(BUILD_DIR)/build.ninja
	$(call switch_on,$(BUILD_DIR),ORVA_BUILD_BENCH)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target orva-bench orva-cli
	$(BUILD_DIR)/bench/orva-bench --data-dir=$(BUILD_DIR)/bench-data
	@peak() { /usr/bin/time -v "$$@" 2>&1 >/dev/null \
	  | sed -n 's/.*Maximum resident set size (kbytes): //p' | sed 's/$$/ KiB/'; }; \
	for size in 1MiB 64MiB; do \
	  db=$(BUILD_DIR)/bench-data/textdb_$$size.def; \
	  printf 'peak memory of one insertion into %s (%s bytes): ' $$db $$(stat -c %s $$db); \
	  peak $(BUILD_DIR)/bin/orva-cli insert $$db 'Новая миссия'; \
	done; \
	db=$(BUILD_DIR)/bench-data/textdb_1GiB.def; \
	printf 'peak memory of listing %s (%s bytes): ' $$db $$(stat -c %s $$db); \
	peak $(BUILD_DIR)/bin/orva-cli list $$db; \
	db=$(BUILD_DIR)/bench-data/textdb_8MiB.def; \
	printf 'peak memory of inserting 100,000 lines of --from into %s (%s bytes): ' $$db $$(stat -c %s $$db); \
	peak $(BUILD_DIR)/bin/orva-cli insert $$db --from $(BUILD_DIR)/bench-data/texts_100000.txt
	@timed() { /usr/bin/time -f '%e s, peak memory %M KiB' "$$@" 2>&1 >/dev/null | tail -1; }; \
	old=$(BUILD_DIR)/bench-data/patch_old_64MiB.def; new=$(BUILD_DIR)/bench-data/patch_new_64MiB.def; \
	for run in 1 2 3; do \
	  printf 'orva-cli diff of %s and %s: ' $$old $$new; timed $(BUILD_DIR)/bin/orva-cli diff $$old $$new; \
	  printf 'orva-cli patch create of the same: '; timed $(BUILD_DIR)/bin/orva-cli patch create $$old $$new; \
	done
	python3 bench/exchange_bench.py $(BUILD_DIR)/bin/orva-cli $(BUILD_DIR)/bench-data
	$(MAKE) --no-print-directory bench-session
	$(MAKE) --no-print-directory bench-editor
	$(MAKE) --no-print-directory bench-pattern
	$(MAKE) --no-print-directory bench-review
	$(MAKE) --no-print-directory bench-spelling

# An edit session's save of 1,000 changes against the floor of a crash-safe
# rewrite (in pairs, on 8 MiB) and the search of `entries --match` on 64 MiB,
# as library calls (bench/session_benchmark.cpp); then the peak memory of
# 1,000 changes saved into the 64 MiB database and that save against the
# floor, and the time and peak memory of the whole `orva-cli entries --match`.
bench-session: deps-develop $(BUILD_DIR)/build.ninja
	$(call switch_on,$(BUILD_DIR),ORVA_BUILD_BENCH)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target orva-session-bench orva-cli
	$(BUILD_DIR)/bench/orva-session-bench --data-dir=$(BUILD_DIR)/bench-data
	@stats=$(BUILD_DIR)/bench-data/time.txt; \
	peak() { sed -n 's/.*Maximum resident set size (kbytes): //p' $$stats; }; \
	wall() { sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' $$stats; }; \
	db=$(BUILD_DIR)/bench-data/textdb_session_64MiB.def; \
	work=$(BUILD_DIR)/bench-data/textdb_session_work.def; \
	cp $$db $$work; \
	$(BUILD_DIR)/bench/orva-session-bench --change-and-save=$$work; \
	for match in мм SHOT999 мм SHOT999; do \
	  /usr/bin/time -v -o $$stats $(BUILD_DIR)/bin/orva-cli entries $$db --match $$match >/dev/null; \
	  echo "orva-cli entries --match $$match on $$db: $$(wall) elapsed, $$(peak) KiB at the peak"; \
	done

# The editor window's logic on a 64 MiB database (bench/editor_benchmark.cpp):
# open to a usable table, each filter keystroke, the peak memory against the
# file, the save of 1,000 edits against the floor of a crash-safe rewrite,
# each kind of edit alone, with a filter on and with a comparison on, and a
# replacement.
bench-editor: deps-develop $(BUILD_DIR)/build.ninja
	$(call switch_on,$(BUILD_DIR),ORVA_BUILD_BENCH)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target orva-editor-bench
	@db=$(BUILD_DIR)/bench-data/textdb_editor_64MiB.def; \
	mkdir -p $(BUILD_DIR)/bench-data; \
	[ -f $$db ] || $(BUILD_DIR)/bench/orva-editor-bench --make=$$db; \
	$(BUILD_DIR)/bench/orva-editor-bench $$db

# Regular expressions over long texts (bench/pattern_benchmark.cpp): `.*x`,
# `(a|b)*c` and their kin over 4 MB and 80,000 characters, each within 100 ms;
# then the whole `orva-cli entries --regex '.*x'` on a database whose one
# text is 4 MB.
bench-pattern: deps-develop $(BUILD_DIR)/build.ninja
	$(call switch_on,$(BUILD_DIR),ORVA_BUILD_BENCH)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target orva-pattern-bench orva-cli
	$(BUILD_DIR)/bench/orva-pattern-bench
	@db=$(BUILD_DIR)/bench-data/textdb_pattern_4MB.def; \
	mkdir -p $(BUILD_DIR)/bench-data; \
	$(BUILD_DIR)/bench/orva-pattern-bench --make=$$db; \
	for run in 1 2 3; do \
	  printf "orva-cli entries --regex '.*x' on %s (one text of 4,000,000 characters): " $$db; \
	  /usr/bin/time -f '%e s, peak memory %M KiB' $(BUILD_DIR)/bin/orva-cli entries --regex '.*x' $$db \
	    2>&1 >/dev/null | tail -1; \
	done

# The translator's workbench on a 64 MiB database with a reference of the
# same size (bench/review_benchmark.cpp): opening the reference, every check
# over every entry, the live check of one typed text, and the peak memory of
# the file held as the editor holds it, alone and with the reference.
bench-review: deps-develop $(BUILD_DIR)/build.ninja
	$(call switch_on,$(BUILD_DIR),ORVA_BUILD_BENCH)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target orva-review-bench
	@data=$(BUILD_DIR)/bench-data/review; \
	[ -f $$data/textdb_en.def ] || $(BUILD_DIR)/bench/orva-review-bench --make=$$data; \
	$(BUILD_DIR)/bench/orva-review-bench $$data; \
	$(BUILD_DIR)/bench/orva-review-bench --editor $$data; \
	$(BUILD_DIR)/bench/orva-review-bench --memory=one $$data; \
	$(BUILD_DIR)/bench/orva-review-bench --memory=both $$data

# Spelling (bench/spelling_benchmark.cpp): opening the dictionaries, a
# whole-file pass over 972,592 entries with an empty and a filled cache of
# verdicts, the check of a text at each keystroke, and suggestions; then the
# whole `orva-cli check` of that file, with the spelling check and without.
bench-spelling: deps-develop $(BUILD_DIR)/build.ninja
	$(call switch_on,$(BUILD_DIR),ORVA_BUILD_BENCH)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target orva-spelling-bench orva-cli
	$(BUILD_DIR)/bench/orva-spelling-bench --data-dir=$(BUILD_DIR)/bench-data
	@db=$(BUILD_DIR)/bench-data/textdb_spelling_972592.def; \
	off=$(BUILD_DIR)/bench-data/no-spelling.json; \
	echo '{"spelling": false}' >$$off; \
	for run in 1 2 3; do \
	  printf 'orva-cli check %s (972,592 entries, every check): ' $$db; \
	  /usr/bin/time -f '%e s, peak memory %M KiB' $(BUILD_DIR)/bin/orva-cli check $$db \
	    2>&1 >/dev/null | tail -1; \
	  printf 'orva-cli check --rules %s (the same, spelling left out): ' $$off; \
	  /usr/bin/time -f '%e s, peak memory %M KiB' $(BUILD_DIR)/bin/orva-cli check --rules $$off $$db \
	    2>&1 >/dev/null | tail -1; \
	done

# clang-format (.clang-format) over every C++ file of the tree, or of the
# folders and files in LINT_PATHS, and clang-tidy (.clang-tidy) over those the
# build compiles, with the build's own compile commands; any finding fails it.
# clang-tidy reads sources, not objects: of the build it needs only what is
# generated, the moc files (each Qt target's TARGET_autogen).
LINT_PATHS ?=
lint: deps-develop $(BUILD_DIR)/build.ninja
	$(call switch_on,$(BUILD_DIR),ORVA_BUILD_TESTS)
	$(call switch_on,$(BUILD_DIR),ORVA_BUILD_BENCH)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target \
	  $$(ninja -C $(BUILD_DIR) -t targets all | sed -n 's/^\([A-Za-z0-9_.-]*_autogen\):.*/\1/p' | sort -u)
	JOBS=$(JOBS) tools/lint $(BUILD_DIR) $(LINT_PATHS)

# Makes the sample database again from its generator.
example: $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS) --target make-example-database
	$(BUILD_DIR)/tools/make-example-database examples/textdb_00.def

# ORVA for 64-bit Windows, cross-built with MinGW-w64 and tested under wine;
# the packages they need (deps/debian-packages-windows.txt) are installed by
# these targets alone, and so are the sources of RE2 and hunspell that the
# Windows programs are built with: Debian's source packages of the libre2-dev
# and libhunspell-dev installed, fetched through apt (deps/debian-source) into
# $(WINDOWS_DIR)/debian-source/re2 and .../hunspell. `make windows` builds
# $(WINDOWS_DIR)/bin/orva.exe (the
# window, with Windows' own controls) and orva-cli.exe; `make test-windows`
# runs the suites under wine, drives orva.exe on a virtual display, compares
# orva-cli.exe's output and insertions with the Linux build's byte for byte,
# and installs and uninstalls the installer; `make package-windows` makes
# $(WINDOWS_DIR)/packages/orva-VERSION-win64.zip and orva-VERSION-win64.msi.
# `make screenshot-windows` draws docs/window-windows.png,
# docs/editor-windows.png and the editor's other pictures under wine.
.PHONY: deps-windows windows build-windows test-windows test-windows-alone package-windows \
	screenshot-windows
# Both sources go to $(WINDOWS_DIR)/debian-source, where cmake/re2.cmake and
# spelling/CMakeLists.txt look for them; deps first, as the versions are
# those of the installed libre2-dev and libhunspell-dev.
deps-windows: deps
	@bash deps/install deps/debian-packages-windows.txt
	@bash deps/debian-source re2 libre2-dev $(WINDOWS_DIR)/debian-source
	@bash deps/debian-source hunspell libhunspell-dev $(WINDOWS_DIR)/debian-source

$(WINDOWS_DIR)/build.ninja:
	cmake --preset windows -B $(WINDOWS_DIR) -DORVA_LINUX_CLI=$(CURDIR)/$(BUILD_DIR)/bin/orva-cli \
	  $(werror) $(CMAKE_FLAGS)

windows: deps deps-windows $(WINDOWS_DIR)/build.ninja
	$(if $(werror),cmake -S . -B $(WINDOWS_DIR) $(werror))
	cmake --build $(WINDOWS_DIR) -j $(JOBS) --target orva-cli orva

# The whole Windows tree, its tests included, without running them: it needs
# nothing of the Linux build, so CI builds it while the fresh root downloads.
build-windows: deps deps-windows $(WINDOWS_DIR)/build.ninja
	$(if $(werror),cmake -S . -B $(WINDOWS_DIR) $(werror))
	cmake --build $(WINDOWS_DIR) -j $(JOBS)

# The wine prefix the suites run in: the Windows tree's own unless WINE_PREFIX
# names another (CI's is in memory, docs/ci.md). WINDOWS_LABELS, a ctest
# label pattern, runs only the suites with a matching label: the comparisons
# with the Linux build carry the label linux-build. `make test-windows-alone`
# runs the others, which need no Linux tree (CI runs them while the fresh root
# builds, the rest after it, with WINDOWS_LABELS=linux-build).
WINE_PREFIX ?= $(CURDIR)/$(WINDOWS_DIR)/wine-prefix
WINDOWS_LABELS ?=
test-windows: deps-test build-windows $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS) --target orva-cli
	ORVA_WINEPREFIX=$(WINE_PREFIX) cmake/run-under-wine
	cd $(WINDOWS_DIR) && ORVA_WINEPREFIX=$(WINE_PREFIX) ctest --output-on-failure -j $(JOBS) \
	  $(if $(WINDOWS_LABELS),-L '$(WINDOWS_LABELS)')

test-windows-alone: deps-test build-windows
	ORVA_WINEPREFIX=$(WINE_PREFIX) cmake/run-under-wine
	cd $(WINDOWS_DIR) && ORVA_WINEPREFIX=$(WINE_PREFIX) ctest --output-on-failure -j $(JOBS) -LE linux-build

package-windows: windows
	cmake --build $(WINDOWS_DIR) -j $(JOBS) --target orva-msi
	cd $(WINDOWS_DIR) && cpack -G ZIP

screenshot-windows: test-windows
	cp $(WINDOWS_DIR)/window-windows.png docs/window-windows.png
	cp $(WINDOWS_DIR)/editor-windows.png docs/editor-windows.png
	cp $(WINDOWS_DIR)/editor-windows-reference.png docs/editor-windows-reference.png
	cp $(WINDOWS_DIR)/editor-windows-spelling.png docs/editor-windows-spelling.png

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(FUZZ_DIR) $(WINDOWS_DIR)
