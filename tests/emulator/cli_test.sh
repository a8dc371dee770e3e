#!/bin/sh
# kv7946-emu on the command line: images, info, set, export, errors.
set -u
EMU=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_error() { # message-fragment command...
    fragment=$1; shift
    if "$@" >"$dir/out" 2>"$dir/err"; then fail "succeeded: $*"; return; fi
    grep -q -- "$fragment" "$dir/err" || fail "no \"$fragment\" from: $* ($(cat "$dir/err"))"
}
has() { grep -qx -- "$1" "$dir/info" || fail "info lacks \"$1\": $(cat "$dir/info")"; }

# A 64-zone device: small file, its geometry and name in the info.
"$EMU" create "$dir/big.img" --zones 64 --units 8 --name "Big Disk" || fail "create"
size=$(stat -c %s "$dir/big.img")
[ "$size" -lt 1048576 ] || fail "64-zone image takes $size bytes"
"$EMU" info "$dir/big.img" >"$dir/info" || fail "info"
has "geometry: 8 units, 64 zones, 8 zones per unit"
has "name: Big Disk"
has "division point: 64000"
has "unit table: 8001 8001 8001 8001 8001 8001 8001 8001"
has "password: none"
has "write protect: off"

# Nothing is overwritten without --force; bad input is refused.
expect_error "exists" "$EMU" create "$dir/big.img" --zones 1 --units 1 --name x
"$EMU" info "$dir/big.img" >"$dir/info" && has "geometry: 8 units, 64 zones, 8 zones per unit"
"$EMU" create "$dir/big.img" --zones 2 --units 1 --name Small --force || fail "create --force"
expect_error "multiple" "$EMU" create "$dir/g.img" --zones 3 --units 2 --name x
expect_error "--zones must be" "$EMU" create "$dir/g.img" --zones 65 --units 1 --name x
expect_error "--units must be" "$EMU" create "$dir/g.img" --zones 4 --units 0 --name x
expect_error "needed" "$EMU" create "$dir/g.img" --zones 4 --units 1
expect_error "at most 8" "$EMU" create "$dir/g.img" --zones 1 --units 1 --name x --password 123456789
[ -e "$dir/g.img" ] && fail "a refused create left a file"
expect_error "No such file" "$EMU" info "$dir/none.img"
echo garbage >"$dir/bad.img"
expect_error "not a device image" "$EMU" info "$dir/bad.img"
expect_error "unknown option" "$EMU" info "$dir/big.img" --bogus
expect_error "unknown command" "$EMU" frobnicate

# create options and set-ups show in the info.
"$EMU" create "$dir/d.img" --zones 4 --units 2 --name "Dev" --password abc --write-protect --division 1500 \
    || fail "create with options"
"$EMU" info "$dir/d.img" >"$dir/info" || fail "info d"
has "password: set"
has "write protect: on"
has "standard disk: 1500 blocks"
has "security disk: 2500 blocks"
"$EMU" set "$dir/d.img" --write-protect off --name "Renamed" --boot-flag 0 --spare 2001=1600 || fail "set"
"$EMU" info "$dir/d.img" >"$dir/info"
has "write protect: off"
has "name: Renamed"
has "boot layout flag: 0"
"$EMU" set "$dir/d.img" --corrupt-password && "$EMU" info "$dir/d.img" >"$dir/info" && has "password: record corrupted"
"$EMU" set "$dir/d.img" --break-password-format && "$EMU" info "$dir/d.img" >"$dir/info" && has "password: record format error"
"$EMU" set "$dir/d.img" --clear-password && "$EMU" info "$dir/d.img" >"$dir/info" && has "password: none"
expect_error "must be on or off" "$EMU" set "$dir/d.img" --write-protect maybe
expect_error "--division must be" "$EMU" set "$dir/d.img" --division 4001
expect_error "nothing to set" "$EMU" set "$dir/d.img"

# export: sizes per disk, no overwrite, bad disk names.
"$EMU" export "$dir/d.img" --disk standard "$dir/std.raw" || fail "export standard"
[ "$(stat -c %s "$dir/std.raw")" -eq $((1500 * 32 * 512)) ] || fail "standard disk size"
"$EMU" export "$dir/d.img" --disk security "$dir/sec.raw" || fail "export security"
[ "$(stat -c %s "$dir/sec.raw")" -eq $((2500 * 32 * 512)) ] || fail "security disk size"
"$EMU" export "$dir/d.img" --disk whole "$dir/all.raw" || fail "export whole"
[ "$(stat -c %s "$dir/all.raw")" -eq $((4000 * 32 * 512)) ] || fail "whole size"
expect_error "exists" "$EMU" export "$dir/d.img" --disk whole "$dir/all.raw"
"$EMU" export "$dir/d.img" --disk whole "$dir/all.raw" --force || fail "export --force"
expect_error "must be standard" "$EMU" export "$dir/d.img" --disk other "$dir/x.raw"
"$EMU" set "$dir/d.img" --division 4000 || fail "set division"
expect_error "empty" "$EMU" export "$dir/d.img" --disk security "$dir/x.raw"

expect_error "mkfs" "$EMU" mkfs

[ "$failures" -eq 0 ] && echo "all passed"
exit "$failures"
