#!/usr/bin/env bash
# Puts a measurement's output into a page of docs/ as it is printed:
#   bench/measure_program.sh build | bench/doc_block.sh docs/performance.md program
# copies standard input to standard output and, once it has ended, replaces the text between the
# page's lines "<!-- NAME -->" and "<!-- /NAME -->" with it, as a code block headed by the date.
# The page is left as it was when the input is empty or the markers are missing.
set -euo pipefail
page="$1" name="$2"
out="$(mktemp)"
trap 'rm -f "$out"' EXIT
tee "$out"
[ -s "$out" ] || { echo "doc_block: no output to put into $page" >&2; exit 1; }
grep -qx "<!-- $name -->" "$page" && grep -qx "<!-- /$name -->" "$page" ||
  { echo "doc_block: $page has no <!-- $name --> block" >&2; exit 1; }
new="$(mktemp)"
trap 'rm -f "$out" "$new"' EXIT
awk -v name="$name" -v body="$out" -v day="$(date -u +%Y-%m-%d)" '
  $0 == "<!-- " name " -->" {
    print; print "Measured " day ":"; print ""; print "```"
    while ((getline line < body) > 0) print line
    print "```"; skip = 1; next
  }
  $0 == "<!-- /" name " -->" { skip = 0 }
  !skip { print }
' "$page" >"$new"
cat "$new" >"$page"
