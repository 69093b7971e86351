// The plug-in's own unit: the host looks GetTestList up by name, so its shape is pinned here.
#include <type_traits>

#include "framework/test_record.h"

static_assert(std::is_same_v<decltype(&GetTestList), TestList* (*)(CTestHost*, int*)>,
              "the host calls GetTestList(host, stop flag) and reads {count, records}");
