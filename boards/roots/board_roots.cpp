// The library's two board roots: static objects built at load, main board first.
#include "boards/roots/brimola_board_tests.h"
#include "boards/roots/nuxa_board_tests.h"

// Built before the framework's static objects (the application object, the registry and the
// result screen), which come later in the plug-in's link order; their output waits in the
// pre-host buffer and their records in the registry until the host calls GetTestList. The
// stand-alone "VantrelLoop" and "DispDCB" objects go before them when their tests are built.
CBrimolaBoardTests g_BrimolaBoard("CBrimolaBoard");
CNuxaBoardTests g_NuxaBoard("CNuxaBoard");
