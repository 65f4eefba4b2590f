#!/usr/bin/env bash
# Times projport-cli over a generated tree of 2,000 projects, side by side in
# one hyperfine run, warm cache:
#   cat          every project read once (find | xargs cat)
#   floor-read   tree_floor --read-only: the walk, open, fstat, read, close
#   check        projport-cli 2019 --check (exit code 1: it would retarget),
#                with as many jobs as it takes by default
#   check-j1     the same with --jobs 1
#   rewrite      projport-cli 2019 on a fresh copy of the tree (default jobs)
#   rewrite-jN   the same with --jobs N, for N of 1, 2, 4 and 8
#   xargs-P4     four projport-cli 2019 --jobs 1 at once (xargs -P4), each
#                given a quarter of the tree's top folders, on a fresh copy
#   floor        tree_floor on a fresh copy: the walk, and for every project
#                open, fstat, read, a new file written beside it, fchmod,
#                lstat, rename over the project, close (one thread)
#   floor-P2     two tree_floor at once (xargs -P2), each given half of the
#                top folders, on a fresh copy
#   sed          bench/sed-tree.sh (sed -i) on a fresh copy
# and prints the medians with their spread, then the ratios against their
# goals. Each fresh copy is synced before it is timed. Before timing, it
# checks that the floor leaves the tree as it was, that every number of jobs
# and the four processes leave the same bytes and (one process) print the
# same report as --jobs 1, and that sed's result is projport-cli's byte for
# byte.
# TMPDIR chooses the file system the trees are made on (a new file per
# replaced project costs what that file system makes it cost); the goal of
# the default rewrite against the floor depends on it (tmpfs or not).
# Usage: bench/compare-tree.sh [RUNS]      (RUNS of each command, default 10)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-10}
build=$root/build/bench

if ! command -v hyperfine > /dev/null; then
  if [ "$(id -u)" = 0 ]; then
    apt-get install -y hyperfine
  else
    echo "compare-tree.sh needs hyperfine: apt-get install hyperfine (as root)" >&2
    exit 1
  fi
fi

if [ ! -f "$build/build.ninja" ]; then
  cmake --preset bench -S "$root" > /dev/null
fi
cmake --build "$build" --target projport-cli tree_generator tree_floor -j2 > /dev/null

cli=$build/projport-cli
floor=$build/tree_floor
sed_tree=$root/bench/sed-tree.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tree=$work/tree
copy=$work/copy

"$build/tree_generator" "$tree"

# The floor writes every project back unchanged.
cp -a "$tree" "$work/floor"
"$floor" "$work/floor"
diff -r "$tree" "$work/floor" > /dev/null || { echo "tree_floor changed the tree" >&2; exit 1; }

# Every number of jobs against --jobs 1: the same bytes in every project and
# the same report, line for line (each run is made in the same folder, so the
# paths in the reports are the same).
run_cli() {  # run_cli NAME ARGS...: rewrites a fresh copy into $work/cli-NAME
  local name=$1 status=0
  shift
  cp -a "$tree" "$work/cli"
  "$cli" 2019 "$@" "$work/cli" > "$work/cli-$name.out" || status=$?
  [ "$status" = 0 ] || { echo "projport-cli 2019 $* failed ($status)" >&2; tail -1 "$work/cli-$name.out" >&2; exit 1; }
  mv "$work/cli" "$work/cli-$name"
}
same_as_j1() {  # same_as_j1 NAME WHAT
  if ! diff -rq "$work/cli-j1" "$work/cli-$1" > "$work/differ"; then
    echo "$2 and --jobs 1 leave different projects:" >&2
    head -20 "$work/differ" >&2
    exit 1
  fi
}
run_cli j1 --jobs 1
for jobs in default 2 4 8; do
  if [ "$jobs" = default ]; then
    name=default what="the default number of jobs"
    run_cli default
  else
    name=j$jobs what="--jobs $jobs"
    run_cli "$name" --jobs "$jobs"
  fi
  same_as_j1 "$name" "$what"
  cmp -s "$work/cli-j1.out" "$work/cli-$name.out" || { echo "$what and --jobs 1 print different reports" >&2; exit 1; }
  rm -rf "$work/cli-$name"
done

# Four processes at once, each given a quarter of the top folders (the
# reports interleave, so only the projects are compared).
tops=$(find "$tree" -mindepth 1 -maxdepth 1 | wc -l)
quarter=$(( (tops + 3) / 4 ))
half=$(( (tops + 1) / 2 ))
cp -a "$tree" "$work/cli-xargs"
status=0
find "$work/cli-xargs" -mindepth 1 -maxdepth 1 -print0 | sort -z |
  xargs -0 -P4 -n "$quarter" "$cli" 2019 --jobs 1 > /dev/null || status=$?
[ "$status" = 0 ] || { echo "xargs -P4 projport-cli 2019 --jobs 1 failed ($status)" >&2; exit 1; }
same_as_j1 xargs "four processes (xargs -P4)"
rm -rf "$work/cli-xargs"

for jobs in default 1; do
  status=0
  if [ "$jobs" = default ]; then
    "$cli" 2019 --check "$tree" > "$work/check-$jobs.out" || status=$?
  else
    "$cli" 2019 --check --jobs "$jobs" "$tree" > "$work/check-$jobs.out" || status=$?
  fi
  [ "$status" = 1 ] || { echo "projport-cli 2019 --check ($jobs jobs) exited with $status, not 1" >&2; exit 1; }
done
cmp -s "$work/check-default.out" "$work/check-1.out" || { echo "--check prints another report with --jobs 1" >&2; exit 1; }

