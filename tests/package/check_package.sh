#!/usr/bin/env bash
# Builds the Debian package from a build tree, installs it into a temporary root and checks what
# a desktop and dpkg need from it. Usage: check_package.sh BUILD_DIR VERSION
set -euo pipefail

build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# The package goes to a directory of its own, so the build tree holds no stale .deb.
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || {
    cat "$work/cpack.log" >&2
    echo "FAIL: cpack -G DEB" >&2
    exit 1
}
arch=$(dpkg --print-architecture)
deb="$work/out/quorvel_${version}_${arch}.deb"
if [ ! -f "$deb" ]; then
    ls -l "$work/out" >&2
    echo "FAIL: no $(basename "$deb")" >&2
    exit 1
fi

# Control fields.
[ "$(dpkg-deb -f "$deb" Package)" = quorvel ] || fail "Package is not quorvel"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version is not $version"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "Architecture is not $arch"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libqt6widgets6 libqt6svg6; do
    grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

# Contents: what the desktop finds, and nothing outside /usr.
dpkg-deb -c "$deb" | awk '{print $1, $6}' >"$work/contents"
expect() {
    grep -qxF -- "$1 ./$2" "$work/contents" || fail "missing or wrong mode: $1 $2"
}
for exe in quorvel quorvel-sim quorvelctl; do
    expect -rwxr-xr-x "usr/bin/$exe"
    expect -rw-r--r-- "usr/share/man/man1/$exe.1.gz"
done
expect -rw-r--r-- usr/share/applications/org.quorvel.Quorvel.desktop
expect -rw-r--r-- usr/share/metainfo/org.quorvel.Quorvel.metainfo.xml
expect -rw-r--r-- usr/share/icons/hicolor/scalable/apps/quorvel.svg
for size in 16 24 32 48 64 128 256 512; do
    expect -rw-r--r-- "usr/share/icons/hicolor/${size}x${size}/apps/quorvel.png"
done
stray=$(awk '{print $2}' "$work/contents" | grep -v -e '^\./$' -e '^\./usr/' || true)
[ -z "$stray" ] || fail "files outside /usr: $stray"

root="$work/root"
dpkg-deb -x "$deb" "$root"

# The desktop entry and the metainfo as the desktop's own tools read them, and tied together.
desktop="$root/usr/share/applications/org.quorvel.Quorvel.desktop"
metainfo="$root/usr/share/metainfo/org.quorvel.Quorvel.metainfo.xml"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 || {
    cat "$work/appstream.log" >&2
    fail "appstreamcli validate"
}
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$root/usr/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
icon_name=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$root/usr/share/icons/hicolor/48x48/apps/$icon_name.png" ] || fail "Icon=$icon_name has no 48x48 icon"
grep -q "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" "$metainfo" ||
    fail "metainfo does not launch $(basename "$desktop")"
newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -1 | cut -d'"' -f2)
[ "$newest" = "$version" ] || fail "metainfo's newest release is $newest, the package $version"

# Each PNG is as large as the directory it sits in says; the scalable one is an SVG with a square
# view box and something drawn in it.
python3 - "$root/usr/share/icons/hicolor" <<'PY' || fail "icons"
import pathlib, struct, sys, xml.etree.ElementTree as ET
bad = 0
svg = ET.parse(pathlib.Path(sys.argv[1]) / "scalable/apps/quorvel.svg").getroot()
box = svg.get("viewBox", "").split()
if not svg.tag.endswith("svg") or len(box) != 4 or box[2] != box[3] or len(list(svg.iter())) < 5:
    print(f"scalable icon: view box {box}, {len(list(svg.iter()))} elements", file=sys.stderr)
    bad = 1
for png in sorted(pathlib.Path(sys.argv[1]).glob("*x*/apps/*.png")):
    head = png.read_bytes()[:24]
    w, h = struct.unpack(">II", head[16:24])
    want = png.parent.parent.name
    if head[:8] != b"\x89PNG\r\n\x1a\n" or f"{w}x{h}" != want:
        print(f"{png}: {w}x{h}, expected {want}", file=sys.stderr)
        bad = 1
sys.exit(bad)
PY

# The installed programs: their version, and a man page that knows every option they list.
for exe in quorvel quorvel-sim quorvelctl; do
    got=$("$root/usr/bin/$exe" --version) || fail "$exe --version exited $?"
    [ "$got" = "$exe $version" ] || fail "$exe --version printed '$got'"
    "$root/usr/bin/$exe" --help >"$work/help" || fail "$exe --help"
    grep -q -- --version "$work/help" || fail "$exe --help does not list --version"
    page=$(gzip -dc "$root/usr/share/man/man1/$exe.1.gz" | sed 's/\\-/-/g')
    grep -q "^\.TH $(tr a-z- A-Z- <<<"$exe") 1 .*\"quorvel $version\"" <<<"$page" ||
        fail "$exe.1 has no .TH line of version $version"
    for opt in $(grep -o -- '--[a-z][a-z-]*' "$work/help" | sort -u); do
        grep -q -- "$opt" <<<"$page" || fail "$exe.1 does not describe $opt"
    done
done

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "package $(basename "$deb"): all checks passed"
