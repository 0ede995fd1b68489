# Shell helpers shared by the benchmark scripts; sourced, never run.

# bench_install PACKAGE... : installs the Debian packages given (the caller
# lists only those whose tools are missing).
bench_install() {
  [ $# -gt 0 ] || return 0
  local sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

# Seconds since the epoch, to the microsecond, without starting a process.
bench_now() { printf '%s\n' "$EPOCHREALTIME"; }

# The median of the numbers on standard input, one a line.
bench_median() { sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

# bench_kill_tree PID : ends a process and everything it started. The process
# is held still while its children end, so that it starts no new ones.
bench_kill_tree() {
  local pid=$1 child
  kill -STOP "$pid" 2>/dev/null || return 0
  for child in $(ps -o pid= --ppid "$pid" 2>/dev/null); do bench_kill_tree "$child"; done
  kill "$pid" 2>/dev/null || true
  kill -CONT "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

# Ends every background job of the calling shell, with what each started; for
# exit traps.
bench_end_jobs() {
  local pid
  for pid in $(jobs -p); do bench_kill_tree "$pid"; done
}
