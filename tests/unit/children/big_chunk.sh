#!/bin/sh
# Writes one chunk of about 3000 bytes in a single write (cat of a prepared file): a status line
# at its start, another at its end. Then one ordinary status line. $1 is a scratch file.
filler=$(printf '%3000s' '' | tr ' ' 'x')
printf 'frame=1 time=00:00:01.00 bitrate=1.0kbits/s\r%stime=00:00:09.00 bitrate=1.0kbits/s\r' \
  "$filler" > "$1"
cat "$1"
sleep 0.4
printf 'frame=2 time=00:00:02.00 bitrate=1.0kbits/s\r'
sleep 0.4
