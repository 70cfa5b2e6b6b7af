#!/bin/bash
# Like a video encoder that holds back pictures: the media time it reports trails the wall clock
# since its start by $2 milliseconds (default 1500). On a key from standard input it writes the
# wall-clock time of that moment (milliseconds since the epoch) and its process id into the file
# $1 and exits, or, given a third argument, goes on as if it had not heard.
lag=${2:-1500}
start=$(date +%s%3N)
while :; do
  media=$(($(date +%s%3N) - start - lag))
  [ "$media" -lt 0 ] && media=0
  printf 'frame=1 fps=25 time=%02d:%02d:%02d.%02d bitrate=1.0kbits/s \r' \
    $((media / 3600000)) $((media / 60000 % 60)) $((media / 1000 % 60)) $((media % 1000 / 10))
  if read -r -t 0.2 -n 1 _; then
    echo "$(date +%s%3N) $$" >"$1"
    [ -n "$3" ] && exec sleep 60
    exit 0
  fi
done
