#!/usr/bin/env bash
# scripts/action-run, the logic of the GitHub Action: its inputs become
# projport-cli's arguments (checked on a stand-in that records them), a
# missing or wrong input stops it with a message and exit code 2, and
# projport-cli's own exit code is the step's (checked with the real program
# on a copy of samples/game).
#   action_run_test.sh <source folder> <projport-cli>
set -uo pipefail
source_dir=$1
real_cli=$2
action_run=$source_dir/scripts/action-run

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

# The stand-in: writes each argument on a line of its own in brackets, and
# exits with STAND_IN_EXIT.
stand_in=$scratch/stand-in
cat > "$stand_in" <<'SCRIPT'
#!/usr/bin/env bash
for argument in "$@"; do printf '[%s]\n' "$argument"; done > "$STAND_IN_RECORD"
exit "${STAND_IN_EXIT:-0}"
SCRIPT
chmod +x "$stand_in"
export STAND_IN_RECORD=$scratch/arguments

# run <name> <expected exit code> <expected arguments, one a line, or
# "stderr:TEXT" for a refusal whose message holds TEXT> [VAR=value ...]
run() {
  local name=$1 expected_code=$2 expected=$3
  shift 3
  rm -f "$STAND_IN_RECORD"
  env -i PATH="$PATH" PROJPORT_CLI="$stand_in" STAND_IN_RECORD="$STAND_IN_RECORD" "$@" \
    "$action_run" > "$scratch/out" 2> "$scratch/err"
  local code=$?
  [ "$code" = "$expected_code" ] || fail "$name: exit code $code, not $expected_code ($(cat "$scratch/err"))"
  case "$expected" in
    stderr:*)
      grep -qF -- "${expected#stderr:}" "$scratch/err" || fail "$name: standard error '$(cat "$scratch/err")' lacks '${expected#stderr:}'"
      [ ! -e "$STAND_IN_RECORD" ] || fail "$name: projport-cli ran although an input was wrong"
      ;;
    *)
      local got
      got=$(cat "$STAND_IN_RECORD" 2>/dev/null)
      [ "$got" = "$expected" ] || fail "$name: arguments
$got
instead of
$expected"
      ;;
  esac
}

nl=$'\n'
run "the defaults: --check and GitHub's annotations" 0 "[2026]${nl}[--check]${nl}[--annotate=github]${nl}[--]${nl}[MyGame.sln]" \
  INPUT_VERSION=2026 INPUT_PATHS=MyGame.sln INPUT_CHECK=true INPUT_ANNOTATE=github
run "every input" 0 "[2022]${nl}[--sdk]${nl}[10.0]${nl}[--annotate=azure]${nl}[--]${nl}[src]" \
  INPUT_VERSION=2022 INPUT_PATHS=src INPUT_SDK=10.0 INPUT_CHECK=false INPUT_ANNOTATE=azure
run "an unquoted sdk: 10.0, which YAML reads as 10" 0 "[2026]${nl}[--check]${nl}[--sdk]${nl}[10.0]${nl}[--annotate=github]${nl}[--]${nl}[a]" \
  INPUT_VERSION=2026 INPUT_PATHS=a INPUT_SDK=10
run "inputs left unset take the action's defaults" 0 "[2019]${nl}[--check]${nl}[--annotate=github]${nl}[--]${nl}[a.vcxproj]" \
  INPUT_VERSION=2019 INPUT_PATHS=a.vcxproj
run "a path with spaces, several paths, blank lines and CR LF line ends" 0 \
  "[2026]${nl}[--check]${nl}[--]${nl}[My Game/My Game.sln]${nl}[tools]${nl}[-odd name.vcxproj]" \
  INPUT_VERSION=" 2026 " INPUT_CHECK=TRUE INPUT_ANNOTATE=none \
  INPUT_PATHS="  My Game/My Game.sln  $nl$nl	tools"$'\r'"$nl-odd name.vcxproj$nl"
run "check false and no annotations" 0 "[2017]${nl}[--]${nl}[x.sln]" \
  INPUT_VERSION=2017 INPUT_PATHS=x.sln INPUT_CHECK=False INPUT_ANNOTATE=none
run "no version" 2 "stderr:the input 'version' is required" INPUT_PATHS=MyGame.sln
run "a blank version" 2 "stderr:the input 'version' is required" INPUT_VERSION="  " INPUT_PATHS=MyGame.sln
run "no paths" 2 "stderr:the input 'paths' is required" INPUT_VERSION=2026
run "only blank lines for paths" 2 "stderr:the input 'paths' is required" INPUT_VERSION=2026 INPUT_PATHS="$nl  $nl"
run "a wrong check" 2 "stderr:the input 'check' is true or false, not 'yes'" INPUT_VERSION=2026 INPUT_PATHS=a INPUT_CHECK=yes
run "a wrong annotate" 2 "stderr:the input 'annotate' is github, azure or none, not 'gitlab'" \
  INPUT_VERSION=2026 INPUT_PATHS=a INPUT_ANNOTATE=gitlab
run "no program" 2 "stderr:PROJPORT_CLI names no program" PROJPORT_CLI= INPUT_VERSION=2026 INPUT_PATHS=a
for code in 0 1 2 3 130; do
  run "exit code $code passed through" "$code" "[2026]${nl}[--check]${nl}[--annotate=github]${nl}[--]${nl}[a]" \
    INPUT_VERSION=2026 INPUT_PATHS=a STAND_IN_EXIT=$code
done

# The real program on a copy of the sample, in a folder whose name has a
# space: would retarget (1), retargeted (0), then checked again (0); a
# missing path fails (2).
game="$scratch/my game"
cp -R "$source_dir/samples/game" "$game"
real() {
  local name=$1 expected_code=$2
  shift 2
  (cd "$game" && env -i PATH="$PATH" PROJPORT_CLI="$real_cli" INPUT_VERSION=2026 "$@" "$action_run") \
    > "$scratch/out" 2>&1
  local code=$?
  [ "$code" = "$expected_code" ] || fail "$name: exit code $code, not $expected_code:$nl$(cat "$scratch/out")"
}
real "a sample to retarget fails the check" 1 INPUT_PATHS="MyGame.sln"
grep -q '^::error file=' "$scratch/out" || fail "the failed check wrote no annotation:$nl$(cat "$scratch/out")"
real "retargeting the sample" 0 INPUT_PATHS="MyGame.sln" INPUT_CHECK=false
real "the retargeted sample passes the check" 0 INPUT_PATHS="$nl$game/MyGame.sln$nl"
real "a missing path fails the run" 2 INPUT_PATHS="MyGame.sln${nl}Gone/Gone.vcxproj"

if [ "$failures" -ne 0 ]; then
  echo "$failures failed" >&2
  exit 1
fi
echo "action-run: every case passed"
