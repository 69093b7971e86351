// The library's Tcl commands (registration only, until the commands are built).
#include "boards/tcl/tcl_commands.h"

int RegisterTclCommands(Tcl_Interp*) { return 0; }
