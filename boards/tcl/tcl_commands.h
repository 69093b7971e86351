// The library's Tcl commands: registered into each Tcl test's interpreter, forwarded to the selected board.
#pragma once

#include <tcl.h>

// Creates the commands in their fixed order; 0 on success.
int RegisterTclCommands(Tcl_Interp* interp);
