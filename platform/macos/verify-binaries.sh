#!/usr/bin/env bash
# Checks the linked and signed macOS binaries: deployment target, weak FoundationModels,
# hardened runtime and the Apple Events entitlement. Usage: verify-binaries.sh <build-dir>
set -euo pipefail

build=${1:?usage: verify-binaries.sh <build-dir>}
minimum=14.0
status=0

fail() {
    echo "FAIL $1: $2" >&2
    status=1
}

for binary in "$build/recorder/stepreel" "$build/helper/quillmap-helper"; do
    name=$(basename "$binary")
    if [ ! -x "$binary" ]; then
        fail "$name" "not built ($binary)"
        continue
    fi
    commands=$(otool -l "$binary")

    minos=$(awk '/LC_BUILD_VERSION/ { found = 1 } found && $1 == "minos" { print $2; exit }' <<<"$commands")
    [ "$minos" = "$minimum" ] || fail "$name" "minimum macOS is ${minos:-unknown}, expected $minimum"

    weak=$(awk '/cmd LC_LOAD_WEAK_DYLIB/ { getline; getline; print $2 }' <<<"$commands")
    strong=$(awk '/cmd LC_LOAD_DYLIB/ { getline; getline; print $2 }' <<<"$commands")
    grep -q 'FoundationModels.framework' <<<"$weak" ||
        fail "$name" "FoundationModels is not a weak dependency"
    if grep -q 'FoundationModels.framework' <<<"$strong"; then
        fail "$name" "FoundationModels is a strong dependency"
    fi
    echo "$name: strong dependencies (each must exist on macOS $minimum):"
    sed 's/^/    /' <<<"$strong"

    flags=$(codesign -d --verbose=2 "$binary" 2>&1 || true)
    grep -q 'flags=.*runtime' <<<"$flags" || fail "$name" "not signed for the hardened runtime"
    entitlements=$(codesign -d --entitlements - --xml "$binary" 2>/dev/null || true)
    grep -q 'com.apple.security.automation.apple-events' <<<"$entitlements" ||
        fail "$name" "the Apple Events entitlement is missing"
    grep -q 'com.apple.security.cs.disable-library-validation' <<<"$entitlements" ||
        fail "$name" "library validation is on: Homebrew's ICU will not load"
done

[ "$status" -eq 0 ] && echo "verify-binaries: all checks passed"
exit "$status"
