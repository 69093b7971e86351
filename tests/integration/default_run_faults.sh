#!/usr/bin/env bash
# Runs the default tree (the host with no filter, as a station runs it) on the default rig with one
# fault at a time and prints, per fault, whether the run failed and which leaves failed.
# Usage: default_run_faults.sh BINDIR [JOBS]   (BINDIR holds pexhost and the plug-in; JOBS runs at once, 3)
# Output: one markdown row per fault: | fault | board | FAIL or PASS | failing leaves |
set -u
bin=$(cd "${1:?usage: default_run_faults.sh BINDIR [JOBS]}" && pwd)
jobs=${2:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

B=Brimola1
N=Nuxa1
# board<TAB>fault object without its board
faults=$(cat <<'LIST'
B	"kind": "sdram_stuck_bit", "bit": 7, "value": 1
N	"kind": "sdram_stuck_bit", "bit": 7, "value": 1
B	"kind": "sdram_address_alias", "line": 20, "stuck": 0
B	"kind": "sdram_bit_flips", "rate": 0.001, "seed": 1
B	"kind": "dma_stall", "channel": 12
B	"kind": "dma_stall", "channel": 16
B	"kind": "dma_stall", "channel": 38
B	"kind": "dma_stall", "channel": 57
B	"kind": "dma_stall", "channel": 28
B	"kind": "dma_stall", "channel": 24
B	"kind": "dma_stall", "channel": 20
B	"kind": "dma_stall", "channel": 37
N	"kind": "dma_stall", "channel": 59
B	"kind": "dma_corrupt", "channel": 12, "mask": 1
B	"kind": "dma_corrupt", "channel": 16, "mask": 1
B	"kind": "dma_corrupt", "channel": 38, "mask": 1
B	"kind": "dma_corrupt", "channel": 32, "mask": 256
B	"kind": "dma_wrong_tag", "channel": 12
B	"kind": "register_stuck_bit", "offset": "0x70000", "bit": 0, "value": 1
B	"kind": "register_stuck_bit", "offset": "0x60000", "bit": 0, "value": 1
B	"kind": "register_stuck_bit", "offset": "0x4000", "bit": 0, "value": 1
B	"kind": "register_stuck_bit", "offset": "0x4004", "bit": 0, "value": 1
B	"kind": "register_stuck_bit", "offset": "0x4008", "bit": 16, "value": 1
B	"kind": "register_stuck_bit", "offset": "0x4010", "bit": 16, "value": 0
B	"kind": "register_stuck_bit", "offset": "0x4018", "bit": 3, "value": 0
B	"kind": "register_stuck_bit", "offset": "0x4018", "bit": 0, "value": 0
B	"kind": "register_stuck_bit", "offset": "0x58030", "bit": 0, "value": 1
B	"kind": "register_alias", "memory": "bcu", "line": 0, "stuck": 0
B	"kind": "register_alias", "memory": "dcb", "line": 0, "stuck": 0
N	"kind": "missing_board"
B	"kind": "missing_space", "space": "SDRAM"
B	"kind": "missing_space", "space": "BAR0"
B	"kind": "missing_space", "space": "I2C.DIMM1"
B	"kind": "missing_space", "space": "I2C.TSENSOR"
B	"kind": "missing_space", "space": "CLOCK1"
B	"kind": "missing_space", "space": "CLOCK2"
B	"kind": "missing_space", "space": "FarnoDeK"
B	"kind": "sensor_over_limit", "sensor": "1TEMP"
B	"kind": "sensor_over_limit", "sensor": "2TEMP"
B	"kind": "sensor_bad_reading", "sensor": "1TEMP", "value": 0
B	"kind": "sensor_bad_reading", "sensor": "2TEMP", "value": 255
B	"kind": "spd_wrong_geometry"
B	"kind": "spd_wrong_size"
B	"kind": "vpd_broken", "part": "name_tag"
B	"kind": "vpd_broken", "part": "checksum"
B	"kind": "vpd_missing_field", "field": "V3"
B	"kind": "vpd_missing_field", "field": "ZB"
B	"kind": "vpd_missing_field", "field": "SN"
B	"kind": "clock_no_window"
B	"kind": "clock_window_shifted", "by": -60
B	"kind": "flash_erase_fails", "block": 60
B	"kind": "flash_program_fails"
B	"kind": "flash_never_ready"
B	"kind": "flash_slow", "access_ns": 60000
B	"kind": "flash_slow", "erase_ms": 1800
B	"kind": "flash_sts_floating"
B	"kind": "flash_locked_block", "block": 5
B	"kind": "flash_stuck_bit", "bit": 3
B	"kind": "flash_wrong_id"
B	"kind": "flash_missing_header", "segment": "PCIX"
B	"kind": "flash_mirror_mismatch", "offset": "0x100"
B	"kind": "fpga_init_never_falls", "device": 0
B	"kind": "fpga_init_never_rises", "device": 3
B	"kind": "fpga_done_stays_low", "device": 1
N	"kind": "fpga_done_stays_low", "device": 4
B	"kind": "fpga_crc_error", "device": 2
B	"kind": "fpga_code_stuck_bit", "bit": 0
B	"kind": "port_sync_error", "port": "PPPA"
B	"kind": "port_sync_error", "port": "EXPA"
N	"kind": "port_sync_error", "port": "EXPB"
B	"kind": "video_path_corrupt", "port": "PPPA", "stage": "keyer"
B	"kind": "video_path_corrupt", "port": "PPPB", "stage": "pair"
N	"kind": "video_path_corrupt", "port": "EXPB", "stage": "link"
B	"kind": "dcm_unlocked", "device": 0, "bit": 27
B	"kind": "ddr_init_fails", "device": 1
B	"kind": "box_link_down"
B	"kind": "box_init_fails"
B	"kind": "box_no_conduit"
B	"kind": "box_device_silent", "device": "bexi"
B	"kind": "box_device_silent", "device": "nulk"
B	"kind": "box_device_silent", "device": "dolwer"
B	"kind": "box_command_fails", "command": "HWConfigFB"
B	"kind": "box_reply_corrupt", "command": "HWConfigFB"
B	"kind": "box_loop_open", "path": "hd"
B	"kind": "box_loop_open", "path": "sdi"
B	"kind": "box_loop_open", "path": "audio"
B	"kind": "box_frame_slip", "path": "bexi"
B	"kind": "bvi_sync_error", "bvi": 0
B	"kind": "box_audio_slip", "dwords": 8
B	"kind": "dma_stall", "channel": 46
B	"kind": "zbt_address_alias", "line": 3, "stuck": 0
B	"kind": "bob_loop_stuck_bit", "path": "message", "bit": 0, "value": 1
N	"kind": "bridge_not_ready", "port": 1
N	"kind": "bridge_wrong_id", "id": 274
N	"kind": "codec_config_fails", "chip": 1
N	"kind": "codec_emif_stuck_bit", "chip": 2, "emif": "B", "bit": 0, "value": 1
N	"kind": "codec_sdram_stuck_bit", "chip": 1, "width": 64, "bit": 3, "value": 1
N	"kind": "codec_sdram_address_alias", "chip": 1, "width": 32, "line": 3
N	"kind": "codec_sdram_busy_stuck", "chip": 2, "width": 32
N	"kind": "codec_ddr_init_never_done", "chip": 1, "memory": 32
N	"kind": "dma_stall", "channel": 24
N	"kind": "dma_stall", "channel": 29
N	"kind": "dma_corrupt", "channel": 28, "mask": 256
N	"kind": "dma_corrupt", "channel": 25, "mask": 1
N	"kind": "dma_stall", "channel": 58
N	"kind": "codec_ddr_init_never_done", "chip": 2, "memory": 64
N	"kind": "codec_output_stuck_bit", "chip": 1, "port": "video", "bit": 6, "value": 1
N	"kind": "codec_output_stuck_bit", "chip": 2, "port": "expansion", "bit": 22, "value": 0
N	"kind": "codec_bypass_lane_swap", "chip": 1
N	"kind": "codec_flush_stuck", "chip": 2
N	"kind": "codec_crc_wrong", "chip": 1, "register": "out", "mask": 1
N	"kind": "codec_context_ram_stuck_bit", "chip": 2, "entry": 3, "word": 1, "bit": 5, "value": 1
N	"kind": "codec_wrong_device_id", "chip": 1, "id": 1365
N	"kind": "codec_membist_window", "chip": 1, "memory": 64, "low": 0, "high": 16
N	"kind": "codec_membist_fails", "chip": 2, "memory": 32
N	"kind": "codec_memory_word", "chip": 1, "address": "0xB00001FC", "mask": "0x80000000"
N	"kind": "dsp_fails", "chip": 1, "stage": "download"
N	"kind": "dsp_fails", "chip": 2, "stage": "boot"
N	"kind": "dsp_fails", "chip": 1, "stage": "initialise"
N	"kind": "dsp_table_corrupt", "chip": 2
N	"kind": "dsp_frame_corrupt", "chip": 1
N	"kind": "dsp_codec_status", "chip": 2, "bits": 4
N	"kind": "dsp_codec_status", "chip": 1, "bits": "0x80000000"
LIST
)

run_one() {
    local n=$1 board=$2 fault=$3 dir="$work/$1"
    mkdir -p "$dir"
    printf '%s' "{\"boards\": [{\"tag\": \"Brimola1\", \"kind\": \"brimola\", \"attached\": {\"breakout_box\": true, \"codec_port\": \"Nuxa1\", \"expansion_port\": \"Nuxa1\"}}, {\"tag\": \"Nuxa1\", \"kind\": \"nuxa\"}], \"faults\": [{\"board\": \"$board\", $fault}]}" >"$dir/rig.json"
    (cd "$dir" && timeout 300 "$bin/pexhost" --color=never --rig rig.json >out.txt 2>err.txt)
    local status=$? verdict
    case $status in 0) verdict=PASS ;; 1) verdict=FAIL ;; *) verdict="exit $status" ;; esac
    local failed
    failed=$(sed -n 's/^\[FAIL\]    \(.*\)  (.*$/\1/p' "$dir/out.txt" | paste -sd ';' -)
    [ $status -gt 1 ] && failed="$failed $(head -c 200 "$dir/err.txt" | tr '\n' ' ')"
    printf '%04d| `%s` | %s | %s | %s |\n' "$n" "$fault" "$board" "$verdict" "$failed" >"$dir/row"
}
export -f run_one
export bin work

n=0
while IFS=$'\t' read -r who fault; do
    n=$((n + 1))
    board=$B
    [ "$who" = N ] && board=$N
    printf '%s\t%s\t%s\n' "$n" "$board" "$fault"
done <<<"$faults" | xargs -P "$jobs" -d '\n' -I{} bash -c 'IFS=$'"'"'\t'"'"' read -r n b f <<<"$1"; run_one "$n" "$b" "$f"' _ {}
echo "| fault | board | default run | failing leaves |"
echo "|---|---|---|---|"
cat "$work"/*/row | sort | cut -c5-
