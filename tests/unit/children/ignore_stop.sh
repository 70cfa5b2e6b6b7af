#!/bin/sh
# Never reads its standard input and ignores the polite signals; writes its process id into $1.
trap '' HUP INT TERM
echo $$ > "$1"
while :; do
  sleep 0.1
done
