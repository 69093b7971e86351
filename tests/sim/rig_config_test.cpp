// Rig files: the default rig, settings and fault defaults read, and one one-line message naming file and key per bad file.
#include "sim/rig_config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <tuple>
#include <utility>

#include "tests/support/temp_dir.h"

namespace {

using sim::RigConfig;

// A main board B1 (with extra keys) and a codec board N, with the faults given.
std::string Rig(const std::string& faults, const std::string& extra = "") {
    return R"({"boards": [{"tag": "B1", "kind": "brimola")" + extra + R"(}, {"tag": "N", "kind": "nuxa"}], "faults": [)" +
           faults + "]}";
}

RigConfig Parse(const std::string& text) {
    RigConfig rig;
    std::string error;
    EXPECT_TRUE(sim::ParseRig(text, "r.json", rig, error)) << error;
    return rig;
}

// Settings and fault values that other tests observe through rig files are read there; here the rest and the
// defaults a rig file may leave out.
TEST(RigConfig, DefaultRigSettingsFaultDefaultsAndFilesThatAreNotRigsOrImages) {
    const RigConfig def = sim::DefaultRig();
    ASSERT_EQ(def.boards.size(), 2u);
    EXPECT_EQ(def.boards[0].sdramBytes + def.boards[1].sdramBytes, 768ull << 20);
    EXPECT_TRUE(def.boards[0].breakoutBox && !def.boards[1].breakoutBox && !def.dmaTiming.modelled);
    const RigConfig rig = Parse(R"({"boards": [
        {"tag": "B1", "kind": "brimola", "sdram_mib": "010", "vpd": {"SN": "X1", "EC": null},
         "sensors": {"local_temp_c": -5, "remote2_temp_limit_c": 60}, "memory_clock": {"store": "c"}, "flash": {"image": "m.flash"}}],
      "faults": [{"kind": "sdram_address_alias", "board": "B1", "line": 20, "stuck": 1}, {"kind": "sensor_over_limit", "board": "B1"},
        {"kind": "dma_corrupt", "board": "B1", "channel": 12, "mask": "0x100", "first": 3}, {"kind": "spd_wrong_size", "board": "B1"},
        {"kind": "flash_erase_fails", "board": "B1", "block": 60}, {"kind": "flash_program_fails", "board": "B1", "status": "0x18"},
        {"kind": "flash_mirror_mismatch", "board": "B1"}, {"kind": "fpga_crc_error", "board": "B1", "device": 3},
        {"kind": "dma_wrong_tag", "board": "B1", "channel": 57, "tag": 5}, {"kind": "clock_window_shifted", "board": "B1", "by": -30},
        {"kind": "sensor_bad_reading", "board": "B1", "sensor": "LTEMP", "value": 200, "count": 7},
        {"kind": "flash_slow", "board": "B1", "erase_ms": 3000}, {"kind": "flash_sts_floating", "board": "B1"},
        {"kind": "register_stuck_bit", "board": "B1", "offset": "0x4018", "bit": 8}]})");
    ASSERT_EQ(rig.boards.size(), 1u);
    const sim::BoardConfig& b = rig.boards[0];
    EXPECT_EQ(b.sdramBytes, 10ull << 20) << "a leading zero is not octal";
    std::string vpd;
    for (const auto& [key, text] : b.vpd) vpd += key == "SN" ? text : key == "EC" ? "EC" : "";
    EXPECT_EQ(vpd, "X1") << "null removes a default";
    EXPECT_EQ((std::vector<int>{b.sensors.tempC[0], b.sensors.tempC[1], b.sensors.limitC[2]}), (std::vector<int>{-5, 45, 60})) << "others keep defaults";
    EXPECT_EQ(b.memoryClock.store + b.flashImage, "cm.flash");
    const sim::BoardFaults& f = b.faults;
    EXPECT_EQ(std::make_pair(f.sdramAlias.at(0).source, f.sdramAlias[0].value), std::make_pair(-1, 1)) << "stuck at 1, no source line";
    EXPECT_EQ(f.sensorOverLimit.at(0).channel, 1) << "the Wexal FPGA's channel by default";
    EXPECT_EQ(f.dmaCorrupt.at(0).count, 1u);
    EXPECT_EQ(std::make_pair(f.spdSize.at(0).module, f.spdSize[0].mib), std::make_pair(0, 0u)) << "both modules, half size";
    EXPECT_EQ(std::make_pair(f.flash.programFails.at(0).block, f.flash.programFails[0].status), std::make_pair(-1, 0x18)) << "-1: every block";
    EXPECT_EQ(f.flash.mirrorMismatch.at(0).offset, 0x2000u);
    EXPECT_EQ(std::make_pair(f.dmaWrongTag.at(0).tag, f.clockWindowShift), std::make_pair(5, -30));
    EXPECT_EQ(std::make_tuple(f.sensorBadReading.at(0).channel, f.sensorBadReading[0].value, f.sensorBadReading[0].count), std::make_tuple(0, 200, 7u));
    ASSERT_EQ(f.configPort.devices.size(), 1u);
    EXPECT_EQ(f.configPort.devices[0].at, 1024u);
    EXPECT_EQ(std::make_tuple(f.flash.accessNs, f.flash.eraseMs, f.flash.stsFloating, f.flash.stsSeed), std::make_tuple(400u, 3000u, true, 1ull));
    EXPECT_EQ(std::make_tuple(f.registerStuck.at(0).offset, f.registerStuck[0].value), std::make_tuple(0x4018u, 0));
    // Files that are not rigs, images or clock stores say so; a FIFO is refused at once, never opened to wait for a writer.
    support::TempDir dir;
    const std::string shortImage = dir.Write("short.flash", "0123456789");
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A file the rig keeps serves one board as one thing, and is never the rig file, however it is spelt.
    dir.MakeDir("sub");
    std::filesystem::create_symlink("m.flash", dir.File("link.flash"));
    // Through a link the file is made where the link leads, in a folder that must be there.
    for (const char* name : {"gone", "later"}) {
        std::filesystem::create_symlink(std::string(name) + "/n.flash", dir.File(std::string(name) + "-n.flash"));
        std::filesystem::create_symlink(std::string(name) + "/c", dir.File(std::string(name) + "-c"));
    }
    dir.MakeDir("later");
    std::filesystem::create_symlink("bad.json", dir.File("rig-link"));
    const std::string whole = dir.Write("whole.flash", "");
    std::filesystem::resize_file(whole, 8u << 20);
    // What a store holds: a word or nothing, in what a store can be (under 256 bytes).
    const std::string notes = "Station 4: the fan of the left rack is loud\n";
    const std::string blank = dir.Write("blank.c", std::string(255, ' ')), word = dir.Write("word.c", std::string(200, '\n') + "0x000000A0\n");
    const std::string longBlank = dir.Write("long-blank.c", std::string(256, '\n'));
    const std::string lateNotes = dir.Write("late-notes.c", std::string(300, '\n') + notes), shortNotes = dir.Write("notes.c", notes);
    const auto kept = [](const char* key, const char* file, const std::string& path) {
        return std::string(", \"") + key + "\": {\"" + file + "\": \"" + path + "\"}";
    };
    const std::string other = "\" holds something other than a clock word: refusing to write over it";
    // {keys of B1, keys of N, the key refused and what is said ("": the rig is taken)}
    const struct { std::string b1, n, key, message; } files[] = {
        {kept("flash", "image", dir.Path()), "", "boards[0].flash.image", "\"" + dir.Path() + "\" is a directory, not a flash image file"},
        {kept("flash", "image", shortImage), "", "boards[0].flash.image", "file \"" + shortImage + "\" is 10 bytes, not a flash image of 8388608"},
        {kept("flash", "image", fifo), "", "boards[0].flash.image", "\"" + fifo + "\" is not a regular file (a FIFO or device), not a flash image file"},
        {kept("memory_clock", "store", dir.Path()), "", "boards[0].memory_clock.store", "\"" + dir.Path() + "\" is a directory, not a file for the clock word"},
        {kept("memory_clock", "store", fifo), "", "boards[0].memory_clock.store", "\"" + fifo + "\" is not a regular file (a FIFO or device), not a file for the clock word"},
        // What the run writes there would be lost: refused before it starts, not warned about.
        {kept("flash", "image", dir / "gone/m.flash"), "", "boards[0].flash.image", "the folder \"" + dir.File("gone") + "\" of \"" + dir.File("gone/m.flash") + "\" does not exist"},
        {kept("memory_clock", "store", dir / "gone/deeper/c"), "", "boards[0].memory_clock.store", "the folder \"" + dir.File("gone/deeper") + "\" of \"" + dir.File("gone/deeper/c") + "\" does not exist"},
        {kept("flash", "image", shortImage + "/m.flash"), "", "boards[0].flash.image", "the folder \"" + shortImage + "\" of \"" + shortImage + "/m.flash\" is not a folder"},
        {kept("memory_clock", "store", "gone-from-here/c"), "", "boards[0].memory_clock.store", "the folder \"gone-from-here\" of \"gone-from-here/c\" does not exist"},
        {kept("memory_clock", "store", dir / "sub/../bad.json"), "", "boards[0].memory_clock.store", "\"" + dir.File("sub/../bad.json") + "\" is the rig file itself"},
        {kept("memory_clock", "store", dir / "sub/../m.flash") + kept("flash", "image", dir / "m.flash"), "", "boards[0].flash.image",
         "\"" + dir.File("m.flash") + "\" is also the memory clock store of board \"B1\""},
        {kept("flash", "image", dir / "m.flash"), kept("flash", "image", dir / "link.flash"), "boards[1].flash.image",
         "\"" + dir.File("link.flash") + "\" is also the flash image of board \"B1\""},
        {kept("memory_clock", "store", dir / "c"), kept("memory_clock", "store", dir / "./c"), "boards[1].memory_clock.store",
         "\"" + dir.File("./c") + "\" is also the memory clock store of board \"B1\""},
        {kept("memory_clock", "store", dir / "m.flash"), kept("flash", "image", dir / "link.flash"), "boards[1].flash.image",
         "\"" + dir.File("link.flash") + "\" is also the memory clock store of board \"B1\""},
        // Each of them on either board, with what is taken beside it.
        {kept("flash", "image", whole), kept("memory_clock", "store", blank), "", ""},
        {"", kept("flash", "image", fifo), "boards[1].flash.image", "\"" + fifo + "\" is not a regular file (a FIFO or device), not a flash image file"},
        {"", kept("memory_clock", "store", dir.Path()), "boards[1].memory_clock.store", "\"" + dir.Path() + "\" is a directory, not a file for the clock word"},
        {kept("memory_clock", "store", dir / "new.c"), kept("flash", "image", dir / "new.flash"), "", ""},
        {"", kept("memory_clock", "store", dir / "gone/c"), "boards[1].memory_clock.store", "the folder \"" + dir.File("gone") + "\" of \"" + dir.File("gone/c") + "\" does not exist"},
        {kept("memory_clock", "store", dir / "gone-c"), "", "boards[0].memory_clock.store",
         "the folder \"" + dir.File("gone") + "\" of \"" + dir.File("gone/c") + "\" (where the link \"" + dir.File("gone-c") + "\" leads) does not exist"},
        {"", kept("flash", "image", dir / "gone-n.flash"), "boards[1].flash.image",
         "the folder \"" + dir.File("gone") + "\" of \"" + dir.File("gone/n.flash") + "\" (where the link \"" + dir.File("gone-n.flash") + "\" leads) does not exist"},
        {kept("flash", "image", dir / "later-n.flash"), kept("memory_clock", "store", dir / "later-c"), "", ""},
        {"", kept("memory_clock", "store", dir / "sub/../rig-link"), "boards[1].memory_clock.store", "\"" + dir.File("sub/../rig-link") + "\" is the rig file itself"},
        {kept("memory_clock", "store", dir / "c"), kept("memory_clock", "store", dir / "sub/c"), "", ""},
        {kept("memory_clock", "store", shortNotes), "", "boards[0].memory_clock.store", "\"" + shortNotes + other},
        {kept("memory_clock", "store", blank), kept("memory_clock", "store", lateNotes), "boards[1].memory_clock.store", "\"" + lateNotes + other},
        {kept("memory_clock", "store", longBlank), kept("memory_clock", "store", word), "boards[0].memory_clock.store", "\"" + longBlank + other},
        {kept("memory_clock", "store", word), "", "", ""},
    };
    RigConfig bad;
    std::string error;
    for (const auto& row : files) {
        SCOPED_TRACE(row.b1 + " " + row.n);
        dir.Write("bad.json", R"({"boards": [{"tag": "B1", "kind": "brimola")" + row.b1 + R"(}, {"tag": "N", "kind": "nuxa")" + row.n + "}]}");
        // What the files hold is looked at once the rig file is read, as the library loads.
        const bool read = sim::LoadRigFile(dir / "bad.json", bad, error);
        const std::string why = read ? sim::CheckKeptContents(bad) : error;
        if (row.key.empty()) {
            EXPECT_EQ(why, "");
        } else {
            EXPECT_NE(why.find("key \"" + row.key + "\": " + row.message), std::string::npos) << why;
        }
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("later"))) << "the rig check makes no file";
    EXPECT_FALSE(std::filesystem::exists(dir.File("gone"))) << "a refused rig creates nothing";
    // A file of its own in an existing folder, relative or absolute, is fine before it exists.
    for (const std::string& path : {dir.File("new.flash"), std::string("new.flash")})
        EXPECT_TRUE(sim::ParseRig(Rig("", R"(, "flash": {"image": ")" + path + R"("}, "memory_clock": {"store": ")" + path + R"(.c"})"),
                                  "good.json", bad, error))
            << error;
    EXPECT_FALSE(sim::LoadRigFile(dir.Path(), bad, error));
    EXPECT_EQ(error, "rig file \"" + dir.Path() + "\": is a directory, not a rig file");
    EXPECT_FALSE(sim::LoadRigFile(fifo, bad, error));
    EXPECT_EQ(error, "rig file \"" + fifo + "\": is not a regular file (a FIFO or device), not a rig file");
    EXPECT_FALSE(sim::LoadRigFile(dir / "none.json", bad, error));
    EXPECT_EQ(error, "rig file \"" + dir.File("none.json") + "\": cannot be opened");
}

