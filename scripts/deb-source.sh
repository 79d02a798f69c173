# Sourced by the mingw build scripts: unpacks a Debian source package.
#
#   fetch_deb_source PACKAGE DEST   unpacks PACKAGE's source tree into DEST
#
# Adds a deb-src entry for the machine's Debian suite when apt has none
# (needs root or sudo). Run in an empty scratch folder.

as_root() { if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi; }

fetch_deb_source() {
  local package=$1 dest=$2
  local fetch="apt-get source --download-only -qq $package"
  if ! $fetch >/dev/null 2>&1; then
    # apt knows no source packages yet: mirror the main deb entry as deb-src.
    local entry=/etc/apt/sources.list.d/afm3-deb-src.sources
    if [[ ! -f "$entry" ]]; then
      local suite
      suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
      printf '%s\n' "Types: deb-src" "URIs: http://deb.debian.org/debian" "Suites: $suite" \
        "Components: main" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" |
        as_root tee "$entry" >/dev/null
    fi
    as_root apt-get update -qq
    $fetch >/dev/null 2>&1 || { echo "cannot fetch the $package source package" >&2; return 1; }
  fi
  command -v dpkg-source >/dev/null || { echo "dpkg-dev is missing" >&2; return 1; }
  local dsc
  dsc=$(ls ./"${package}"_*.dsc | head -n 1)
  dpkg-source --no-check -x "$dsc" "$dest" >/dev/null
}
