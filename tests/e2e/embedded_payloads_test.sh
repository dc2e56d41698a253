# The installer file carries each payload as one resource of type 1001 under
# its catalogue id and language 0x0409: one zlib stream with the header 0x78
# 0x01 and nothing after it, which inflates to the payload file byte for byte.
set -euo pipefail
: "${QMX_INSTALLER:?set by CTest}" "${QMX_CTRL_PAYLOAD_FILE:?}" "${QMX_SERVER_PAYLOAD_FILE:?}" "${QMX_E2E_ROOT:?}"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
out="$QMX_E2E_ROOT/runs/embedded_payloads"
rm -rf "$out" && mkdir -p "$out"
python3 "$(dirname "$0")/pe_resources.py" "$QMX_INSTALLER" 1001 "$out" >"$out/table"
listing="$(cut -d' ' -f1,2,4,5 "$out/table")"
[ "$listing" = "101 0x0409 7801 one-stream
102 0x0409 7801 one-stream" ] || fail "resources of type 1001: $listing"
cmp "$QMX_CTRL_PAYLOAD_FILE" "$out/101" || fail "resource 101 does not inflate to $QMX_CTRL_PAYLOAD_FILE"
cmp "$QMX_SERVER_PAYLOAD_FILE" "$out/102" || fail "resource 102 does not inflate to $QMX_SERVER_PAYLOAD_FILE"
if [ "$failures" -ne 0 ]; then exit 1; fi
echo "embedded payloads (id language size header): $(cut -d' ' -f1-4 "$out/table" | tr '\n' ';')"
rm -rf "$out"
