# The two commands of the README, and the steps they are made of.
.PHONY: deps build run test test-large test-asan test-tsan screenshot package

deps:
	@scripts/install-deps

build: deps
	@cmake --preset default >/dev/null
	cmake --build --preset default

# The uploader against the reference shelf service, started (and stopped) around it.
run: build
	scripts/run-app

# The "large" label (entries of 2 GiB and 4 GiB) takes minutes of disk work: `make test-large`.
test: build
	ctest --preset default -LE large

test-large: build
	ctest --preset default -L large

test-asan: deps
	@cmake --preset asan >/dev/null
	cmake --build --preset asan
	ctest --preset asan

test-tsan: deps
	@cmake --preset tsan >/dev/null
	cmake --build --preset tsan
	ctest --preset tsan

screenshot: build
	scripts/screenshot docs/screenshot.png

# A Debian package of the app in build/default/package/, its dependencies found by dpkg-shlibdeps.
package: build
	cd build/default && cpack -G DEB
