#!/usr/bin/env bash
# Writes the fuzzer's seed inputs into a folder: the report and command
# frames the unit and the panel exchange, framed as the fuzzer reads them.
#   fuzz/make-seeds.sh DIR
set -euo pipefail
dir=${1:?usage: make-seeds.sh DIR}
mkdir -p "$dir"

# seed NAME HEX...: one file of the given bytes.
seed() {
    local name=$1
    shift
    local hex
    hex=$(echo "$*" | tr -d ' ')
    printf '%b' "$(echo "$hex" | sed 's/../\\x&/g')" >"$dir/$name"
}

# Time report, 5 data bytes, then a status report: the unit without dates.
seed time5-status  "06 FF 01 17 0E 05 09 FE" "0A FF 18 01 01 43 01 00 02 05 00 FC"
# Time report with year and date, then status with GPS and Encoded Year.
seed time8-status  "09 FF 01 17 0E 05 09 09 05 03 FE" "0A FF 18 06 02 53 02 09 09 09 09 FC"
# Alternative start byte, split frames, a restart inside a frame.
seed split         "02 FD 01 17" "01 0E 05" "02 09 FE FF" "00 33" "06 FF 00 2D 08 00 00 FE"
# Out-of-range positions and offset digits, then the port picked again.
seed out-of-range  "06 FF 00 05 0D 07 09 FE" "0A FF 31 07 03 10 03 FB FB FB FB FC" "FF" "0A FF FB FB FB FF FB 0A 0A 0A 0A FC"
# A frame of 32 data bytes, a terminator without a start, a line failure.
seed overlong      "21 FF 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F FE" "02 01 02 FC" "F0" "06 FF 01 17 0E 05 09 FE"
# The panel's own command frames, as if echoed back by the line.
seed commands      "21 04 02 FA 23 01 FA 01 04 FA 00 05 FA 02 08 FA 01 02 03 04 09 FA 02 2D 0D 07 09 00 FA 1A 0A FA 63 0A FA"
