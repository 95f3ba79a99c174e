#!/usr/bin/env bash
# Installs the three Debian packages from build/package into a fresh root
# with dpkg, then builds examples/hello_host against what was installed
# there, through CMake and through pkg-config, and runs both builds.
# Prints "N passed, M failed" for the steps.
# Usage: tests/package/install_debs.sh   (after scripts/package.sh)
set -uo pipefail
cd "$(dirname "$0")/../.."

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
passed=0
failed=0
step() {  # step NAME COMMAND...: runs it, counts it, shows its output on failure
  local name="$1"
  shift
  if "$@" >"$work/step.log" 2>&1; then
    echo "PASS $name"
    passed=$((passed + 1))
  else
    echo "FAIL $name"
    sed 's/^/  /' "$work/step.log" | tail -n 30
    failed=$((failed + 1))
  fi
}
expect_output() {  # expect_output PROGRAM: the example's lines are there
  local out
  out="$("$@")" || return 1
  grep -q "hello_host done" <<<"$out" && grep -q "the built-in logger is back" <<<"$out"
}

debs=(build/package/*.deb)
# The packages' dependencies are this machine's packages, not the fresh
# root's: dpkg checks them against an empty database, so they are forced.
step "install ${#debs[@]} packages into a fresh root" \
  dpkg --root="$root" --force-depends --force-script-chrootless --log=/dev/null -i "${debs[@]}"
libdir="$(dirname "$(find "$root/usr/lib" -name 'libovra_player.so.0' | head -n 1)")"
step "the runtime package holds the library" test -e "$libdir/libovra_player.so.0"
step "the tools package holds the three tools" \
  test -x "$root/usr/bin/ovra-pack" -a -x "$root/usr/bin/ovra-inspect" -a -x "$root/usr/bin/ovra-view"

export LD_LIBRARY_PATH="$libdir"
step "hello_host builds through find_package" \
  bash -c "cmake -S examples/hello_host -B '$work/cmake' -G Ninja -D CMAKE_PREFIX_PATH='$root/usr' \
           && cmake --build '$work/cmake'"
step "hello_host built through find_package runs" expect_output "$work/cmake/hello_host"
step "hello_host builds through pkg-config" \
  bash -c "export PKG_CONFIG_PATH='$libdir/pkgconfig' && \
           g++ -std=c++20 examples/hello_host/main.cpp \$(pkg-config --cflags --libs ovra_player) -o '$work/pkg'"
step "hello_host built through pkg-config runs" expect_output "$work/pkg"
step "ovra-view runs on the packaged library" bash -c "'$root/usr/bin/ovra-view' --help | grep -q usage"

echo "$passed passed, $failed failed"
test "$failed" -eq 0
