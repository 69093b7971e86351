// A loadable library without GetTestList: the host must refuse it.
extern "C" __attribute__((visibility("default"))) int NotTheEntry() { return 0; }
