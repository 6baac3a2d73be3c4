#!/usr/bin/env bash
# Builds the Debian package from a built tree, installs it into a scratch root and checks what
# arrives: the file list (no base image among it), the package's dependencies, the desktop
# entries, the AppStream metadata, the manual pages, the programs' hardening, that the installed
# programs run and write only into the user's data folder, and lintian without errors or
# warnings.
#   package_test.sh BUILD_DIR
set -euo pipefail
build=$1

for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli lintian man; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/bootstrap installs it)"
    exit 77
  fi
done

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

work=$build/package-test
rm -rf "$work"
mkdir -p "$work"
if ! cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  fail "cpack could not make the package"
fi
debs=("$work"/out/mosaicor-kv_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one mosaicor-kv_*.deb in $work/out"
deb=${debs[0]}
echo "package: $(basename "$deb")"

# Recommended: the system's ping, the echo's last way out.
[ "$(dpkg-deb -f "$deb" Recommends)" = "iputils-ping" ] || fail "Recommends is not iputils-ping"

# Dependencies found by shlibdeps, and the platform plugins that Qt loads at run time.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
names=$(sed 's/ ([^)]*)//g; s/, */\n/g' <<<"$depends")
for need in libc6 libstdc++6 libqt6core6 libqt6widgets6 libpugixml1v5 libfreexl1 liborcus-0.17-0 \
  qt6-qpa-plugins; do
  grep -Fxq "$need" <<<"$names" || fail "Depends lacks $need"
done

root=$work/root
dpkg -x "$deb" "$root"
bin=$root/usr/bin
expected=(
  usr/bin/Mosaicor_Kv
  usr/bin/Regprobe
  usr/bin/mosaicor-build
  usr/bin/mosaicor-inspect
  usr/share/applications/example.veltrisa.mosaicor_kv.desktop
  usr/share/applications/example.veltrisa.regprobe.desktop
  usr/share/icons/hicolor/scalable/apps/example.veltrisa.mosaicor_kv.svg
  usr/share/icons/hicolor/scalable/apps/example.veltrisa.regprobe.svg
  usr/share/metainfo/example.veltrisa.mosaicor_kv.metainfo.xml
  usr/share/metainfo/example.veltrisa.regprobe.metainfo.xml
  usr/share/man/man1/Mosaicor_Kv.1.gz
  usr/share/man/man1/Regprobe.1.gz
  usr/share/man/man1/mosaicor-build.1.gz
  usr/share/man/man1/mosaicor-inspect.1.gz
  usr/share/doc/mosaicor-kv/changelog.gz
  usr/share/doc/mosaicor-kv/copyright
)
# Exactly these files and folders for them: no base image, no MASTER, no PROJECTS, no demo.
check_files() {
  local actual wanted
  actual=$(cd "$root" && find . -mindepth 1 ! -type d | sed 's|^\./||' | sort)
  wanted=$(printf '%s\n' "${expected[@]}" | sort)
  if [ "$actual" != "$wanted" ]; then
    diff <(echo "$wanted") <(echo "$actual") || true
    fail "$1 (< expected, > found)"
  fi
}
check_files "the package holds other files than expected"
for program in Mosaicor_Kv Regprobe mosaicor-build mosaicor-inspect; do
  [ -x "$bin/$program" ] || fail "$program is not executable"
done

# Every program is built hardened, as the distribution builds its packages: position-independent,
# full RELRO with immediate binding, stack protector, fortified functions, no compiler notes.
for program in Mosaicor_Kv Regprobe mosaicor-build mosaicor-inspect; do
  file=$bin/$program
  readelf -h "$file" | grep -Eq 'Type: +DYN' || fail "$program is not position-independent"
  readelf -lW "$file" | grep -q GNU_RELRO || fail "$program has no RELRO segment"
  readelf -dW "$file" | grep -Eq 'FLAGS.*(BIND_NOW| NOW)' || fail "$program does not bind now"
  symbols=$(readelf --dyn-syms -W "$file")
  grep -q '__stack_chk_fail' <<<"$symbols" || fail "$program has no stack protector"
  grep -Eq '__[a-z_]+_chk(@|$| )' <<<"$symbols" || fail "$program uses no fortified function"
  ! readelf -SW "$file" | grep -q ' \.comment ' || fail "$program keeps its .comment section"
done

desktop-file-validate "$root"/usr/share/applications/*.desktop || fail "desktop-file-validate"
# The IDs are reverse-DNS and lower case; the maker's domain lies under the reserved .example
# top-level domain, which AppStream notes (an information, no warning).
appstreamcli validate --pedantic --no-net "$root"/usr/share/metainfo/*.metainfo.xml \
  >"$work/appstream.log" || { cat "$work/appstream.log"; fail "appstreamcli validate"; }
if grep -Eq '^[EWP]:' "$work/appstream.log"; then
  cat "$work/appstream.log"
  fail "appstreamcli validate --pedantic has remarks"
fi
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "manual page $(basename "$page"): $warnings"
done
zcat "$root/usr/share/man/man1/mosaicor-build.1.gz" | grep -q -- '--master' ||
  fail "the manual page of mosaicor-build does not come from its --help"
zcat "$root/usr/share/man/man1/mosaicor-inspect.1.gz" | grep -q -- 'show what differs between two sources' ||
  fail "the manual page of mosaicor-inspect does not come from its --help"
zcat "$root/usr/share/man/man1/mosaicor-inspect.1.gz" | sed -n '/^\.SH SYNOPSIS/,/^\.SH DESCRIPTION/p' |
  grep -q -- 'diff' || fail "the --diff usage of mosaicor-inspect is not in its SYNOPSIS"

# The installed programs run as a user's would: the user's data folder is a scratch one.
export HOME=$work/home XDG_DATA_HOME=$work/home/data XDG_DATA_DIRS=$work/shared
data=$XDG_DATA_HOME/Mosaicor_Kv
mkdir -p "$HOME"
"$bin/mosaicor-build" --help >"$work/help.txt" || fail "mosaicor-build --help failed"
grep -q '^Usage: mosaicor-build ' "$work/help.txt" || fail "mosaicor-build --help printed no usage"

# Without a base image it says where it looked: the shared data folders and the user's, nothing
# beside the installed program. The project holds one empty table: a folder with none is refused
# before the base image is sought.
mkdir -p "$work/project/bin"
printf '<sdo/>' >"$work/project/sdo.xml"
status=0
"$bin/mosaicor-build" "$work/project" 2>"$work/build.txt" || status=$?
[ $status -eq 1 ] || fail "mosaicor-build without a base image ended with $status, not 1"
printf '%s\n' "Error file RZ41902_15_3.sx not found" "  Looked for in:" \
  "    $work/shared/mosaicor-kv/MASTER" "    $root/usr/share/mosaicor-kv/MASTER" \
  "    $data/MASTER" "  Copy RZ41902_15_3.sx, supplied with the device, into:" \
  "    $data/MASTER" >"$work/build-expected.txt"
tail -n 7 "$work/build.txt" | cmp -s - "$work/build-expected.txt" ||
  { cat "$work/build.txt"; fail "no clear message for a missing base image"; }

# The configurator starts and makes its folders in the data folder; SIGTERM ends it politely.
QT_QPA_PLATFORM=offscreen "$bin/Mosaicor_Kv" >"$work/configurator.log" 2>&1 &
pid=$!
for _ in $(seq 50); do
  [ -d "$data/PROJECTS" ] && break
  sleep 0.1
done
kill -TERM $pid 2>/dev/null || true
status=0
wait $pid || status=$?
[ $status -eq 0 ] || { cat "$work/configurator.log"; fail "Mosaicor_Kv ended with $status"; }
for made in MASTER PROJECTS Mosaicor_Kv.ini; do
  [ -e "$data/$made" ] || fail "the installed configurator did not make $data/$made"
done
check_files "the installed programs wrote into the installation"

# lintian as a distribution's reviewer runs it: errors and warnings fail the test, and so does
# any hardening tag; the pedantic remarks and the rest are listed.
if ! lintian --pedantic --fail-on error,warning --tag-display-limit 0 "$deb" \
  >"$work/lintian.txt" 2>&1; then
  cat "$work/lintian.txt"
  fail "lintian found errors or warnings"
fi
if grep -q 'hardening-' "$work/lintian.txt"; then
  cat "$work/lintian.txt"
  fail "lintian finds programs built without hardening"
fi
echo "lintian:"
sed 's/^/  /' "$work/lintian.txt"
echo "package test passed"
