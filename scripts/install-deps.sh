#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, the benchmarks and the demo need.
# Idempotent: does nothing when everything is already installed.
set -euo pipefail

packages=(
  g++ cmake ninja-build make          # toolchain
  libtclap-dev                        # command-line parser of lqcl
  nlohmann-json3-dev                  # scenario files of tolvo-sim
  libgtest-dev libgmock-dev           # unit and end-to-end tests
  libbenchmark-dev                    # function benchmarks under bench/
  sg3-utils                           # sg_inq: independent decoder used by a simulator test
  iproute2 util-linux                 # ip and unshare for the loopback-only network tests
  procps                              # ps/pkill used by the demo script to check for leftovers
  dpkg-dev                            # dpkg-shlibdeps for the Debian package (make package)
  libcpp-httplib-dev                  # the web server of the emulated network module
  curl                                # independent HTTP client of the network tests
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
