#!/bin/sh
# Usage: check_manpages.sh PROGRAM PAGE [PROGRAM PAGE ...]
# Every option a program's --help lists is described in its manual page, and the page renders
# without a groff warning, the way lintian renders it.
set -eu
status=0
while [ $# -ge 2 ]; do
    program=$1 page=$2
    shift 2
    help=$("$program" --help) || { echo "$program --help failed"; exit 1; }
    # Options stand at the start of a help line, after two blanks: "  -v, --version".
    options=$(printf '%s\n' "$help" | grep -oE '^  (-[[:alpha:]], )?--[[:alnum:]-]+' |
              grep -oE -- '--[[:alnum:]-]+')
    if [ -z "$options" ]; then
        echo "$program --help lists no options"
        status=1
    fi
    for option in $options; do
        # roff writes each hyphen of an option as \-
        written=$(printf '%s' "$option" | sed 's/-/\\-/g')
        if ! grep -qF -- "$written" "$page"; then
            echo "$page does not describe $option of $program"
            status=1
        fi
    done
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
               man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
    if [ -n "$warnings" ]; then
        printf '%s:\n%s\n' "$page" "$warnings"
        status=1
    fi
done
exit $status
