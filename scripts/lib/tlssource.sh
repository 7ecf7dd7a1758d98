# tls_source: puts the TLS library's source (Mbed TLS 3.6, from Debian 13's
# source package) under build/mbedtls/source for the NTS DLL and the AES-SIV
# code, once. apt fetches it with a sources list and state of its own under
# build/mbedtls/apt, so the machine's apt set-up stays as it is; the tarball
# is taken only when its SHA-256 is the one the .dsc (checked by apt against
# the signed index) gives. Any 3.6 release from 3.6.4 on (the first with the
# TLS 1.3 key exporter) is accepted. Needs KESTRIN_BUILD (paths.sh).
tls_source() {
  local dir=$KESTRIN_BUILD/mbedtls
  [ -f "$dir/source/include/mbedtls/ssl.h" ] && [ -f "$dir/source.version" ] && return 0
  echo "setup: fetching the TLS library's source (Debian's mbedtls 3.6) under ${dir#"$KESTRIN_ROOT/"}"
  local archive
  archive=$(apt-get indextargets --format '$(REPO_URI)' "Codename: $(. /etc/os-release && echo "$VERSION_CODENAME")" \
            2>/dev/null | grep -v -- -security | head -n1)
  [ -n "$archive" ] || archive=http://deb.debian.org/debian/
  rm -rf "$dir/apt" "$dir/src"
  mkdir -p "$dir/apt/lists/partial" "$dir/apt/cache/archives/partial" "$dir/src"
  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $archive trixie main" \
    > "$dir/apt/sources.list"
  local opts=(-o "Dir::Etc::SourceList=$dir/apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent
              -o "Dir::State::Lists=$dir/apt/lists" -o "Dir::Cache=$dir/apt/cache"
              -o APT::Sandbox::User=root)
  apt-get "${opts[@]}" update >"$dir/apt/update.log" 2>&1 ||
    { cat "$dir/apt/update.log" >&2; echo "setup: apt-get update for the TLS source failed" >&2; return 1; }
  (cd "$dir/src" && apt-get "${opts[@]}" source --download-only mbedtls) >"$dir/apt/source.log" 2>&1 ||
    { cat "$dir/apt/source.log" >&2; echo "setup: apt-get source mbedtls failed" >&2; return 1; }
  local tarball dsc version
  tarball=$(cd "$dir/src" && ls mbedtls_*.orig.tar.* | head -n1)
  dsc=$(cd "$dir/src" && ls mbedtls_*.dsc | head -n1)
  version=${tarball#mbedtls_}; version=${version%.orig.tar.*}
  if ! [[ $version =~ ^3\.6\.([0-9]+)$ ]] || [ "${BASH_REMATCH[1]}" -lt 4 ]; then
    echo "setup: Debian offers mbedtls $version; the NTS code needs 3.6.4 or a later 3.6" >&2
    return 1
  fi
  local want got
  want=$(sed -n '/^Checksums-Sha256:/,/^[^ ]/p' "$dir/src/$dsc" | awk -v f="$tarball" '$3 == f { print $1 }')
  got=$(sha256sum "$dir/src/$tarball" | cut -d' ' -f1)
  if [ -z "$want" ] || [ "$want" != "$got" ]; then
    echo "setup: $tarball does not match its .dsc (want '$want', got '$got')" >&2
    return 1
  fi
  rm -rf "$dir/source"
  mkdir -p "$dir/source"
  tar -xf "$dir/src/$tarball" -C "$dir/source" --strip-components=1
  echo "$version" > "$dir/source.version"
}
