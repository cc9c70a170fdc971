# shellcheck shell=bash
# The checks the kit's script tests share: sourced by replay_test.sh and
# hostile_files_test.sh, which set `status` to 0 first.

fail() {
    echo "FAIL: $1"
    status=1
}

# expect OUTPUT 'grep -E pattern' what-it-shows
expect() {
    grep -qE -- "$2" <<<"$1" || fail "$3"
}

refuse() {
    ! grep -qE -- "$2" <<<"$1" || fail "$3"
}

# Four bytes, little-endian, of a number, as printf escapes.
le32() {
    local v=$(($1 & 0xffffffff))
    printf '\\%03o\\%03o\\%03o\\%03o' $((v & 255)) $((v >> 8 & 255)) $((v >> 16 & 255)) $((v >> 24 & 255))
}

# The headers of a 32-bit BMP that claims WIDTH x HEIGHT pixels (negative:
# top-down), as printf escapes; its pixels are the caller's.
bmp_headers() {
    local width="$1" height="$2" rows="${2#-}"
    printf 'BM%s%s%s' "$(le32 $((54 + width * rows * 4)))" "$(le32 0)" "$(le32 54)"
    printf '%s%s%s' "$(le32 40)" "$(le32 "$width")" "$(le32 "$height")"
    printf '\\001\\000\\040\\000%s%s%s%s%s%s' "$(le32 0)" "$(le32 0)" "$(le32 0)" "$(le32 0)" "$(le32 0)" "$(le32 0)"
}
