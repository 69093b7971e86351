# Identity registers of the selected board through its register window: the Wexal image revision
# (BAR0 0x40000, low 12 bits) and the board controller's id (BAR0 0x4000: bits 0-7 0x52 main board
# or 0x53 codec board, 8-15 hardware revision 0x04, 16-23 controller revision 0x21). A difference is
# shown and fails the run. Set ExpectedRevision or ExpectedBoardId beforehand to check other values;
# without ExpectedBoardId either board's id is accepted.
if {![info exists ExpectedRevision]} {
    set ExpectedRevision 0xC75
}
set window [GetBAR0]
set revision [BAR0 0x40000]
if {($revision & 0xFFF) != $ExpectedRevision} {
    DisplayString "Revision [format 0x%X $revision] at $window + 0x40000, expected [format 0x%X $ExpectedRevision]\n"
    ReportError
}
set bid [BAR0 0x4000]
set id [expr {$bid & 0xFF}]
if {[info exists ExpectedBoardId]} {
    set idGood [expr {$id == $ExpectedBoardId}]
} else {
    set idGood [expr {$id == 0x52 || $id == 0x53}]
}
if {!$idGood || (($bid >> 8) & 0xFFFF) != 0x2104} {
    DisplayString "Board id [format 0x%X $bid] at $window + 0x4000, expected 0x2104 over 0x52 or 0x53\n"
    ReportError
}
