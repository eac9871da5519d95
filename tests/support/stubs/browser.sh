#!/bin/bash
# Stands in for the desktop's web browser in tests: Wine hands it the address of a help page,
# file:///<folder>/html/<page>. It appends the address to <folder>/browser.log and ends.
path=${1#file://}
path=$(printf '%b' "${path//%/\\x}")
printf '%s\n' "$1" >>"$(dirname "$(dirname "$path")")/browser.log"
