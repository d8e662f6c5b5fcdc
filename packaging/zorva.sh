#!/bin/sh
# Starts ZORVA. The game keeps its sound effect, 効果音.wav, in its own
# folder and looks for it next to its executable, so the program lives with
# it in lib/zorva; this launcher only hands over to it.
here=$(dirname "$(readlink -f "$0")")
exec "$here/../lib/zorva/zorva" "$@"
