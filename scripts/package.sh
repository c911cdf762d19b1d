#!/usr/bin/env bash
# Builds the Debian package build/package/draftwell_<version>_amd64.deb from a
# release build with Debian's build flags, and checks it with lintian.
#
#   scripts/package.sh               build, package, lintian
#   scripts/package.sh --chroot DIR  then also install the package into a fresh
#                                    Debian 12 root at DIR (debootstrap, made once,
#                                    from the mirror this machine's apt uses) and
#                                    run draftwell-cli info and render inside it
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
CHROOT=""
while [ $# -gt 0 ]; do
  case $1 in
    --chroot)
      [ $# -ge 2 ] || { echo "package.sh: --chroot needs a folder" >&2; exit 2; }
      CHROOT=$2
      shift 2
      ;;
    *) echo "usage: scripts/package.sh [--chroot DIR]" >&2; exit 2 ;;
  esac
done

if [ -n "$CHROOT" ]; then
  "$ROOT/scripts/install-deps.sh" --package --chroot
else
  "$ROOT/scripts/install-deps.sh" --package
fi

BUILD="$ROOT/build/package"
cd "$ROOT"
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="$ROOT" CCACHE_NOHASHDIR=1
fi
# Debian's hardening flags, as a package built by dpkg-buildpackage gets them.
CPPFLAGS="$(dpkg-buildflags --get CPPFLAGS)"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDRAFTWELL_TESTS=OFF -DDRAFTWELL_BENCH=OFF \
  -DCMAKE_C_FLAGS="$CPPFLAGS $(dpkg-buildflags --get CFLAGS)" \
  -DCMAKE_CXX_FLAGS="$CPPFLAGS $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" "${launcher[@]}" >/dev/null
echo "package.sh: building $BUILD"
if ! cmake --build "$BUILD" -j2 >"$BUILD/build.log" 2>&1; then
  tail -n 40 "$BUILD/build.log" >&2
  echo "package.sh: the build failed (all of it in $BUILD/build.log)" >&2
  exit 1
fi
rm -f "$BUILD"/draftwell_*.deb
echo "package.sh: packaging"
if ! (cd "$BUILD" && cpack -G DEB >"$BUILD/cpack.log" 2>&1); then
  cat "$BUILD/cpack.log" >&2
  exit 1
fi
DEB=$(ls "$BUILD"/draftwell_*_amd64.deb)
echo "package.sh: $DEB"
dpkg-deb --field "$DEB" Package Version Architecture Depends Recommends
echo "package.sh: lintian"
lintian --fail-on error --info "$DEB"
echo "package.sh: lintian found no errors"

[ -n "$CHROOT" ] || exit 0

# ---- a fresh Debian 12 root with the package installed
# The first Debian archive apt uses: "URIs:" of a .sources file or a "deb" line.
mirror=$(grep -h -E '^[[:space:]]*(URIs:|deb[[:space:]])' /etc/apt/sources.list /etc/apt/sources.list.d/*.sources \
           /etc/apt/sources.list.d/*.list 2>/dev/null | grep -o -E 'https?://[^ ]*/debian/?' | head -n 1 || true)
mirror=${mirror:-http://deb.debian.org/debian}
if [ ! -x "$CHROOT/usr/bin/apt-get" ]; then
  echo "package.sh: debootstrap bookworm $CHROOT $mirror"
  nice -n 19 debootstrap --variant=minbase bookworm "$CHROOT" "$mirror" >"$BUILD/debootstrap.log" 2>&1 || {
    tail -n 30 "$BUILD/debootstrap.log" >&2
    exit 1
  }
fi
mounted=()
cleanup() {
  local m
  for m in "${mounted[@]}"; do umount "$m" 2>/dev/null || true; done
}
trap cleanup EXIT
for fs in proc dev; do
  if ! mountpoint -q "$CHROOT/$fs"; then
    mount --bind "/$fs" "$CHROOT/$fs"
    mounted=("$CHROOT/$fs" "${mounted[@]}")
  fi
done
in_root() { nice -n 19 chroot "$CHROOT" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
cp "$DEB" "$CHROOT/tmp/"
echo "package.sh: apt-get install ./$(basename "$DEB") in $CHROOT"
in_root apt-get update -q >"$BUILD/chroot-apt.log" 2>&1
in_root sh -c "cd /tmp && DEBIAN_FRONTEND=noninteractive apt-get install -y -q ./$(basename "$DEB")" \
  >>"$BUILD/chroot-apt.log" 2>&1 || { tail -n 30 "$BUILD/chroot-apt.log" >&2; exit 1; }
grep -E '^(Setting up|Processing triggers)' "$BUILD/chroot-apt.log" | sed 's/^/  /'
# A drawing with a line, a circle and a text in an SHX font that only the package ships.
cat >"$CHROOT/tmp/check.dxf" <<'DXF'
0
SECTION
2
TABLES
0
TABLE
2
STYLE
0
STYLE
2
Standard
70
0
40
0.0
41
1.0
3
romans.shx
0
ENDTAB
0
ENDSEC
0
SECTION
2
ENTITIES
0
LINE
8
0
10
0
20
0
11
100
21
50
0
CIRCLE
8
0
10
50
20
25
40
20
0
TEXT
8
0
10
5
20
60
40
8
1
Draftwell in a clean root
0
ENDSEC
0
EOF
DXF
echo "package.sh: in $CHROOT: draftwell-cli info /tmp/check.dxf"
in_root draftwell-cli info /tmp/check.dxf
echo "package.sh: in $CHROOT: draftwell-cli render /tmp/check.dxf -o /tmp/check.png --size 400x300"
in_root draftwell-cli render /tmp/check.dxf -o /tmp/check.png --size 400x300
cp "$CHROOT/tmp/check.png" "$BUILD/chroot-render.png"
echo "package.sh: in $CHROOT: draftwell-cli thumbnail /tmp/check.dxf /tmp/thumb.png"
in_root draftwell-cli thumbnail /tmp/check.dxf /tmp/thumb.png
echo "package.sh: in $CHROOT: the editor's libraries and its help"
if in_root ldd /usr/bin/draftwell | grep 'not found'; then exit 1; fi
in_root env QT_QPA_PLATFORM=offscreen draftwell --help | head -n 3
ls -l "$CHROOT/usr/share/applications/draftwell.desktop" "$CHROOT/usr/share/mime/packages/draftwell.xml" \
  "$CHROOT/usr/share/thumbnailers/draftwell.thumbnailer"
echo "package.sh: the package works in $CHROOT (picture: $BUILD/chroot-render.png)"
