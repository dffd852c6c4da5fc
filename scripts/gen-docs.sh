#!/bin/sh
# Generates the lqcl man page and the bash completion from the command table
# docs/man/commands.tsv. Usage: gen-docs.sh SOURCE_DIR OUT_DIR VERSION
set -eu
src=$1; out=$2; version=$3
table="$src/docs/man/commands.tsv"
mkdir -p "$out"

# Man page: one subsection per library, one tagged paragraph per command.
awk -F '\t' -v version="$version" -v date="$(date -u -d "@${SOURCE_DATE_EPOCH:-$(stat -c %Y "$table")}" +%Y-%m-%d)" '
    function esc(s) { gsub(/\\/, "\\\\", s); gsub(/-/, "\\-", s); return s }
    BEGIN {
        lib["C"] = "Controller library (\\-C)"; lib["D"] = "Device library (\\-D)"
        lib["O"] = "Device port library (\\-O)"; lib["S"] = "System manager library (\\-S)"
        lib["E"] = "Enclosure library (\\-E)"; lib["F"] = "Configuration library (\\-F)"
        opn["g"] = "\\-g"; opn["c"] = "\\-c"; opn["d"] = "\\-d"; opn["s"] = "\\-s"; opn["n"] = "\\-n"
    }
    FNR == NR { if ($0 !~ /^#/ && NF == 5) rows[++n] = $0; next }
    /@COMMANDS@/ {
        for (i = 1; i <= n; i++) {
            split(rows[i], f, "\t")
            if (f[1] != last) { print ".SS " lib[f[1]]; last = f[1] }
            name = f[3] == "-" ? "(any name)" : "\\-z " f[3]
            print ".TP"
            print ".B " opn[f[2]] " " name
            print (f[4] == "-" ? "" : esc(f[4]) ": ") esc(f[5]) "."
        }
        next
    }
    { gsub(/@VERSION@/, version); gsub(/@DATE@/, date); print }
' "$table" "$src/docs/man/lqcl.1.in" > "$out/lqcl.1"
cp "$src/docs/man/tolvo-sim.1" "$out/tolvo-sim.1"

# Completion: the table becomes a list of "library op name" words.
{
    echo "# bash completion for lqcl, generated from its command table"
    printf '_lqcl_table="'
    awk -F '\t' '$0 !~ /^#/ && NF == 5 && $3 != "-" { printf "%s%s:%s", sep, $1 $2, $3; sep = " " }' "$table"
    echo '"'
    cat "$src/docs/completion/lqcl.bash.in"
} > "$out/lqcl.bash"
