#!/bin/sh
# Behaves like ffmpeg on its console: works until a key arrives on standard input, writes the
# key it got into the file $1 and exits normally.
printf 'frame=1 time=00:00:01.00 bitrate=1.0kbits/s \r'
key=$(head -c 1)
printf '%s' "$key" > "$1"
exit 0
