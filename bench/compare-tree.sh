#!/usr/bin/env bash
# Times projport-cli over a generated tree of 2,000 projects, side by side in
# one hyperfine run, warm cache:
#   cat          every project read once (find | xargs cat)
#   floor-read   tree_floor --read-only: the walk, open, fstat, read, close
#   check        projport-cli 2019 --check (exit code 1: it would retarget)
#   rewrite      projport-cli 2019 on a fresh copy of the tree
#   floor        tree_floor on a fresh copy: the walk, and for every project
#                open, fstat, read, a new file written beside it, fchmod,
#                lstat, rename over the project, close
#   sed          bench/sed-tree.sh (sed -i) on a fresh copy
# and prints the ratios against their goals. Each fresh copy is synced
# before it is timed. Before timing, it checks that the floor leaves the tree
# as it was and that sed's result is projport-cli's byte for byte.
# TMPDIR chooses the file system the trees are made on (a new file per
# replaced project costs what that file system makes it cost).
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

# sed against projport-cli, byte for byte.
cp -a "$tree" "$work/cli"
cp -a "$tree" "$work/sed"
status=0
"$cli" 2019 "$work/cli" > "$work/cli.out" || status=$?
[ "$status" = 0 ] || { echo "projport-cli 2019 failed ($status)" >&2; tail -1 "$work/cli.out" >&2; exit 1; }
status=0
"$cli" 2019 --check "$tree" > /dev/null || status=$?
[ "$status" = 1 ] || { echo "projport-cli 2019 --check exited with $status, not 1" >&2; exit 1; }
"$sed_tree" "$work/sed"
if ! diff -rq "$work/cli" "$work/sed" > "$work/differ"; then
  echo "sed and projport-cli differ:" >&2
  head -20 "$work/differ" >&2
  exit 1
fi
echo "projport-cli: $(tail -1 "$work/cli.out")"
echo "sed gives projport-cli's bytes on every project"
rm -rf "$work/floor" "$work/cli" "$work/sed"

# The copy's own writing is done before the timing starts: a rewrite that
# replaces files would otherwise pay for the copy's data on its way to disk.
fresh="rm -rf $copy && cp -a $tree $copy && sync"
hyperfine -i --warmup 2 --runs "$runs" --export-csv "$work/times.csv" \
  -n cat -p true "find $tree -name '*.vcxproj' -print0 | xargs -0 cat > /dev/null" \
  -n floor-read -p true "$floor --read-only $tree" \
  -n check -p true "$cli 2019 --check $tree > /dev/null" \
  -n rewrite -p "$fresh" "$cli 2019 $copy > /dev/null" \
  -n floor -p "$fresh" "$floor $copy" \
  -n sed -p "$fresh" "$sed_tree $copy"

# Columns: command,mean,stddev,median,user,system,min,max (seconds).
awk -F, '
  NR > 1 { median[$1] = $4 }
  function line(what, a, b, goal, at_most) {
    r = median[a] / median[b]
    ok = at_most ? r <= goal : r >= goal
    printf "%-28s %8.1f ms / %8.1f ms = %5.2f   goal %s %.1f: %s\n", what, median[a] * 1000, median[b] * 1000, r,
      at_most ? "<=" : ">=", goal, ok ? "met" : "missed"
  }
  END {
    print ""
    print "medians and ratios"
    line("check / cat", "check", "cat", 1.5, 1)
    line("rewrite / floor", "rewrite", "floor", 1.5, 1)
    line("sed / rewrite", "sed", "rewrite", 5, 0)
    line("(check / floor-read)", "check", "floor-read", 1.5, 1)
  }' "$work/times.csv"
