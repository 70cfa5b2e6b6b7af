#!/bin/sh
# Writes each argument after the first, in brackets, one per line, into the file $1.
out=$1
shift
for arg in "$@"; do
  printf '[%s]\n' "$arg"
done > "$out"
