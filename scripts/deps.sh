# Sourced by scripts/run and scripts/test: installs what a fresh Debian 12 machine lacks.
# Quick when everything is there: it asks dpkg first and calls apt-get only for what is missing.

SORVANE_PACKAGES=(
  g++ clang cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libfontconfig-dev
  libbenchmark-dev linux-libc-dev
  libxcb1-dev
  xvfb xauth xdotool x11-utils imagemagick openbox
  iproute2 procps
  libsnmp-dev snmpd snmp python3
  qt6-l10n-tools librsvg2-bin
  desktop-file-utils appstream groff-base dpkg-dev file
)

# Installs those of the given packages that dpkg does not have.
sorvane_install_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  # Another apt-get may hold the lock for a while on a shared machine.
  $sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
  $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
}

sorvane_install_deps() {
  sorvane_install_packages "${SORVANE_PACKAGES[@]}"
}

# sorvane_build DIR [CMAKE_ARGS...]: everything, tests and benchmarks included.
sorvane_build() {
  local dir=$1; shift
  cmake -S "$SORVANE_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
}

# sorvane_build_program DIR [CMAKE_ARGS...]: the program alone, the executable and its two
# agent libraries.
sorvane_build_program() {
  local dir=$1; shift
  cmake -S "$SORVANE_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)" --target sorvane inetmib1 snmpapi sorvanesnmp
}
