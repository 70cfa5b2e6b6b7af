#!/bin/sh
# A cut that takes its time: writes the start of the clip (the last argument), reports progress
# and works until a key arrives on its standard input, then gives up as ffmpeg does on "q".
for last; do :; done
printf 'partial clip' > "$last"
printf 'frame=10 fps=0.0 q=-1.0 size=1kB time=00:00:01.00 bitrate=1.0kbits/s speed=1x \r'
head -c 1 >/dev/null
exit 255
