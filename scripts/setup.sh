#!/usr/bin/env bash
# Installs what building and testing Bullmoor needs on a fresh Debian machine (run as root, or
# with sudo available). Does nothing when everything is already there.
set -euo pipefail
packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev libvterm-dev libfaketime
          nlohmann-json3-dev clang libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  echo "Installing: ${missing[*]}"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi
