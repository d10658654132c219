#!/usr/bin/env bash
# Checks that the test suite catches faults a careless change could bring.
#
# Each line of tools/mutants.txt is one fault: a name, a file, a piece of text
# that must stand exactly once in that file, and what to put in its place.
# The script copies the working tree to a scratch folder, builds it and runs
# the suite once as it is (it must pass), then for each fault in turn puts the
# fault in, builds, runs the suite and puts the file back. A fault that still
# builds and passes every test is a hole in the suite: the script ends with a
# non-zero status and names it.
#
#   tools/mutants.sh [NAME...]      only the faults named
#   SCRATCH=/tmp/x tools/mutants.sh keep the scratch copy there (reused: faster)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
list="$root/tools/mutants.txt"
scratch=${SCRATCH:-/tmp/sequanel-mutants}
build="$scratch/build"
mkdir -p "$scratch/src"

# A fresh copy of the files git knows, as they stand in the working tree.
(cd "$root" && git ls-files -z --cached --others --exclude-standard \
   | tar --null -T - -cf - | tar -xf - -C "$scratch/src")

launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$scratch/src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" > /dev/null

build_and_test() {
  cmake --build "$build" -j"$(nproc)" > "$scratch/build.log" 2>&1 || { echo "build"; return 1; }
  if (cd "$build" && ctest -j"$(nproc)" --stop-on-failure > "$scratch/ctest.log" 2>&1); then
    echo "nothing"
    return 0
  fi
  # The tests that failed, as ctest lists them at the end.
  sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) .*/\1/p' "$scratch/ctest.log" | sort -u | paste -sd, -
  return 1
}

echo "Suite as it is..."
if caught=$(build_and_test); then :; else
  echo "The suite fails without any fault ($caught); see $scratch/ctest.log" >&2
  exit 2
fi

# Replaces the one place of `from` in a file by `to`; fails when it stands
# elsewhere too or nowhere (the fault no longer fits the code: update the list).
apply() {
  python3 - "$1" "$2" "$3" <<'PY'
import sys
path, old, new = sys.argv[1], sys.argv[2].replace('\\n', '\n'), sys.argv[3].replace('\\n', '\n')
text = open(path, encoding='utf-8').read()
n = text.count(old)
if n != 1:
    sys.exit(f"{path}: the text stands {n} times")
open(path, 'w', encoding='utf-8').write(text.replace(old, new))
PY
}

missed=()
printf '\n| fault | caught by |\n|---|---|\n'
while IFS='|' read -r name file from to; do
  [[ -z "$name" || "$name" == \#* ]] && continue
  if [ $# -gt 0 ] && [[ " $* " != *" $name "* ]]; then continue; fi
  target="$scratch/src/$file"
  cp "$target" "$target.orig"
  if ! apply "$target" "$from" "$to"; then
    mv "$target.orig" "$target"
    printf '| %s | (does not fit the code) |\n' "$name"
    missed+=("$name")
    continue
  fi
  if caught=$(build_and_test); then
    missed+=("$name")
  fi
  mv "$target.orig" "$target"
  touch "$target"
  printf '| %s | %s |\n' "$name" "$caught"
done < "$list"

# Leave the scratch build as the unchanged tree.
cmake --build "$build" -j"$(nproc)" > /dev/null 2>&1 || true
if [ ${#missed[@]} -gt 0 ]; then
  echo
  echo "Not caught: ${missed[*]}"
  exit 1
fi
echo
echo "Every fault was caught."