# sed against projport-cli, byte for byte.
cp -a "$tree" "$work/sed"
"$sed_tree" "$work/sed"
if ! diff -rq "$work/cli-j1" "$work/sed" > "$work/differ"; then
  echo "sed and projport-cli differ:" >&2
  head -20 "$work/differ" >&2
  exit 1
fi
fs=$(df --output=fstype "$work" | tail -1 | tr -d " ")
echo "projport-cli: $(tail -1 "$work/cli-j1.out")"
echo "every number of jobs, and four processes, leave --jobs 1's bytes; one process prints its report"
echo "sed gives projport-cli's bytes on every project"
echo "file system of $work: $fs; $(nproc) processors"
rm -rf "$work/floor" "$work/cli-j1" "$work/sed"

# On ext4 a new file's inode skips the inodes freed in the last minute
# (recently_deleted, on a file system without a journal as here): the checks
# above freed many, and would make the first timed rewrite pay for them.
if [ "$fs" != tmpfs ]; then
  sync
  sleep 61
fi

# The copy's own writing is done before the timing starts: a rewrite that
# replaces files would otherwise pay for the copy's data on its way to disk.
fresh="rm -rf $copy && cp -a $tree $copy && sync"
tops_of_copy="find $copy -mindepth 1 -maxdepth 1 -print0 | sort -z"
hyperfine -i --warmup 2 --runs "$runs" --export-csv "$work/times.csv" \
  -n cat -p true "find $tree -name '*.vcxproj' -print0 | xargs -0 cat > /dev/null" \
  -n floor-read -p true "$floor --read-only $tree" \
  -n check -p true "$cli 2019 --check $tree > /dev/null" \
  -n check-j1 -p true "$cli 2019 --check --jobs 1 $tree > /dev/null" \
  -n rewrite -p "$fresh" "$cli 2019 $copy > /dev/null" \
  -n rewrite-j1 -p "$fresh" "$cli 2019 --jobs 1 $copy > /dev/null" \
  -n rewrite-j2 -p "$fresh" "$cli 2019 --jobs 2 $copy > /dev/null" \
  -n rewrite-j4 -p "$fresh" "$cli 2019 --jobs 4 $copy > /dev/null" \
  -n rewrite-j8 -p "$fresh" "$cli 2019 --jobs 8 $copy > /dev/null" \
  -n xargs-P4 -p "$fresh" "$tops_of_copy | xargs -0 -P4 -n $quarter $cli 2019 --jobs 1 > /dev/null" \
  -n floor -p "$fresh" "$floor $copy" \
  -n floor-P2 -p "$fresh" "$tops_of_copy | xargs -0 -P2 -n $half $floor" \
  -n sed -p "$fresh" "$sed_tree $copy"

# Columns: command,mean,stddev,median,user,system,min,max (seconds).
awk -F, -v fs="$fs" '
  NR > 1 { order[++n] = $1; mean[$1] = $2; sd[$1] = $3; median[$1] = $4; user[$1] = $5; sys[$1] = $6; lo[$1] = $7; hi[$1] = $8 }
  function line(what, a, b, goal, at_most) {
    r = median[a] / median[b]
    ok = at_most ? r <= goal : r >= goal
    printf "%-34s %8.1f ms / %8.1f ms = %5.2f   goal %s %.2g: %s\n", what, median[a] * 1000, median[b] * 1000, r,
      at_most ? "<=" : ">=", goal, ok ? "met" : "missed"
  }
  function note(what, a, b) {
    printf "%-34s %8.1f ms / %8.1f ms = %5.2f\n", what, median[a] * 1000, median[b] * 1000, median[a] / median[b]
  }
  END {
    print ""
    printf "%-12s %10s %10s %10s %10s %10s %10s\n", "command", "median ms", "mean ms", "+- ms", "min ms", "max ms", "user+sys"
    for (i = 1; i <= n; ++i) {
      c = order[i]
      printf "%-12s %10.1f %10.1f %10.1f %10.1f %10.1f %10.1f\n", c, median[c] * 1000, mean[c] * 1000, sd[c] * 1000,
        lo[c] * 1000, hi[c] * 1000, (user[c] + sys[c]) * 1000
    }
    print ""
    print "medians and ratios"
    line("check / cat", "check", "cat", 1.5, 1)
    line("rewrite / floor", "rewrite", "floor", 1.5, 1)
    line("sed / rewrite", "sed", "rewrite", 5, 0)
    line("(check / floor-read)", "check", "floor-read", 1.5, 1)
    if (fs == "tmpfs")
      line("rewrite / floor (tmpfs)", "rewrite", "floor", 0.85, 1)
    else
      line("rewrite / floor (" fs ")", "rewrite", "floor", 0.5, 1)
    line("check / cat (default jobs)", "check", "cat", 0.5, 1)
    line("rewrite-j1 / floor", "rewrite-j1", "floor", 1.1, 1)
    print ""
    print "for reference"
    note("check-j1 / cat", "check-j1", "cat")
    note("check / check-j1", "check", "check-j1")
    note("rewrite-j2 / floor", "rewrite-j2", "floor")
    note("rewrite-j4 / floor", "rewrite-j4", "floor")
    note("rewrite-j8 / floor", "rewrite-j8", "floor")
    note("rewrite / rewrite-j1", "rewrite", "rewrite-j1")
    note("xargs-P4 / floor", "xargs-P4", "floor")
    note("rewrite / xargs-P4", "rewrite", "xargs-P4")
    note("floor-P2 / floor", "floor-P2", "floor")
    note("rewrite / floor-P2", "rewrite", "floor-P2")
  }' "$work/times.csv"
