#!/bin/bash
# Drives the generated bash completion as bash would and compares what it
# offers with the command names each library and operation accepts.
set -u
export LC_ALL=C
source "$1"
failures=0

# complete WORDS...: the offers for the last word of the line.
complete_line() {
    COMP_WORDS=(lqcl "$@")
    COMP_CWORD=$(($# ))
    COMPREPLY=()
    _lqcl
    printf '%s\n' "${COMPREPLY[@]}" | sort -u | tr '\n' ' ' | sed 's/ $//'
}

expect() {
    local want=$1; shift
    local got
    got=$(complete_line "$@")
    if [ "$got" != "$want" ]; then
        echo "FAIL: lqcl $* <TAB>: got [$got], want [$want]"
        failures=$((failures + 1))
    fi
}

expect "array arrayspare logicaldrives lun mapsnapshot oda snapshot vcopy" -F -c -z ""
expect "reset" -C -s -z re
expect "clearstats configwwn controllerlun datarate drivefirmware firmware prefsconfig reset shutdown synctime" -s -C -z ""
expect "array arrayspare logicaldrives lun oda snapshot" -F -d -z ""
expect "apmspin apmtest faildrive locate" -D -s -z ""
expect "advanceperformance apmlevel1 apmlevel2 whoami" -S -z ""
# The first library of the fixed order wins, wherever it stands.
expect "prodtype" -F -C -z pro
expect "locate" -E -n -s -z ""
expect "device" -E -n -z ""
expect "-C -D -E -F -H -N -O -S -h -v" ""
expect "-a -c -d -g -n -o -s -z" -F ""

if [ $failures -ne 0 ]; then echo "$failures completion case(s) failed"; exit 1; fi
echo "completion: all cases passed"
