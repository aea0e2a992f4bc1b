#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the installed program: its layout, its
# desktop entry and world file types, and that the installed viewer shows the installed town.
# Usage: installed_viewer.sh BUILD_DIR WINDOW_PICTURE [MORE_INSTALLED_FILES...]
set -euo pipefail
build=$1
window_picture=$2
shift 2
prefix=$(mktemp -d)
viewer=
cleanup() {
  if [ -n "$viewer" ]; then kill "$viewer" 2>/dev/null || true; fi
  rm -rf "$prefix"
}
trap cleanup EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/kwellor bin/zelnary-tool lib/kwellor/kwellor lib/kwellor/libzelnary3.so \
  share/kwellor/worlds/town/town.wld share/kwellor/worlds/town/bitmaps/grass.png \
  share/applications/kwellor.desktop share/icons/hicolor/16x16/apps/kwellor.png \
  share/icons/hicolor/256x256/apps/kwellor.png share/mime/packages/kwellor.xml \
  share/man/man1/kwellor.1.gz share/man/man1/zelnary-tool.1.gz "$@"; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
# Nothing installed may still point into the build tree.
if readelf -d "$prefix/lib/kwellor/kwellor" "$prefix/bin/zelnary-tool" \
  "$prefix/lib/kwellor/libzelnary3.so" | grep -E 'R(UN)?PATH'; then
  echo "an installed binary keeps a library search path"
  exit 1
fi

desktop-file-validate "$prefix/share/applications/kwellor.desktop"
# The world type is known by each extension and by the first line.
mime_log=$(update-mime-database "$prefix/share/mime" 2>&1) || { echo "$mime_log"; exit 1; }
for ext in wld vindle zelnary; do
  grep -qx "model/x-zelnary-world:\*\.$ext" "$prefix/share/mime/globs" ||
    { echo "no MIME glob for .$ext"; exit 1; }
done
grep -aq "zelnary-world 1" "$prefix/share/mime/magic" || { echo "no MIME magic"; exit 1; }
# The model types that the shared database lacks are defined, below the default glob weight;
# the desktop entry offers KWELLOR for the common model types without making it their default.
for glob in 40:model/vnd.collada+xml:\*.dae 40:model/x-fbx:\*.fbx 40:model/x-ply:\*.ply; do
  grep -qxF "$glob" "$prefix/share/mime/globs2" || { echo "no MIME glob $glob"; exit 1; }
done
for type in model/gltf-binary model/gltf+json model/obj model/stl model/3mf model/vnd.collada+xml; do
  grep -q "^MimeType=.*$type;" "$prefix/share/applications/kwellor.desktop" ||
    { echo "the desktop entry does not claim $type"; exit 1; }
done
if find "$prefix" -name mimeapps.list -o -name defaults.list | grep -q .; then
  echo "the install sets default applications"
  exit 1
fi

town=$prefix/share/kwellor/worlds/town/town.wld
export XDG_RUNTIME_DIR=$prefix/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
"$prefix/bin/zelnary-tool" check "$town" >/dev/null
# The installed tool in bin/ starts the importer installed in lib/kwellor/.
printf 'v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n' >"$prefix/triangle.obj"
env -u ZELNARY_IMPORTER "$prefix/bin/zelnary-tool" import "$prefix/triangle.obj" "$prefix/converted" >/dev/null
[ -s "$prefix/converted/triangle.wld" ] || { echo "the installed tool did not import"; exit 1; }
# The installed viewer, started through bin/, finds the installed engine and draws the town.
env -u KWELLOR_ENGINE "$prefix/bin/kwellor" "$town" &
viewer=$!
"$window_picture" "town.wld]" 60
