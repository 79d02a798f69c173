#!/usr/bin/env bash
# Builds the native library and tool, then shows the tool at work on
# albums it makes in a scratch folder.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native -j"$(nproc)" --target abm QMBRC
abm=build/native/bin/abm
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run() { echo "\$ abm $*"; "$abm" "$@" || echo "(exit status $?)"; echo; }

run create "$work" --in-folder --title="Summer 2026" --description="Photos of the summer" \
  --field=Caption:text --field=Keywords:list32:index=1 --field=Place:string --field=Notes:memo
run create "$work" --in-folder --title="Summer 2026" --field=Caption:text
album="$work/Summer 2026.ab3"
run info "$album"
run check "$album"
printf 'not an album at all' >"$work/notes.ab3"
run check "$work/notes.ab3"

# Records: pictures made here (gradients, as bitmaps and through cjpeg as
# JPEG files) are added to the first album with field values, then listed,
# shown, changed, deleted and brought back.
gradient() {  # bmp|ppm WIDTH HEIGHT TINT
  perl -e '
    my ($kind, $w, $h, $tint) = @ARGV;
    my ($pixels, $bgr) = ("", $kind eq "bmp");
    for my $y (0 .. $h - 1) {
      my $row = $bgr ? $h - 1 - $y : $y;
      for my $x (0 .. $w - 1) {
        my @rgb = (255 * $x / $w, $tint, 255 * $row / $h);
        $pixels .= pack("C3", $bgr ? reverse(@rgb) : @rgb);
      }
      $pixels .= "\0" x ((4 - 3 * $w % 4) % 4) if $bgr;
    }
    if ($bgr) {
      print pack("A2 V v v V", "BM", 54 + length $pixels, 0, 0, 54),
            pack("V l l v v V V l l V V", 40, $w, $h, 1, 24, 0, length $pixels, 2835, 2835, 0, 0);
    } else {
      print "P6\n$w $h\n255\n";
    }
    print $pixels;' "$@"
}
pictures="$work/pictures"
mkdir -p "$pictures/more"
gradient bmp 320 200 40 >"$pictures/dawn.bmp"
gradient ppm 640 480 200 | cjpeg -quality 85 >"$pictures/dusk.jpg"
for tint in 0 50 100 150 200 250; do
  gradient bmp 90 60 "$tint" >"$pictures/more/$(printf "tile%03d.bmp" "$tint")"
done
printf 'not a picture' >"$pictures/broken.jpg"
summer="$work/Summer 2026.ab3"
run add "$summer" "$pictures" --field=Caption="Summer evening" --field=Keywords=0,2 \
  --field=Place="Lake shore"
run add "$summer" "$pictures/more" --compression=zlib
run list "$summer" --fields=Caption,Keywords,Place
run show "$summer" 1
run set "$summer" 1 Caption "Dusk at the lake"
run delete "$summer" 2
run list "$summer" --fields=Caption --deleted
run undelete "$summer" 2
run show "$summer" 1

# Pictures: where record 1's picture is, its path kept relative to the
# album's folder, and the thumbnails written out as PNG files.
run path "$summer" 1
run relink "$summer"
run path "$summer" 1
run thumbs "$summer" "$work/thumbs"
ls "$work/thumbs"
