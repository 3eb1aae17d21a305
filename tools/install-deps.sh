#!/bin/sh
# Installs the distribution packages the build and tests use, only when missing.
set -e
PKGS="cmake make g++ libgtest-dev libbenchmark-dev python3 libpng-dev libsdl2-dev python3-pil pkg-config socat zlib1g-dev dosfstools mtools fdisk sox python3-ppmd 7zip iproute2 iputils-arping iputils-ping tcpdump python3-scapy gpsbabel liblzf-dev liblzf1 tftp-hpa tftpd-hpa srecord"
missing=""
for p in $PKGS; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update -qq >/dev/null
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing >/dev/null
# The tests run only tftpd-hpa's in.tftpd, inside their own network namespace;
# the package's daemon must not listen on this machine's network.
case " $missing " in
*" tftpd-hpa "*)
  if command -v systemctl >/dev/null 2>&1 && [ -d /run/systemd/system ]; then
    $SUDO systemctl disable --now tftpd-hpa >/dev/null 2>&1 || true
  else
    $SUDO service tftpd-hpa stop >/dev/null 2>&1 || true
    $SUDO update-rc.d tftpd-hpa disable >/dev/null 2>&1 || true
  fi ;;
esac
