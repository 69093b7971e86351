# The Tcl test's own check of its interpreter: 10! computed recursively must be 3628800; a wrong
# value raises an error, which fails the run.
proc factorial {n} {
    if {$n <= 1} {
        return 1
    }
    return [expr {$n * [factorial [expr {$n - 1}]]}]
}
set result [factorial 10]
if {$result != 3628800} {
    error "factorial 10 gave $result, expected 3628800"
}
if {[llength [info commands DisplayString]]} {
    DisplayString "factorial 10 = $result\n"
}
