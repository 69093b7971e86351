# SDRAM check of the selected board: a pattern buffer is written to SDRAM, read back into a second
# buffer and compared word by word; every differing word is reported and fails the run. Set
# SdramAddress and SdramBytes (a multiple of 4) beforehand to check another range.
if {![info exists SdramAddress]} {
    set SdramAddress 0x100000
}
if {![info exists SdramBytes]} {
    set SdramBytes 0x1000
}
set good [CreateBuffer $SdramBytes]
set bad [CreateBuffer $SdramBytes]
# Word n holds a walking one (even n) or its complement (odd n), so every data bit is written both
# as 0 and as 1 and a bit stuck either way differs somewhere.
for {set offset 0} {$offset < $SdramBytes} {incr offset 4} {
    set one [expr {1 << (($offset / 4) % 32)}]
    set word [expr {(($offset / 4) % 2) ? (~$one & 0xFFFFFFFF) : $one}]
    SetBufferValue word $good $offset [format 0x%X $word]
}
WriteSDRAM $SdramAddress $good
ReadSDRAM $SdramAddress $bad
CompareBuffers $good $bad
