# Sourced by scripts/check and scripts/fuzz: the checking builds, with clang
# unless CC and CXX say otherwise, each in a build directory of its own.
#
# configure_check_build DIR SANITIZERS [LIBFUZZER] configures DIR (the
# compilers count when DIR is first configured only); build_check DIR
# [ninja args] builds it, printing the compiler's output only on failure.

configure_check_build() {
  local dir=$1 sanitizers=$2 libfuzzer=${3:-OFF}
  echo "configuring $dir"
  CC="${CC:-clang}" CXX="${CXX:-clang++}" cmake -S . -B "$dir" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
    -DVOCS_BUILD_BENCH=OFF -DVOCS_SANITIZE="$sanitizers" -DVOCS_LIBFUZZER="$libfuzzer" \
    >/dev/null
}

# The address build is also the fuzzing build when the compiler is clang:
# its fuzz targets link libFuzzer, which replays the seed corpora in ctest as
# the standalone driver does in the other builds.
configure_asan_build() {
  local libfuzzer=OFF
  case "$(basename "${CXX:-clang++}")" in
    clang*) libfuzzer=ON ;;
  esac
  configure_check_build build-asan address,undefined "$libfuzzer"
}

build_check() {
  local dir=$1 out
  shift
  echo "building $dir"
  if ! out=$(nice cmake --build "$dir" "$@" 2>&1); then
    printf '%s\n' "$out"
    return 1
  fi
}
