#!/usr/bin/env bash
# Builds the Debian package from the build in build/ (or $TESSARO_BUILD_DIR) and checks it
# as a user would meet it:
#   - the AppStream metadata and the desktop entry pass their validators, lintian finds
#     no error and no warning (packaging/lintian-overrides says why a tag is let pass);
#   - every package it depends on is one Debian can install;
#   - unpacked into a temporary tree, the installed tessaro-cli, started through its
#     launcher with a fresh $XDG_DATA_HOME from a folder without language.ini, shows the
#     simulated ESC, takes --lang zh, keeps that choice in the user's own language.ini
#     and shows Chinese captions and messages on the next runs; a file it is given is
#     relative to the caller's folder.
# scripts/test.sh runs it under CI or with TESSARO_PACKAGE=1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TESSARO_BUILD_DIR:-$root/build}
TESSARO_SETUP_PACKAGING=1 bash "$root/scripts/setup.sh"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  TESSARO_BUILD_DIR=$build bash "$root/scripts/build.sh"
fi
cmake --build "$build" --parallel "$(nproc)"

step() { printf '== %s\n' "$*"; }
failed() { printf 'check_package: %s\n' "$*" >&2; exit 1; }

step "cpack -G DEB"
rm -f "$build"/tessaro_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/tessaro_*.deb)
[[ -f $deb ]] || failed "no package was built"
echo "$deb"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
tree=$scratch/tree
dpkg-deb -x "$deb" "$tree"

step "appstreamcli validate --no-net"
appstreamcli validate --no-net "$tree"/usr/share/metainfo/*.metainfo.xml
step "desktop-file-validate"
desktop-file-validate "$tree"/usr/share/applications/*.desktop && echo "ok"

step "lintian"
lintian_out=$scratch/lintian.txt
lintian --info --display-level ">=warning" "$deb" >"$lintian_out" 2>&1 || true
cat "$lintian_out"
# Errors and warnings fail; each tag let pass has its reason in packaging/lintian-overrides.
if grep -q '^[EW]: ' "$lintian_out"; then failed "lintian reports errors or warnings"; fi

step "dependencies"
depends=$(dpkg-deb -f "$deb" Depends)
echo "$depends"
IFS=',' read -r -a groups <<<"$depends"
for group in "${groups[@]}"; do
  found=""
  IFS='|' read -r -a alternatives <<<"$group"
  for alternative in "${alternatives[@]}"; do
    name=$(echo "$alternative" | sed 's/(.*)//; s/:any//' | tr -d ' ')
    if dpkg -s "$name" >/dev/null 2>&1 || \
       apt-cache policy "$name" 2>/dev/null | grep -q 'Candidate: [^(]'; then
      found=$name
      break
    fi
  done
  [[ -n $found ]] || failed "no installable package for the dependency '$group'"
done
echo "every dependency can be installed"

step "the installed tessaro-cli through its launcher"
export XDG_DATA_HOME=$scratch/data
unset TESSARO_WORKDIR
here=$scratch/elsewhere
mkdir -p "$here"
cd "$here"
cli=$tree/usr/bin/tessaro-cli
"$cli" --device sim:family=3 info >"$scratch/en.txt"
cat "$scratch/en.txt"
grep -q "^family: 3$" "$scratch/en.txt" || failed "info did not show the simulated family 3 ESC"
own=$XDG_DATA_HOME/tessaro
[[ -f $own/language.ini ]] || failed "the launcher made no $own/language.ini"
[[ ! -e $here/language.ini ]] || failed "the launcher wrote into the caller's folder"
"$cli" --device sim:family=3 --lang zh info >"$scratch/zh.txt"
grep -q '^lang_sel=1' "$own/language.ini" || failed "the choice was not kept in $own/language.ini"
# info's lines are the same in both languages (field names, versions, the family's name);
# the next runs, without --lang, show the Chinese captions and messages.
"$cli" --device sim:family=3 info >"$scratch/zh-again.txt"
cmp -s "$scratch/zh.txt" "$scratch/zh-again.txt" || failed "info changed between the runs"
"$cli" --device sim:family=3 read >"$scratch/read-zh.txt"
head -n 3 "$scratch/read-zh.txt"
grep -q '刹车力度' "$scratch/read-zh.txt" || failed "the captions are not Chinese"
if "$cli" --device sim:family=3,adapter=none --timeout 1 info 2>"$scratch/err-zh.txt"; then
  failed "info without an adapter succeeded"
fi
cat "$scratch/err-zh.txt"
LC_ALL=C.UTF-8 grep -qP '[\x{4e00}-\x{9fff}]' "$scratch/err-zh.txt" || failed "the message is not Chinese"
# A later start keeps the user's file (their choice) rather than the shipped one.
"$cli" --device sim:family=3 info >/dev/null
grep -q '^lang_sel=1' "$own/language.ini" || failed "a later start replaced the user's language.ini"
"$cli" --device sim:family=3 export car >/dev/null
[[ -f $here/car.cfg ]] || failed "a file given was not written in the caller's folder"
step "package ok: $deb"
