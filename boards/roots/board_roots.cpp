// The library's static board objects: the stand-alone "DispDCB", then the two board roots, main board first.
#include "boards/dma/test_dcb.h"
#include "boards/roots/brimola_board_tests.h"
#include "boards/roots/nuxa_board_tests.h"
#include "videopath/passthru_loopback.h"

// Built before the framework's static objects (the application object, the registry and the
// result screen), which come later in the plug-in's link order; their output waits in the
// pre-host buffer and their records in the registry until the host calls GetTestList. The
// stand-alone "VantrelLoop" goes first. It and "DispDCB" are held by no child map and no record:
// they live for as long as the library is loaded.
CVantrelLoopbackTest g_VantrelLoop;
CTestDCB g_DispDCB;
CBrimolaBoardTests g_BrimolaBoard("CBrimolaBoard");
CNuxaBoardTests g_NuxaBoard("CNuxaBoard");
