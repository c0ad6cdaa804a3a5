#!/usr/bin/env bash
# Runs the README's kelmar-convert examples as a user pastes them, in an empty
# directory: the shell blocks of its "## kelmar-convert" section, with
# `kelmar=` pointing at the kelmar-convert under test.  Every command must
# succeed, and every file or directory an `-o` names must be there, not
# empty, afterwards.  Commands that need a display (ffplay) are left out.
#   readme_examples.sh README KELMAR_CONVERT WORK_DIR
set -euo pipefail
readme=$1 convert=$2 work=$3
if ! command -v ffmpeg >/dev/null; then
  echo "SKIPPED: ffmpeg is not installed"
  exit 0
fi
rm -rf "$work"
mkdir -p "$work"

# One command per record (lines ending in | or \ continue it), separated by
# NUL bytes.
extract_commands() {
  awk '
    /^## / { section = ($0 == "## kelmar-convert") }
    section && /^```sh$/ { block = 1; next }
    block && /^```$/ { block = 0; next }
    block {
      command = command $0 "\n"
      code = $0
      sub(/[ \t]*#.*$/, "", code)
      if (code !~ /[|\\][ \t]*$/) { printf "%s%c", command, 0; command = "" }
    }' "$readme"
}

script=$work/examples.sh
{
  echo "set -euo pipefail"
  count=0
  while IFS= read -r -d '' command; do
    case $command in
      *ffplay*) continue ;;
      kelmar=*) printf 'kelmar=%q\n' "$convert"; continue ;;
    esac
    grep -q '^[[:space:]]*[^#[:space:]]' <<<"$command" || continue # comments only
    printf 'echo %q\n' "\$ ${command%$'\n'}"
    printf '%s' "$command"
    count=$((count + 1))
    # What its -o names: a file, a directory (ending in /) or numbered
    # files (%04d and the like: the first of them); - is standard output.
    if [[ $command =~ (-o|--output)[[:space:]]+([^[:space:]]+) ]]; then
      target=${BASH_REMATCH[2]}
      if [ "$target" != - ]; then
        [[ $target == *%* ]] && target=$(printf "$target" 1)
        if [[ $target == */ ]]; then
          printf '[ -n "$(ls -A %q)" ] || { echo "no files in %q" >&2; exit 1; }\n' "$target" "$target"
        else
          printf '[ -s %q ] || { echo "no %q" >&2; exit 1; }\n' "$target" "$target"
        fi
      fi
    fi
  done < <(extract_commands)
  echo "echo \"$count commands of the README ran\""
  [ "$count" -ge 5 ] || echo "echo 'the README has fewer examples than expected' >&2; exit 1"
} >"$script"

cd "$work"
if ! bash "$script" </dev/null >"$work/log" 2>&1; then
  cat "$work/log" >&2
  echo "readme_examples.sh: an example of the README failed (commands in $script)" >&2
  exit 1
fi
tail -1 "$work/log"
