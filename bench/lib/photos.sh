# Photo-like twelve-megapixel JPEGs for the upload benchmarks; sourced, never
# run. Needs ImageMagick (/usr/bin/convert) and photoprep_bench.

# bench_photos DIR COUNT ORIENT_TOOL : makes COUNT photos in DIR unless a
# finished set is there, then sets `files` (sorted paths) and `source_bytes`.
# Smooth colour fields with sensor grain, 4000 x 3000, 4:2:0, 3 to 6 MB each,
# half of them turned (EXIF orientations 6, 8 and 3).
bench_photos() {
  local dir=$1 count=$2 orient=$3 i
  if [ ! -s "$dir/done" ]; then
    echo "making $count photos of 4000 x 3000 pixels in $dir (once)" >&2
    rm -rf "$dir" && mkdir -p "$dir"
    for i in $(seq 1 "$count"); do
      bench_make_photo "$dir" "$i" "$orient" &
      if (( i % 2 == 0 )); then wait; fi # two at a time, one per core
    done
    wait
    echo done > "$dir/done"
  fi
  mapfile -t files < <(find "$dir" -name 'IMG_*.jpg' | sort)
  [ "${#files[@]}" -eq "$count" ] || { echo "expected $count photos in $dir" >&2; return 1; }
  source_bytes=$(cat "${files[@]}" | wc -c)
}

# ImageMagick's own binary: it takes the format from the name, so the .part
# file names it.
bench_make_photo() { # dir number orient_tool
  local dir=$1 i=$2 orient=$3 name grain orientations=(1 6 1 8 1 3)
  name=$(printf '%s/IMG_%04d.jpg' "$dir" "$i")
  grain=$(awk -v i="$i" 'BEGIN {printf "%.2f", 0.35 + (i * 37 % 41) / 100}') # 0.35 to 0.75
  /usr/bin/convert -seed "$i" -size 1000x750 plasma:fractal -blur 0x2 -resize '4000x3000!' \
    -attenuate "$grain" +noise Gaussian -quality 92 -sampling-factor 2x2 "jpg:$name.part"
  "$orient" orient "$name.part" "$name" "${orientations[$((i % ${#orientations[@]}))]}"
  rm -f "$name.part"
}
