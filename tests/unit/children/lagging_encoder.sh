#!/bin/bash
# Like a video encoder that holds back 1.5 s of pictures: the media time it reports trails the
# wall clock since its start by 1.5 s. On a key from standard input it writes how many
# milliseconds after its start the key came into the file $1 and exits.
start=$(date +%s%3N)
while :; do
  media=$(($(date +%s%3N) - start - 1500))
  [ "$media" -lt 0 ] && media=0
  printf 'frame=1 fps=25 time=00:00:%02d.%02d bitrate=1.0kbits/s \r' $((media / 1000)) $((media % 1000 / 10))
  if read -r -t 0.2 -n 1 _; then
    echo $(($(date +%s%3N) - start)) >"$1"
    exit 0
  fi
done
