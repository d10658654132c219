#!/usr/bin/env bash
# Checks that the test suite catches faults a careless change could bring.
#
# Each line of tools/mutants.txt is one fault: a name, a file, a piece of text
# that must stand exactly once in that file, and what to put in its place
# (\n a line break, \| and \\ a bar and a backslash). tools/mutate puts each
# fault in turn into a scratch copy of the tree, builds it and runs the tests
# of the fault's folder, then the others, up to the first failure. A fault
# that still builds and passes every test is a hole in the suite: the script
# ends with a non-zero status and names it.
#
#   tools/mutants.sh [NAME...]      only the faults named
#   SCRATCH=/tmp/x tools/mutants.sh keep the scratch copy there (reused: faster)
exec "$(dirname "$0")/mutate" --listed "$@"
