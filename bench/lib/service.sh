# The development service and the peer pipeline for the upload benchmarks;
# sourced, never run. The caller sets `work` (a scratch folder), `devserver`
# (the program) and `bench_name` (for messages), and calls bench_stop_server
# from its exit trap.

server_pid=""

bench_stop_server() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  server_pid=""
}

# bench_start_server CONFIG : a fresh service (new data folder, so nothing is a
# duplicate); sets `port`. Called from the script's own shell, never from a
# command substitution, so that bench_stop_server can end it.
bench_start_server() {
  bench_stop_server
  rm -rf "$work/data" "$work/port" && mkdir -p "$work/data"
  "$devserver" --port 0 --config "$1" --data "$work/data" --quiet > "$work/port" 2>/dev/null &
  server_pid=$!
  for _ in $(seq 1 100); do [ -s "$work/port" ] && break; sleep 0.05; done
  port="$(head -n 1 "$work/port")"
  [ -n "$port" ] || { echo "$bench_name: the development service did not start" >&2; exit 1; }
}

# bench_stored_bytes WHO COUNT : the bytes the service stored, after checking
# that all COUNT files arrived.
bench_stored_bytes() {
  local count
  count=$(find "$work/data" -name fields.txt | wc -l)
  [ "$count" -eq "$2" ] || { echo "$bench_name: $1 stored $count of $2 photos" >&2; exit 1; }
  find "$work/data" -name fields.txt -exec grep -h '^size=' {} + | awk -F= '{s += $2} END {print s}'
}

# bench_peer_pipeline BOX VIPS_OPTIONS USER PASSWORD FILE... : what a user can
# do with the same tools: one vipsthumbnail call that turns and scales every
# photo into the box, then one curl process that sends them all over one
# connection (--next) to the service at `port`.
bench_peer_pipeline() {
  local box=$1 options=$2 user=$3 password=$4 f request=()
  shift 4
  rm -rf "$work/thumbs" && mkdir -p "$work/thumbs"
  for f in "$@"; do
    [ ${#request[@]} -gt 0 ] && request+=(--next)
    request+=(-s --fail -o /dev/null -F appid=glimmerly -F output=xml -F "username=$user" -F "password=$password"
      -F date=20260101 -F time=120000 -F type=photo -F "media=@$work/thumbs/$(basename "$f")"
      "http://127.0.0.1:$port/V1.0/Media.upload?method=Media.upload")
  done
  vipsthumbnail --size "${box}x$box" -o "$work/thumbs/%s.jpg$options" "$@"
  curl "${request[@]}"
}
