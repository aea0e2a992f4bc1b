#!/usr/bin/env bash
# Builds the texture decoder, world parser and import stream fuzzers with libFuzzer, AddressSanitizer and UBSan, and runs
# each for a while. Usage: fuzz/run.sh [SECONDS_PER_HARNESS] [HARNESS...] (default 60, all).
# Crashes are written to build/fuzz/crashes; the corpora grow in build/fuzz/corpus, and the inputs
# that reach new code are merged into the checked-in fuzz/corpus, which ./test replays.
set -euo pipefail
seconds=${1:-60}
shift || true
harnesses=("$@")
[ ${#harnesses[@]} -eq 0 ] && harnesses=(png jpeg bmp tga all world import)
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build/fuzz"
mkdir -p "$out/crashes"

if ! command -v clang++ >/dev/null; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends clang
fi

decoders=("$root"/zelnary/textures/*.cpp)
flags=(-std=c++20 -O1 -g -I"$root" -fno-omit-frame-pointer)
sanitize=(-fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)

echo "building seed writer"
clang++ "${flags[@]}" -o "$out/make_seeds" "$root/fuzz/make_seeds.cpp" \
  "$root/tests/zelnary/textures/encoders.cpp" -lgtest -lpng -ljpeg -lpthread
mkdir -p "$out"/seeds/{png,jpeg,bmp,tga}
"$out/make_seeds" "$out/seeds"

for name in "${harnesses[@]}"; do
  case $name in world | import) continue ;; esac
  define=()
  [ "$name" != all ] && define=(-DFUZZ_DECODER_"${name^^}")
  echo "building fuzz_$name"
  clang++ "${flags[@]}" "${sanitize[@]}" "${define[@]}" -o "$out/fuzz_$name" \
    "$root/fuzz/decode_fuzzer.cpp" "${decoders[@]}" -lpng -ljpeg
done

echo "building fuzz_world"
[[ " ${harnesses[*]} " == *" world "* ]] && clang++ "${flags[@]}" "${sanitize[@]}" -o "$out/fuzz_world" "$root/fuzz/world_fuzzer.cpp" \
  "$root"/zelnary/world/*.cpp "$root"/zelnary/scene/*.cpp "${decoders[@]}" -lpng -ljpeg
mkdir -p "$out/seeds/world"
cp "$root"/worlds/town/town.wld "$out/seeds/world/"
sed -n '/^```text$/,/^```$/p' "$root/docs/world-format.md" | grep -v '^```' >"$out/seeds/world/doc.wld"

if [[ " ${harnesses[*]} " == *" import "* ]]; then
  echo "building fuzz_import"
  clang++ "${flags[@]}" "${sanitize[@]}" -o "$out/fuzz_import" "$root/fuzz/import_stream_fuzzer.cpp" \
    "$root"/zelnary/import/{stream_decode,build_scene}.cpp "$root"/zelnary/scene/*.cpp \
    "$root"/zelnary/simulation/{keyframes,morphing,skinning}.cpp \
    "${decoders[@]}" -lpng -ljpeg
fi
# Seeds: streams the importer writes for a few of Debian's test models (TwoBoxes for a shared
# mesh), where both are here.
mkdir -p "$out/seeds/import"
models=/usr/share/assimp/models
for m in glTF2/BoxTextured-glTF/BoxTextured.gltf OBJ/box.obj FBX/box.fbx \
  glTF/TwoBoxes/TwoBoxes.gltf \
  glTF2/glTF-Sample-Models/AnimatedMorphCube-glTF/AnimatedMorphCube.gltf; do
  if [ -x "$root/build/dev/bin/zelnary-import" ] && [ -f "$models/$m" ]; then
    "$root/build/dev/bin/zelnary-import" "$models/$m" >"$out/seeds/import/$(basename "$m").zis" || true
  fi
done

for name in "${harnesses[@]}"; do
  corpus="$out/corpus/$name"
  kept="$root/fuzz/corpus/$name"
  mkdir -p "$corpus" "$kept"
  if [ "$name" = all ]; then seeds=("$out"/seeds/{png,jpeg,bmp,tga}); else seeds=("$out/seeds/$name"); fi
  echo "fuzzing $name for ${seconds}s"
  (cd "$out/crashes" && "$out/fuzz_$name" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 "$corpus" "$kept" "${seeds[@]}")
  (cd "$out/crashes" && "$out/fuzz_$name" -merge=1 -rss_limit_mb=2048 "$kept" "$corpus" 2>/dev/null)
done
echo "no crashes"
