#!/usr/bin/env bash
# The demo pattern files: the generator writes exactly the committed files,
# and velmor-render loads and plays each of them (a whole pass, not silent).
#
# usage: demos_test.sh PATH/TO/velmor-make-demos PATH/TO/velmor-render DEMO-FOLDER
set -u

make_demos="$1" render="$2" demos="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

failed=0
fail() {
    failed=$((failed + 1))
    echo "FAILED: $*"
}

mkdir "$work/made"
"$make_demos" "$work/made" >/dev/null || fail "velmor-make-demos failed"
committed="$(cd "$demos" && ls)"
made="$(cd "$work/made" && ls)"
[ "$committed" = "$made" ] || fail "the generator writes other files than demos/ holds: $(echo $made) / $(echo $committed)"
for file in $made; do
    cmp -s "$work/made/$file" "$demos/$file" || fail "$file differs from the generator's"
done

count=0
for demo in "$demos"/*.pat; do
    name="$(basename "$demo")"
    if ! "$render" "$demo" -o "$work/pass.raw" 2>"$work/stderr"; then
        fail "$name does not render: $(cat "$work/stderr")"
        continue
    fi
    bytes="$(wc -c <"$work/pass.raw" | tr -d ' ')"
    # At least one pattern at the fastest tempo (16 steps of 3675 frames).
    if [ "$bytes" -lt $((4 * (16 * 3675 - 1))) ] || [ $((bytes % 4)) -ne 0 ]; then
        fail "$name renders $bytes bytes"
    elif cmp -s -n "$bytes" "$work/pass.raw" /dev/zero; then
        fail "$name renders silence"
    fi
    count=$((count + 1))
done
[ "$count" -ge 6 ] || fail "only $count demo files"

[ "$failed" -eq 0 ] && echo "demo files: $count made byte for byte and rendered"
[ "$failed" -eq 0 ]
