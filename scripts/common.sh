# Shared by scripts/run and scripts/test: installs what is missing, configures and builds.
# Source it; do not run it.

set -euo pipefail

TESSALY_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Every Debian package the build, the tests and the interop peers need.
TESSALY_PACKAGES=(
  cmake ninja-build g++ ccache pkg-config python3
  libgtest-dev libgmock-dev libbenchmark-dev libssl-dev libboost-regex-dev
  clang libclang-rt-dev
  libosip2-dev libsofia-sip-ua-dev
  sip-tester sipsak tshark kamailio linphone-cli baresip
  libspandsp-dev sox libasound2-dev
  libxml2-utils
  miniupnpd nftables iproute2
)
# Peers only the benchmarks run (scripts/bench installs them too); baresip is a test peer now.
TESSALY_BENCH_PACKAGES=()

# Installs the packages that are not installed yet, with any further ones named as arguments;
# a warm machine skips apt entirely.
install_missing_packages() {
  local missing=()
  local pkg
  for pkg in "${TESSALY_PACKAGES[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  # tshark asks whether non-root users may capture; answer before it is installed.
  echo "wireshark-common wireshark-common/install-setuid boolean false" | $sudo debconf-set-selections
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# ccache keys leave the build directory out, so a fresh clone or a second checkout reuses what
# another one compiled (with -g it would otherwise hash the directory and miss everything).
export CCACHE_NOHASHDIR=1
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$TESSALY_ROOT}"

# configure_and_build <build dir> [extra cmake arguments...]
configure_and_build() {
  local dir="$1"
  shift
  cmake -S "$TESSALY_ROOT" -B "$dir" -G Ninja -DTESSALY_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" --parallel "$(nproc)"
}
