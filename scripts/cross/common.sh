# Shared steps of the cross builds, sourced by scripts/cross-test.sh.
#
# Each target script (scripts/cross/<target>.sh) sets:
#   CROSS_PACKAGES   Debian packages the target needs (name:arch allowed)
#   CROSS_TOOLCHAIN  the CMake toolchain file
#   CROSS_TIFF_ARGS  extra CMake arguments for libtiff (optional)
# and may define cross_before_suite, run once the project is built, before its
# suite, and cross_after_suite, run once the target's suite has passed.
#
# Dependencies are built from source into $CROSS_ROOT/deps and reused on the
# next run; a stamp file names the toolchain they were built with, so a
# changed toolchain file rebuilds them.

cross_log() { echo "cross-test[$CROSS_TARGET]: $*"; }

# Installs the target's packages as root (adding the i386 architecture when a
# package asks for it and the deb-src entries that `apt-get source` needs);
# otherwise names what is missing.
cross_install_packages() {
  local missing=() pkg status
  for pkg in "${CROSS_PACKAGES[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
    [ "$status" = "installed" ] || missing+=("$pkg")
  done
  local need_src=0
  [ -n "$(apt-cache showsrc tiff 2>/dev/null)" ] || need_src=1
  [ ${#missing[@]} -eq 0 ] && [ $need_src -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "cross-test: missing Debian packages: ${missing[*]}" >&2
    [ $need_src -eq 1 ] && echo "cross-test: and deb-src entries for 'apt-get source tiff'" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$' \
     && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  if [ $need_src -eq 1 ]; then
    # The same mirrors as the binary packages, for source packages.
    cat > /etc/apt/sources.list.d/fennick-src.sources <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  fi
  cross_log "installing ${missing[*]}"
  apt-get update -q
  [ ${#missing[@]} -eq 0 ] || apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Unpacks Debian's libtiff source (with Debian's patches) into $CROSS_ROOT/src
# once. The newest security revision's source is not always served: then the
# release pocket's is taken.
cross_fetch_tiff() {
  local dir=$CROSS_ROOT/src
  if [ -f "$dir/tiff/CMakeLists.txt" ]; then return 0; fi
  rm -rf "$dir" && mkdir -p "$dir"
  ( cd "$dir"
    apt-get source --download-only tiff >/dev/null 2>&1 \
      || apt-get source --download-only tiff/bookworm >"$CROSS_ROOT/tiff-fetch.log" 2>&1
    dpkg-source -x --no-check ./tiff_*.dsc tiff >/dev/null )
}

# Builds libtiff (static, built-in codecs only: the writer needs LZW, which
# libtiff carries itself) and GoogleTest with the target's toolchain.
cross_build_deps() {
  local prefix=$CROSS_ROOT/deps stamp=$CROSS_ROOT/deps/.toolchain
  local want
  want=$(cat "$CROSS_TOOLCHAIN" scripts/cross/common.sh; echo "${CROSS_TIFF_ARGS[*]}")
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
    cross_log "dependencies reused from $prefix"
    return 0
  fi
  # The project's build caches the toolchain's flags too: it starts afresh.
  rm -rf "$prefix" "$CROSS_ROOT/build-tiff" "$CROSS_ROOT/build-gtest" "$CROSS_ROOT/build"
  cross_fetch_tiff
  cross_log "building libtiff"
  cmake -S "$CROSS_ROOT/src/tiff" -B "$CROSS_ROOT/build-tiff" -DCMAKE_TOOLCHAIN_FILE="$CROSS_TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF -Dtiff-opengl=OFF -Dcxx=OFF \
    -Dzlib=OFF -Dlibdeflate=OFF -Dpixarlog=OFF -Djpeg=OFF -Dold-jpeg=OFF -Djbig=OFF -Dlerc=OFF \
    -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF "${CROSS_TIFF_ARGS[@]}" >"$CROSS_ROOT/tiff-configure.log"
  cmake --build "$CROSS_ROOT/build-tiff" -j "$JOBS" >"$CROSS_ROOT/tiff-build.log"
  cmake --install "$CROSS_ROOT/build-tiff" >/dev/null
  cross_log "building GoogleTest"
  cmake -S /usr/src/googletest -B "$CROSS_ROOT/build-gtest" -DCMAKE_TOOLCHAIN_FILE="$CROSS_TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_GMOCK=OFF \
    >"$CROSS_ROOT/gtest-configure.log"
  cmake --build "$CROSS_ROOT/build-gtest" -j "$JOBS" >"$CROSS_ROOT/gtest-build.log"
  cmake --install "$CROSS_ROOT/build-gtest" >/dev/null
  echo "$want" >"$stamp"
}

# Configures and builds the project for the target (no tool, no benchmarks:
# OpenEXR and libpng are not cross-built) and runs the whole suite through
# the toolchain's emulator.
cross_build_and_test() {
  local build=$CROSS_ROOT/build
  cmake -S "$ROOT" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$CROSS_TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_PREFIX_PATH="$CROSS_ROOT/deps" \
    -DFENNICK_WERROR=ON -DFENNICK_BUILD_TOOLS=OFF -DFENNICK_BUILD_BENCH=OFF >"$CROSS_ROOT/configure.log"
  cmake --build "$build" -j "$JOBS"
  if declare -F cross_before_suite >/dev/null; then cross_before_suite; fi
  ctest --test-dir "$build" --output-on-failure -j "$JOBS"
}
