#!/bin/sh
# Writes its console output the way ffmpeg does: a banner, then one status line rewritten with
# carriage returns. Pauses keep each status line in a chunk of its own. Exits with $1 (default 0).
printf 'ffmpeg version 5.1 Copyright (c) 2000-2022\nInput #0, x11grab, from :0:\n'
sleep 0.4
printf 'frame=    1 fps=0.0 q=0.0 size=       0kB time=N/A bitrate=N/A speed=N/A    \r'
sleep 0.4
for second in 01 02 03; do
  printf 'frame=   %s fps= 25 q=28.0 size=     256kB time=00:00:%s.00 bitrate= 524.3kbits/s speed=1.0x    \r' \
    "$second" "$second"
  sleep 0.4
done
exit "${1:-0}"
