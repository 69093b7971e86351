// Fuzz target genfile_play: the input as the GenFile that "Play" loads into SDRAM and chains on DMA channel 4 of the default rig.
#include <string>

#include "tests/fuzz/board_station.h"
#include "tests/fuzz/fuzz_targets.h"

int FuzzGenFilePlay(const uint8_t* data, size_t size) {
    fuzzstation::Run(false, [&](CBrimolaBoardTests& root) {
        fuzzstation::Folder().Write("clip.gen", std::string(reinterpret_cast<const char*>(data), size));
        // The whole file, and a ring of a few frames of it.
        for (const char* frames : {"FRAMES=0", "FRAMES=3"})
            root.Run((std::string("Brimola1 <CBrimolaWemp Play GenFile=$(CWD)\\clip.gen VERBOSE=2 ") + frames + ">").c_str());
    });
    return 0;
}
