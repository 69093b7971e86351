// The scratch folder each benchmark program runs in (scratch_folder.cpp).
#pragma once

#include <string>

namespace bench {

// The folder the program was started in, before it moved into its scratch folder; "" when it
// could not be read. Set before main runs.
const std::string& StartFolder();

// Turns path, as given on the command line, into the path it names from the folder the program was
// started in: unchanged when absolute or empty, else put under StartFolder(). Returns false, with
// why set, when it is relative and that folder could not be read (removed after the program was
// started in it, for one): in the scratch folder it would be removed with it.
bool FromStartFolder(std::string& path, std::string& why);

}  // namespace bench
