# Sourced by the scripts: ensure_packages P... installs the Debian packages
# among P that are missing (as root, or through sudo), quietly when all are
# there. vocs_packages are those every build needs; clang_packages those of
# the checking builds (sanitizers, libFuzzer).
vocs_packages=(cmake ninja-build g++ bison pkg-config libsqlite3-dev libicu-dev
               libgtest-dev libgmock-dev libbenchmark-dev libabsl-dev fortunes-zh
               zlib1g-dev chromium fonts-noto-cjk python3-distributed)
clang_packages=(clang libclang-rt-dev)

ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "installing ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}
