// The scratch folder each benchmark program runs in (scratch_folder.cpp).
#pragma once

#include <string>

namespace bench {

// The folder the program was started in, before it moved into its scratch folder; "" when it
// could not be read. Set before main runs.
const std::string& StartFolder();

}  // namespace bench