// The message: what follows "rig file \"bad.json\": key \"".
struct BadRig { std::string text, message; };
BadRig B(const std::string& keys, const std::string& message) { return {Rig("", ", " + keys), "boards[0]." + message}; }
BadRig F(const std::string& fault, const std::string& message) { return {Rig(R"({"board": "B1", )" + fault + "}"), "faults[0]." + message}; }
BadRig Box(const std::string& fault, const std::string& message) {
    return {Rig(R"({"board": "B1", )" + fault + "}", R"(, "attached": {"breakout_box": true})"), "faults[0]." + message};
}
// The default rig's two boards and a third, with the faults given.
BadRig Third(const std::string& board, const std::string& message, const std::string& faults = "") {
    return {R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}, {"tag": "Nuxa1", "kind": "nuxa"}, )" + board + R"(], "faults": [)" +
                faults + "]}",
            "boards[2].tag\": " + message};
}

TEST(RigConfig, EachBadFileGetsOneLineNamingFileKeyAndFault) {
    const BadRig rows[] = {
        {R"({"boards": [], "colour": 1})", "colour\": unknown key"}, B(R"("sdram": 5)", "sdram\": unknown key"),
        {R"({"boards": [{"tag": "B1", "kind": "toaster"}]})", "boards[0].kind\": \"toaster\" is not"},
        {R"({"boards": [{"tag": "B1", "kind": "brimola"}, {"tag": "B1", "kind": "nuxa"}]})", "boards[1].tag\": tag \"B1\" is used twice"},
        {R"({"boards": [{"tag": "B\u0001", "kind": "brimola"}]})", "boards[0].tag\": a tag is 1 to 31"},
        // The device tree finds a board by its tag, ignoring case, first match first: a tag names one
        // board and no other device, whichever comes first.
        Third(R"({"tag": "NUXA1", "kind": "nuxa"})", "tag \"NUXA1\" is the tag \"Nuxa1\" of boards[1] in another case",
              R"({"kind": "sdram_stuck_bit", "board": "NUXA1", "bit": 7, "value": 1})"),
        {R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}, {"tag": "BRIMOLA1", "kind": "nuxa"}]})",
         "boards[1].tag\": tag \"BRIMOLA1\" is the tag \"Brimola1\" of boards[0] in another case"},
        Third(R"({"tag": "HostPC", "kind": "nuxa"})", "tag \"HostPC\" is the name of the host's device \"HostPC\""),
        {R"({"boards": [{"tag": "hostpc", "kind": "brimola"}]})", "boards[0].tag\": tag \"hostpc\" is the name of the host's device"},
        Third(R"({"tag": "nuxa1.clock", "kind": "nuxa"})", "tag \"nuxa1.clock\" is the name of the device \"Nuxa1.Clock\" of board \"Nuxa1\""),
        {R"({"boards": [{"tag": "N.YorbFlow", "kind": "nuxa"}, {"tag": "N", "kind": "nuxa"}]})",
         "boards[0].tag\": tag \"N.YorbFlow\" is the name of the device \"N.YorbFlow\" of board \"N\""},
        // Characters the tree files, the test paths, the host's filters or a command's device word read.
        Third(R"({"tag": "Nuxa`-1", "kind": "nuxa"})", "tag \"Nuxa`-1\" holds \"`\": a tag is 1 to 31"),
        Third(R"({"tag": "Nuxa\\2", "kind": "nuxa"})", "tag \"Nuxa\\2\" holds \"\\\""),
        Third(R"({"tag": "Nuxa/2", "kind": "nuxa"})", "tag \"Nuxa/2\" holds \"/\""),
        Third(R"({"tag": "Nuxa*", "kind": "nuxa"})", "tag \"Nuxa*\" holds \"*\""),
        Third(R"({"tag": "Nuxa[2]", "kind": "nuxa"})", "tag \"Nuxa[2]\" holds \"[\""),
        Third(R"({"tag": "\"Nuxa1\"", "kind": "nuxa"})", "tag \"\"Nuxa1\"\" holds \"\"\""),
        Third(R"({"tag": "Nuxa{2}", "kind": "nuxa"})", "tag \"Nuxa{2}\" holds \"{\""),
        B(R"("sdram_mib": 5000)", "sdram_mib\": value 5000 is out of range 8..2048"),
        B(R"("revision": "07777")", "revision\": value 07777 is out of range 0..4095"),
        B(R"("revision": "0x1000")", "revision\": value 0x1000 is out of range 0..4095"), B(R"("sdram_mib": " +64")", "sdram_mib\": \" +64\" is not a number"),
        B(R"("sdram_mib": "+64")", "sdram_mib\": \"+64\" is not a number"), B(R"("sdram_mib": "64 ")", "sdram_mib\": \"64 \" is not a number"),
        B(R"("revision": "0x")", "revision\": \"0x\" is not a number"), B(R"("sdram_mib": 64.5)", "sdram_mib\": expected a whole number"),
        B(R"("sdram_mib": "-64")", "sdram_mib\": value -64 is out of range 8..2048"),
        B(R"("sdram_mib": "-0")", "sdram_mib\": value -0 is out of range 8..2048"),
        F(R"("kind": "sdram_bit_flips", "rate": 0.1, "seed": -1)", "seed\": value -1 is out of range 0..18446744073709551615"),
        F(R"("kind": "dma_corrupt", "channel": 1, "mask": "99999999999999999999")", "mask\": value 99999999999999999999 is out of range 1..4294967295"),
        B(R"("sdram_mib": 99999999999999999999)", "sdram_mib\": value 1e+20 is out of range 8..2048"),
        B(R"("sdram_mib": 64, "sdram_mib": 128)", "sdram_mib\": given twice"), {R"({"boards": [], "boards": []})", "boards\": given twice"},
        {R"({"boards": [], "a\nb\u0007": 1})", "a\\nb\\x07\": unknown key"},
        {R"({"boards": [{"tag": "B1", "kind": "to\taster"}]})", "boards[0].kind\": \"to\\taster\" is not"},
        B(R"("vpd": {"SN": 5})", "vpd.SN\": expected a string"), B(R"("sensors": {"gpu_temp_c": 50})", "sensors.gpu_temp_c\": unknown"),
        B(R"("memory_clock": {"window_low": 200, "window_high": 100})", "memory_clock.window_high\": the window ends before it starts"),
        B(R"("flash": {"image": ""})", "flash.image\": an empty file name"), B(R"("flash": {"file": "x"})", "flash.file\": unknown key"),
        B(R"("flash": {"pcix_image": "KEZO"})", "flash.pcix_image\": the main board's PCIX image is \"PUVI\" or \"ZVKX\""),
        {R"({"boards": [{"tag": "N", "kind": "nuxa", "flash": {"pcix_image": "PUVI"}}]})", "boards[0].flash.pcix_image\": the codec board's PCIX image is \"KEZO\""},
        F(R"("kind": "gremlin")", "kind\": unknown fault kind \"gremlin\""),
        {Rig(R"({"kind": "dma_stall", "board": "B9", "channel": 1})"), "faults[0].board\": no board \"B9\" in this rig"},
        F(R"("kind": "bob_loop_stuck_bit", "path": "audio", "bit": 1)", "path\": \"audio\" is not \"message\" or \"ltc\""),
        F(R"("kind": "bob_loop_stuck_bit", "path": "ltc", "bit": 31)", "bit\": value 31 is out of range 0..30"),
        F(R"("kind": "bob_loop_stuck_bit", "path": "message")", "bit\": missing"),
        F(R"("kind": "dma_stall", "channel": 1, "speed": 2)", "speed\": unknown key"), F(R"("kind": "dma_stall", "channel": 64)", "channel\": value 64"),
        F(R"("kind": "sdram_stuck_bit", "bit": 1, "from": 64, "to": 64)", "to\": the range ends before it starts"),
        F(R"("kind": "sdram_address_alias", "line": 5, "shorted_to": 5)", "shorted_to\": a line cannot be shorted to itself"),
        {Rig(R"({"kind": "sdram_address_alias", "board": "N", "line": 28, "stuck": 0})"), "faults[0].line\": value 28 is out of range 2..27"},
        F(R"("kind": "sdram_bit_flips", "rate": 0.1)", "seed\": missing"), F(R"("kind": "sdram_bit_flips", "rate": 0, "seed": 1)", "rate\""),
        F(R"("kind": "register_stuck_bit", "offset": "0x58100", "bit": 0)", "offset\": not a board controller register"),
        F(R"("kind": "register_stuck_bit", "offset": "0x57FFC", "bit": 0)", "offset\": not a board controller register"),
        F(R"("kind": "register_stuck_bit", "offset": "0x400C", "bit": 0)", "offset\": not a board controller register"),
        F(R"("kind": "register_stuck_bit", "offset": "0x3FFC", "bit": 0)", "offset\": value 0x3FFC is out of range 16384..466940"),
        F(R"("kind": "flash_slow", "access_ns": 0)", "access_ns\": value 0 is out of range 1..1000000000"),
        F(R"("kind": "flash_slow", "erase_ms": "slow")", "erase_ms\": \"slow\" is not a number"),
        F(R"("kind": "flash_sts_floating", "seed": -1)", "seed\": value -1 is out of range"),
        F(R"("kind": "flash_sts_floating", "rate": 1)", "rate\": unknown key"),
        F(R"("kind": "register_stuck_bit", "offset": "0x58002", "bit": 0)", "offset\": a register offset is a multiple of 4"),
        {R"({"boards": [], "dma": {"timing": "slow"}})", "dma.timing\": \"slow\" is not a timing"},
        F(R"("kind": "sensor_over_limit", "sensor": "4TEMP")", "sensor\""),
        F(R"("kind": "sensor_bad_reading", "value": 150)", "value\": a bad reading is 0, or 200 to 255"),
        F(R"("kind": "sensor_bad_reading")", "value\": missing"), F(R"("kind": "vpd_broken", "part": "crc")", "part\": \"crc\" is not a part"),
        F(R"("kind": "vpd_missing_field", "field": "SNX")", "field\""), F(R"("kind": "clock_window_shifted", "by": 0)", "by\": a shift of 0"),
        F(R"("kind": "missing_space", "space": "I2C.DIMM3")", "space\""), F(R"("kind": "flash_locked_block")", "block\": missing"),
        F(R"("kind": "flash_stuck_bit", "bit": 16)", "bit\": value 16"),
        F(R"("kind": "flash_missing_header", "segment": "VPD")", "segment\": \"VPD\" is not a Wexal image segment"),
        F(R"("kind": "flash_mirror_mismatch", "offset": "0x2002")", "offset\": a register offset is a multiple of 4"),
        {Rig(R"({"kind": "fpga_done_stays_low", "board": "N", "device": 1})"), "faults[0].device\": a codec board has only the board links 3 and 4"},
        F(R"("kind": "fpga_crc_error")", "device\": missing"), F(R"("kind": "fpga_code_stuck_bit", "bit": 3)", "bit\": value 3"),
        F(R"("kind": "flash_never_ready", "block": 1)", "block\": unknown key"),
        B(R"("attached": {"codec_port": "B1"})", "attached.codec_port\": a cable cannot run from board \"B1\" to itself"),
        B(R"("attached": {"expansion_port": "X9"})", "attached.expansion_port\": no board \"X9\" in this rig"),
        // Named on one side and on both: fine; two sides that disagree: not.
        {R"({"boards": [{"tag": "B1", "kind": "brimola", "attached": {"codec_port": "N", "expansion_port": "N"}}, {"tag": "N", "kind": "nuxa",
            "attached": {"expansion_port": "B1"}}, {"tag": "B2", "kind": "brimola", "attached": {"codec_port": "N"}}]})",
         "boards[2].attached.codec_port\": board \"N\" has its codec port on \"B1\", not on \"B2\""},
        F(R"("kind": "port_sync_error", "port": "PPPC")", "port\": \"PPPC\" is not a video port"),
        {Rig(R"({"kind": "port_sync_error", "board": "N", "port": "PPPA"})"), "faults[0].port\": a codec board has only the board-link ports"},
        F(R"("kind": "video_path_corrupt", "port": "EXPA", "stage": "keyer")", "stage\": the board-link ports pass only their link FPGA"),
        F(R"("kind": "video_path_corrupt", "port": "PPPB", "stage": "link")", "stage\": the port-pair ports pass the keyer and the pair"),
        F(R"("kind": "dcm_unlocked", "device": 1, "bit": 29)", "bit\": value 29 is out of range 24..28"),
        {Rig(R"({"kind": "ddr_init_fails", "board": "N", "device": 1})"), "faults[0].device\": a codec board has no keyer or FPGA pair"},
        F(R"("kind": "flash_slow", "erase_ms": 0)", "erase_ms\": value 0 is out of range 1..3600000"),
        // A module size the SPD's bytes cannot make would read as another: 513 as the healthy 512.
        F(R"("kind": "spd_wrong_size", "mib": 513)", "mib\": 513 MB is not a size the SPD can describe"),
        F(R"("kind": "spd_wrong_size", "mib": 2056)", "mib\": 2056 MB is not a size the SPD can describe"),
        F(R"("kind": "spd_wrong_size", "mib": 512)", "mib\": 512 MB is the size the board's modules report: no fault"),
        {R"({"boards": [{"tag": "N", "kind": "nuxa", "sdram_mib": 128}], "faults": [{"kind": "spd_wrong_size", "board": "N", "mib": 128}]})",
         "faults[0].mib\": 128 MB is the size the board's modules report: no fault"},
        // A geometry, a flash timing or a bridge identification that the healthy board already has is no fault.
        F(R"("kind": "spd_wrong_geometry", "module": 2, "rows": "0xD", "columns": 11)",
          "columns\": rows 13 and columns 11 are the geometry the board's modules report: no fault"),
        {Rig(R"({"kind": "spd_wrong_geometry", "board": "N", "rows": 13, "columns": 10})"),
         "faults[0].columns\": rows 13 and columns 10 are the geometry the board's modules report: no fault"},
        F(R"("kind": "flash_slow")", "access_ns\": access_ns 400 and erase_ms 512 are the healthy part's timing: no fault"),
        F(R"("kind": "flash_slow", "access_ns": 400, "erase_ms": "0x200")", "erase_ms\": access_ns 400 and erase_ms 512 are the healthy part's timing"),
        {Rig(R"({"kind": "bridge_wrong_id", "board": "N", "id": "0x110"})"),
         "faults[0].id\": id 0x110 with major 1 and minor 1 is what the board's bridge reports: no fault"},
        {R"({"boards": [{"tag": "N", "kind": "nuxa", "bridge_revision": {"major": 2, "minor": 5}}],
            "faults": [{"kind": "bridge_wrong_id", "board": "N", "id": 272, "major": 2, "minor": 5}]})",
         "faults[0].id\": id 0x110 with major 2 and minor 5 is what the board's bridge reports: no fault"},
        F(R"("kind": "dma_wrong_tag", "channel": 1, "tag": 4096)", "tag\": value 4096 is out of range 0..4095"),
        // A box fault names a command the box answers to, and a status its reply can carry.
        Box(R"("kind": "box_command_fails", "command": "SetHVInputFormat")",
            "command\": \"SetHVInputFormat\" is named without its Set/Get prefix: \"HVInputFormat\""),
        Box(R"("kind": "box_reply_corrupt", "command": "GetHWConfigFB")", "command\": \"GetHWConfigFB\" is named without its Set/Get prefix: \"HWConfigFB\""),
        Box(R"("kind": "box_command_fails", "command": "HVInputFromat")", "command\": \"HVInputFromat\" is not a command of the breakout box"),
        Box(R"("kind": "box_command_fails", "command": "hvinputformat")", "command\": \"hvinputformat\" is not a command of the breakout box"),
        Box(R"("kind": "box_reply_corrupt", "command": "")", "command\": \"\" is not a command of the breakout box"),
        Box(R"("kind": "box_command_fails", "command": "IOMode", "status": 22)", "status\": value 22 is out of range 0..21"),
        Box(R"("kind": "box_command_fails", "command": "IOMode", "status": 255)", "status\": value 255 is out of range 0..21"),
        Box(R"("kind": "box_command_fails", "command": "IOMode", "status": 1)", "status\": status 1 is success, no fault"),
    };
    RigConfig rig;
    std::string error;
    EXPECT_FALSE(sim::ParseRig(R"({"boards": [)", "bad.json", rig, error));
    EXPECT_EQ(error.rfind("rig file \"bad.json\": not valid JSON: ", 0), 0u) << error;
    for (const BadRig& row : rows) {
        EXPECT_FALSE(sim::ParseRig(row.text, "bad.json", rig, error)) << row.message;
        EXPECT_EQ(error.rfind("rig file \"bad.json\": key \"" + row.message, 0), 0u) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

}  // namespace
