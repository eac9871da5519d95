#!/bin/sh
# Stands in for the desktop's web browser in tests: Wine hands it the address of the page to show.
# It appends the address to the file named by TORVANE_BROWSER_LOG and ends.
printf '%s\n' "$*" >>"${TORVANE_BROWSER_LOG:?}"
