// The main job end to end: bin/pexhost loads the plug-in, lists both boards' trees and runs the
// default tree on the default rig (and on rigs or switches a station may have), as an operator would.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "tests/host/host_process.h"
#include "tests/support/file_powers.h"
#include "tests/support/save_checks.h"
#include "tests/support/temp_dir.h"

namespace {

using support::ReadText;

// A fresh folder the host runs in (it writes "CmdLine" there), removed afterwards.
class WorkDir : public support::TempDir {
public:
    // Runs bin/pexhost here with its output in files, nothing on stdin, colours off.
    HostRun Host(std::vector<std::string> args) const {
        args.insert(args.begin(), "--color=never");
        return RunHost(args, Path());
    }
};

bool Has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

// What "--list" shows of a shipped tree file on the board called device: the board word becomes
// the device; a node is "[ ]" when marked "`(Unchecked)", else "[x]"; folders end in "/"; two
// blanks per level. Outside engineering mode the "Manufacturing" folder is left out (its content
// moves up a level). leaves collects the leaf paths. Conditions leave the names; without the other
// board of the pair, folders that require it are left out, and so are the connector loopback folders
// without the switch that says the loopback is fitted.
std::string ExpectedListing(const std::string& tree, const std::string& device, bool engineering,
                            std::vector<std::string>* leaves = nullptr, bool paired = true, bool loopbackFitted = false) {
    std::ifstream in(platform::GetProgramDir() + tree);
    EXPECT_TRUE(in) << tree;
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') lines.push_back(line);
    std::string listing;
    std::vector<std::string> path;  // the names of the open folders, the device first
    size_t skipped = std::string::npos;  // depth of a left-out folder
    for (size_t i = 0; i < lines.size(); ++i) {
        const size_t depth = lines[i].find_first_not_of('\t');
        if (depth == std::string::npos) continue;
        std::string text = lines[i].substr(depth);
        if (skipped != std::string::npos && depth >= skipped) {
            if (depth == skipped && text == "}") skipped = std::string::npos;
            continue;
        }
        if (text == "{" || text == "}") continue;
        const bool needsPartner = Has(text, "&(Requirement=Nuxa)") || Has(text, "&(Requirement=Brimola)");
        if ((!paired && needsPartner) || (!loopbackFitted && Has(text, "&(Requirement=NulkLoopback)"))) {
            skipped = depth;
            continue;
        }
        for (size_t at; (at = text.find(" &(")) != std::string::npos;) text.erase(at, text.find(')', at) + 1 - at);
        const bool folder = i + 1 < lines.size() && lines[i + 1].find('{') != std::string::npos;
        std::string name = text.substr(0, std::min(text.find(" <"), text.find('`')));
        if (depth == 0) name = device;
        if (!engineering && depth == 1 && name == "Manufacturing") continue;
        const size_t level = engineering || depth == 0 ? depth : depth - 1;
        path.resize(level);
        path.push_back(name);
        const char* mark = Has(text, "`(Unchecked)") ? "[ ] " : "[x] ";
        listing += std::string(2 * level, ' ') + mark + name + (folder ? "/" : "") + "\n";
        if (!folder && leaves) {
            std::string joined = path[0];
            for (size_t n = 1; n < path.size(); ++n) joined += "/" + path[n];
            leaves->push_back(joined);
        }
    }
    return listing;
}

// Every leaf of the given manufacturing trees ran and passed, and the summary counts them all.
void ExpectEveryLeafPasses(const HostRun& run, const std::vector<std::pair<std::string, std::string>>& trees,
                           bool paired = true) {
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    std::vector<std::string> leaves;
    for (const auto& [tree, device] : trees) ExpectedListing(tree, device, false, &leaves, paired);
    for (const std::string& leaf : leaves) EXPECT_TRUE(Has(run.out, "[PASS]    " + leaf + "  (")) << leaf;
    const std::string count = std::to_string(leaves.size());
    EXPECT_TRUE(Has(run.out, count + " tests: " + count + " passed, 0 failed, 0 stopped, 0 not run\n")) << run.out;
}

TEST(MainJob, TheHostListsBothBoardsTreesInEitherMode) {
    const struct {
        std::vector<std::string> args;
        std::string before;  // what comes just before the two listings
        bool engineering;
    } rows[] = {
        {{"--list"}, "Nuxa diagnostics are in Manufacturing mode\n\nNuxa Revisions:\n", false},
        // Engineering mode shows the start-up calibration's clock window and each board's own subtree.
        {{"--list", "-ENGINEERING"}, "Nuxa Revisions:\n\nClock Window Begins: 110 Clock Window Ends: 210\nSetting clock value to 160\n\n", true},
    };
    for (const auto& row : rows) {
        const HostRun run = WorkDir().Host(row.args);
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        const std::string suffix = row.engineering ? "_Eng.txt" : "_Mfg.txt";
        EXPECT_TRUE(Has(run.out, row.before + ExpectedListing("BrimolaTree" + suffix, "Brimola1", row.engineering) +
                                     ExpectedListing("NuxaTree" + suffix, "Nuxa1", row.engineering)))
            << run.out;
        EXPECT_NE(Has(run.out, "Manufacturing mode"), row.engineering);
        EXPECT_EQ(Has(run.out, "Create class CBrimolaBoard\n"), row.engineering) << "engineering mode announces its objects";
        EXPECT_FALSE(Has(run.out, "ERROR")) << run.out;
    }
}

TEST(MainJob, TheDefaultTreePassesOnTheDefaultRig) {
    WorkDir dir;
    const HostRun run = dir.Host({"--junit", "report.xml"});
    ExpectEveryLeafPasses(run, {{"BrimolaTree_Mfg.txt", "Brimola1"}, {"NuxaTree_Mfg.txt", "Nuxa1"}});
    EXPECT_TRUE(Has(run.out, "\n--- CJastel SorbelinRAM_CE ---\n") && Has(run.out, "\n--- MemTestB  ---\n")) << run.out;
    const std::string report = ReadText(dir.File("report.xml"));
    EXPECT_TRUE(Has(report, "RAM Clock Enable") && !Has(report, "<failure")) << report;
}

TEST(MainJob, AStationWithoutTheCodecBoardRunsTheMainBoardAndSaysSo) {
    WorkDir dir;
    std::ofstream(dir.File("rig.json")) << R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "attached": {"breakout_box": true}}]})";
    const HostRun run = dir.Host({"--rig", dir.File("rig.json")});
    ExpectEveryLeafPasses(run, {{"BrimolaTree_Mfg.txt", "Brimola1"}}, false);
    EXPECT_TRUE(Has(run.out, "No Nuxa board was found: its tests are not published.\n") && !Has(run.out, "Nuxa1/")) << run.out;
}

// The engineering groups that need a loopback on a board's connector (switch -NULKLOOPBACK) pass on a
// station that has it: the loopback cable on both boards, or the breakout box on the codec board.
TEST(MainJob, TheConnectorLoopbackGroupsPassWhereTheLoopbackIsFitted) {
    const struct {
        const char* name;
        std::string rig;
        const char* filter;
    } rows[] = {
        {"loopback cable", ReadText(std::string(PEX_SOURCE_DIR) + "/testdata/rigs/loopback_cable.json"), "/Loopback Cable/"},
        {"box on the codec board",
         R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "attached": {"codec_port": "Nuxa1", "expansion_port": "Nuxa1"}},
                        {"tag": "Nuxa1", "kind": "nuxa", "attached": {"breakout_box": true}}]})",
         "Nuxa1/Engineering/Breakout Box/"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        WorkDir dir;
        std::ofstream(dir.File("rig.json")) << row.rig;
        const HostRun run = dir.Host({"--rig", dir.File("rig.json"), "--all", "-ENGINEERING", "-NULKLOOPBACK", row.filter});
        std::vector<std::string> leaves;
        for (const auto& [tree, device] : {std::pair<std::string, std::string>{"BrimolaTree_Eng.txt", "Brimola1"}, {"NuxaTree_Eng.txt", "Nuxa1"}})
            ExpectedListing(tree, device, true, &leaves, true, true);
        size_t count = 0;
        for (const std::string& leaf : leaves) {
            if (!Has(leaf + "/", row.filter)) continue;
            ++count;
            EXPECT_TRUE(Has(run.out, "[PASS]    " + leaf + "  (")) << leaf;
        }
        EXPECT_GT(count, 4u);
        const std::string n = std::to_string(count);
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_TRUE(Has(run.out, n + " tests: " + n + " passed, 0 failed, 0 stopped, 0 not run\n")) << run.out;
    }
    // Without the switch the groups are not published.
    const HostRun run = WorkDir().Host({"--list", "-ENGINEERING"});
    EXPECT_FALSE(Has(run.out, "Loopback Cable/") || Has(run.out, "Nuxa1/Engineering/Breakout Box")) << run.out;
}

// A board whose link source or link sink is dead fails the default run on either board's tree: each
// link runs in both directions there, so the stalled channel lies on the path of one of them.
struct DeadLinkRow {
    const char* board;  // the board the fault is on
    int channel;        // its stalled channel: 37 / 36 send over the codec / expansion port, 59 / 58 receive
    const char* leaf;   // the leaf that must fail, under "Video Paths/Board Links/" on both boards
    const char* healthy;  // the same port's other direction, which still passes
};

void PrintTo(const DeadLinkRow& row, std::ostream* os) { *os << row.board << " channel " << row.channel; }

class DeadBoardLink : public ::testing::TestWithParam<DeadLinkRow> {};

TEST_P(DeadBoardLink, FailsTheDefaultRun) {
    const DeadLinkRow& row = GetParam();
    WorkDir dir;
    std::ofstream(dir.File("rig.json"))
        << R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "attached": {"breakout_box": true,)"
        << R"( "codec_port": "Nuxa1", "expansion_port": "Nuxa1"}}, {"tag": "Nuxa1", "kind": "nuxa"}],)"
        << R"( "faults": [{"kind": "dma_stall", "board": ")" << row.board << R"(", "channel": )" << row.channel << "}]}";
    const HostRun run = dir.Host({"--rig", dir.File("rig.json")});
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    for (const char* board : {"Brimola1", "Nuxa1"}) {
        const std::string links = std::string(board) + "/Video Paths/Board Links/";
        EXPECT_TRUE(Has(run.out, "[FAIL]    " + links + row.leaf + "  (")) << board << " " << row.leaf << "\n" << run.out;
        EXPECT_TRUE(Has(run.out, "[PASS]    " + links + row.healthy + "  (")) << board << " " << row.healthy;
    }
    std::vector<std::string> leaves;
    for (const auto& [tree, device] : {std::pair{"BrimolaTree_Mfg.txt", "Brimola1"}, std::pair{"NuxaTree_Mfg.txt", "Nuxa1"}})
        ExpectedListing(tree, device, false, &leaves);
    // The diagnostics port's internal loopback of that port fails on the faulty board too.
    const std::string loop = std::string(row.board) + "/SCRport Diagnostics/" +
                             (row.channel == 37 || row.channel == 59 ? "Codec" : "Expansion") + " Port Link Internal Loopback";
    EXPECT_TRUE(Has(run.out, "[FAIL]    " + loop + "  (")) << loop;
    // The codec board's expansion sink also brings back the unpacker's expansion-port output.
    size_t failed = 3;
    if (std::string(row.board) == "Nuxa1" && row.channel == 58) {
        for (const char* chip : {"A", "B"})
            EXPECT_TRUE(Has(run.out, std::string("[FAIL]    Nuxa1/Codec Unpacker/Codec Chip ") + chip + "/Expansion Image  (")) << chip;
        failed += 2;
    }
    const std::string counts = std::to_string(leaves.size()) + " tests: " + std::to_string(leaves.size() - failed) + " passed, " +
                               std::to_string(failed) + " failed";
    EXPECT_TRUE(Has(run.out, counts)) << run.out;
}

// A rig that keeps its flash or clock word in a folder that is not there is refused at start, as
// any bad rig file is: one line naming the file and the key, exit status 2, nothing run or created.
// Where a run's files go: on the disk, on a disk of 4 MiB (a private mount), with no power to pass
// a file's permission bits (root gives it up: the file's mode binds as for its owner), or under a
// file size limit of 1 MiB.
enum class Station { Disk, SmallDisk, Barred, SizeLimit };

// The files a board keeps: a rig whose files cannot be kept is refused at start with one line that
// names the key, before anything is written. A flash image is made whole or not at all, and one
// that is there is the board's flash whatever it holds: a blank one fails the flash tests, also when
// it may not be written or bears the name of a dead process's temporary of the switch file. Through
// a link, the file is made where the link leads. A refused run clears the temporaries that runs
// killed outright left beside the image, which would keep the next run from making it.
TEST(MainJob, ARigWhoseFilesCannotBeKeptIsRefusedAtStartAndAnImageIsTheBoardsFlashOrNone) {
    enum class After { Absent, Unchanged, Made };  // Made: whole, a store holding the word calibrated at start
    // The image there before the run: 8 MiB of holes, as truncate makes one; or a healthy one with a
    // bit of its PCI image changed, which fails that image's check alone.
    enum class Before { None, Blank, Altered };
    struct Row {
        const char* name;
        std::string file;  // the board's flash image, or with a '=' first its clock store; "link->target" a link
        Before before;
        mode_t mode;       // its permission bits (0644 when 0)
        Station station;
        std::vector<std::string> args;
        int status;
        std::string says;  // stderr, or with a '[' first stdout
        After after;
        // The board that keeps the file; the codec board's rows give the main board an image too,
        // "b.flash" on the disk, which the run makes before the codec board's or not at all.
        const char* board = "Brimola1";
        After mainImage = After::Absent;
        // 1 MiB beside the file before the run, named as a temporary of a save of it: of a run
        // killed outright, or of a process still running.
        std::string beside = "";
        bool besideStays = false;
    } const rows[] = {
        {"an image in a missing folder", "gone/b.flash", Before::None, 0, Station::Disk, {"--list"}, 2,
         "rig.json\": key \"boards[0].flash.image\": the folder \"gone\" of \"gone/b.flash\" does not exist", After::Absent},
        {"a store in a missing folder", "=gone/b.clock", Before::None, 0, Station::Disk, {"--list"}, 2,
         "rig.json\": key \"boards[0].memory_clock.store\": the folder \"gone\" of \"gone/b.clock\" does not exist", After::Absent},
        {"a new image on a disk too small for it", "small/b.flash", Before::None, 0, Station::SmallDisk, {"--list"}, 2,
         "key \"boards[0].flash.image\": flash image \"small/b.flash\": cannot be created: The disk is full.\n", After::Absent},
        {"a blank image on a full disk", "small/b.flash", Before::Blank, 0, Station::SmallDisk, {"Flash and Controller"}, 2,
         "key \"boards[0].flash.image\": flash image \"small/b.flash\": its blocks cannot be reserved: The disk is full.\n", After::Unchanged},
        {"a new image past the size limit", "b.flash", Before::None, 0, Station::SizeLimit, {"--list"}, 2,
         "flash image \"b.flash\": cannot be created: The disk is full. The file is too large for the size limit", After::Absent},
        {"a blank image that may not be read", "b.flash", Before::Blank, 0200, Station::Barred, {"Flash and Controller"}, 2,
         "key \"boards[0].flash.image\": \"b.flash\" cannot be read: Permission denied\n", After::Unchanged},
        {"a blank image", "b.flash", Before::Blank, 0, Station::Disk, {"Flash and Controller"}, 1, "[18 tests: 10 passed, 7 failed, 1 stopped", After::Unchanged},
        {"a blank image that may not be written", "b.flash", Before::Blank, 0444, Station::Barred, {"Flash and Controller"}, 1,
         "board \"Brimola1\": flash image \"b.flash\" cannot be written (Permission denied): the board runs on its contents and keeps no changes\n",
         After::Unchanged},
        {"a blank image named as a dead process's temporary of the switch file", ".CmdLine.99999.1.a", Before::Blank, 0, Station::Disk,
         {"Flash and Controller"}, 1, "[18 tests: 10 passed, 7 failed, 1 stopped", After::Unchanged},
        {"a store linked into a missing folder", "=b.clock->gone/b.clock", Before::None, 0, Station::Disk, {"--list"}, 2,
         "rig.json\": key \"boards[0].memory_clock.store\": the folder \"gone\" of \"gone/b.clock\" (where the link \"b.clock\" leads) does not exist",
         After::Absent},
        {"a store linked to a file not there yet", "=b.clock->later.clock", Before::None, 0, Station::Disk, {"--list"}, 0, "[[x] Brimola1/", After::Made},
        {"a new image beside a dead run's temporary of it on a disk too small for it", "small/b.flash", Before::None, 0, Station::SmallDisk, {"--list"}, 2,
         "key \"boards[0].flash.image\": flash image \"small/b.flash\": cannot be created: The disk is full.\n", After::Absent, "Brimola1",
         After::Absent, ".b.flash.99999999.1.a", false},
        {"a new image beside a running process's temporary of it on a disk too small for it", "small/b.flash", Before::None, 0, Station::SmallDisk,
         {"--list"}, 2, "key \"boards[0].flash.image\": flash image \"small/b.flash\": cannot be created: The disk is full.\n", After::Absent,
         "Brimola1", After::Absent, ".b.flash.1.1.a", true},
        // A later board's files, after the main board's.
        {"a later board's store in a missing folder", "=gone/n.clock", Before::None, 0, Station::Disk, {"--list"}, 2,
         "rig.json\": key \"boards[1].memory_clock.store\": the folder \"gone\" of \"gone/n.clock\" does not exist", After::Absent, "Nuxa1"},
        {"a later board's image linked into a missing folder", "n.flash->gone/n.flash", Before::None, 0, Station::Disk, {"--list"}, 2,
         "rig.json\": key \"boards[1].flash.image\": the folder \"gone\" of \"gone/n.flash\" (where the link \"n.flash\" leads) does not exist",
         After::Absent, "Nuxa1"},
        {"a later board's image linked to a file not there yet", "n.flash->later.flash", Before::None, 0, Station::Disk, {"--list"}, 0, "[[x] Nuxa1/",
         After::Made, "Nuxa1", After::Made},
        {"a later board's new image on a disk too small for it, beside a dead run's temporary of it", "small/n.flash", Before::None, 0,
         Station::SmallDisk, {"--list"}, 2, "key \"boards[1].flash.image\": flash image \"small/n.flash\": cannot be created: The disk is full.\n",
         After::Absent, "Nuxa1", After::Made, ".n.flash.99999999.1.a", false},
        {"a later board's blank image on a full disk", "small/n.flash", Before::Blank, 0, Station::SmallDisk, {"--list"}, 2,
         "key \"boards[1].flash.image\": flash image \"small/n.flash\": its blocks cannot be reserved: The disk is full.\n", After::Unchanged,
         "Nuxa1", After::Made},
        {"a later board's blank image that may not be read", "n.flash", Before::Blank, 0200, Station::Barred, {"--list"}, 2,
         "key \"boards[1].flash.image\": \"n.flash\" cannot be read: Permission denied\n", After::Unchanged, "Nuxa1"},
        {"a later board's blank image", "n.flash", Before::Blank, 0, Station::Disk, {"Nuxa1/Flash and Controller"}, 1, "[9 tests: 1 passed, 7 failed, 1 stopped",
         After::Unchanged, "Nuxa1", After::Made},
        {"a later board's blank image that may not be written", "n.flash", Before::Blank, 0444, Station::Barred, {"Nuxa1/Flash and Controller"}, 1,
         "board \"Nuxa1\": flash image \"n.flash\" cannot be written (Permission denied): the board runs on its contents and keeps no changes\n",
         After::Unchanged, "Nuxa1", After::Made},
        // The board runs on what an image that may not be written holds, not on the healthy contents.
        {"an altered image that may not be written", "b.flash", Before::Altered, 0444, Station::Barred, {"Flash and Controller"}, 1,
         "[18 tests: 17 passed, 1 failed, 0 stopped", After::Unchanged},
        {"a later board's altered image that may not be written", "n.flash", Before::Altered, 0444, Station::Barred, {"Nuxa1/Flash and Controller"}, 1,
         "[9 tests: 8 passed, 1 failed, 0 stopped", After::Unchanged, "Nuxa1", After::Made},
    };
    const std::string blank(8u << 20, '\0');
    const auto rigText = [](const std::string& mainKeeps, const std::string& laterKeeps) {
        return R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "attached": {"breakout_box": true, )"
               R"("codec_port": "Nuxa1", "expansion_port": "Nuxa1"})" + mainKeeps + R"(}, {"tag": "Nuxa1", "kind": "nuxa")" + laterKeeps + "}]}";
    };
    // Each board's healthy image as a run makes it, with one bit of the PCI image's first block changed.
    std::vector<std::string> altered;
    {
        WorkDir made;
        made.Write("rig.json", rigText(R"(, "flash": {"image": "b.flash"})", R"(, "flash": {"image": "n.flash"})"));
        ASSERT_EQ(made.Host({"--rig", "rig.json", "--list"}).status, 0);
        for (const char* name : {"b.flash", "n.flash"}) {
            altered.push_back(made.Read(name));
            ASSERT_EQ(altered.back().size(), blank.size()) << name;
            altered.back()[0x401000] ^= 0x10;
        }
    }
    std::optional<std::string> privateMounts;  // once entered: "", or why they cannot be had
    std::string skipped;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WorkDir dir;
        const bool store = row.file[0] == '=';
        const size_t arrow = row.file.find("->");
        const std::string file = row.file.substr(store, arrow == std::string::npos ? std::string::npos : arrow - store);
        if (arrow != std::string::npos) std::filesystem::create_symlink(row.file.substr(arrow + 2), dir.File(file));
        const bool main = std::string(row.board) == "Brimola1";
        const std::string kept = (store ? R"(, "memory_clock": {"store": ")" : R"(, "flash": {"image": ")") + file + "\"}";
        dir.Write("rig.json", rigText(main ? kept : R"(, "flash": {"image": "b.flash"})", main ? "" : kept));
        if (row.station == Station::SmallDisk) {
            // A mount of this test's own, gone with its process.
            if (!privateMounts) privateMounts = support::EnterPrivateMounts();
            if (!privateMounts->empty()) {
                skipped += std::string("\n  ") + row.name;
                continue;
            }
            ASSERT_EQ(::mount("tmpfs", dir.MakeDir("small").c_str(), "tmpfs", 0, "size=4m"), 0) << std::strerror(errno);
        }
        const std::string& before = row.before == Before::Altered ? altered[main ? 0 : 1] : blank;
        if (row.before == Before::Blank) {
            dir.Write(file, "");
            std::filesystem::resize_file(dir.File(file), blank.size());
        }
        if (row.before == Before::Altered) dir.Write(file, before);
        const std::string beside = (std::filesystem::path(file).parent_path() / row.beside).string();
        if (!row.beside.empty()) dir.Write(beside, std::string(1u << 20, 't'));
        if (row.mode) ::chmod(dir.File(file).c_str(), row.mode);
        std::vector<std::string> args = {"--color=never", "--rig", "rig.json"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const HostRun run = RunHost(args, dir.Path(), {}, "", [&row] {
            if (row.station == Station::Barred && !support::GiveUpFileOverrides()) ::_exit(125);
            if (row.station != Station::SizeLimit) return;
            const struct rlimit limit = {1u << 20, 1u << 20};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
        EXPECT_EQ(run.status, row.status) << run.out << run.err;
        if (row.says[0] == '[') {
            EXPECT_TRUE(Has(run.out, row.says.substr(1))) << run.out;
        } else {
            EXPECT_TRUE(Has(run.err, row.says)) << run.err;
        }
        if (row.status == 2) {
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
            EXPECT_FALSE(Has(run.out, "[RUN]")) << run.out;
        }
        std::error_code none;
        EXPECT_EQ(std::filesystem::exists(dir.File(file), none), row.after != After::Absent);
        if (row.after == After::Unchanged) {
            ::chmod(dir.File(file).c_str(), 0644);  // read whatever its mode, by whoever runs the test
            EXPECT_TRUE(dir.Read(file) == before);
        }
        if (row.after == After::Made) {
            EXPECT_EQ(std::filesystem::is_symlink(dir.File(file)), arrow != std::string::npos) << "a link stays a link";
            EXPECT_TRUE(store ? dir.Read(file) == "0x000000A0\n" : dir.Read(file).size() == blank.size());
        }
        if (!main) {
            EXPECT_EQ(std::filesystem::exists(dir.File("b.flash"), none), row.mainImage == After::Made);
            EXPECT_TRUE(row.mainImage != After::Made || dir.Read("b.flash").size() == blank.size()) << "the main board's image stays whole";
        }
        EXPECT_FALSE(std::filesystem::exists(dir.File("gone")));
        if (row.station == Station::SmallDisk) {
            std::vector<std::string> left;
            if (row.before != Before::None) left.push_back(std::filesystem::path(file).filename().string());
            if (row.besideStays) left.push_back(row.beside);
            std::sort(left.begin(), left.end());
            EXPECT_EQ(support::Entries(dir.File("small")), left);
            ::umount(dir.File("small").c_str());
        }
    }
    if (!skipped.empty()) GTEST_SKIP() << "no disk of the test's own could be mounted (" << *privateMounts << "), so these rows did not run:" << skipped;
}

// A program folder of the test's own: the host, the library and its libraries and the tree files
// copied (what a refusal that failed could spoil), the rest linked to the built ones.
class ProgramCopy : public support::TempDir {
public:
    ProgramCopy() {
        const std::string bin = platform::GetProgramDir();
        for (const char* name : {"pexhost", "PexanoTests.so", "libpexdevice.so", "libpexplatform.so", "libpexyorbflow.so",
                                 "libpexyorbwire.so", "BrimolaTree_Mfg.txt", "NuxaTree_Mfg.txt", "BrimolaTree_Eng.txt", "NuxaTree_Eng.txt",
                                 "Environment.txt", "DeviceCompatiblity.txt"})
            std::filesystem::copy_file(bin + name, File(name));
        for (const char* name : {"testdata", "system", "InitPexano"})
            std::filesystem::create_symlink(bin + name, File(name));
    }
    HostRun Host(std::vector<std::string> args, const std::string& cwd) const {
        args.insert(args.begin(), "--color=never");
        return RunHost(args, cwd, {}, File("pexhost"));
    }
};

// Nothing the run loads, reads or keeps its boards in is written over by a log or a report, nor by
// the rig's clock store: the run is refused before any output is opened or the store written, and
// the file stays whole.
TEST(MainJob, ALogOrReportOverAFileTheRunLoadsOrKeepsIsRefusedAndATestsSaveOverTheLogFails) {
    ProgramCopy program;
    WorkDir dir;
    std::ofstream(dir.File("rig.json")) << R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "attached": {"breakout_box": true},)"
                                        << R"( "flash": {"image": "flash.img"}, "memory_clock": {"store": "clock.txt"}}]})";
    // The rig's clock store, on files of their own or on one the host's outputs are: the rig is
    // refused before anything is written.
    program.Write("Own.txt", ReadText(program.File("BrimolaTree_Mfg.txt")));
    dir.Write("earlier.log", "Log of pexhost, the Pexano test host\nan earlier run\n");
    dir.Write("earlier.xml", "<testsuites name=\"an earlier run\"/>\n");
    // A store holds the clock word alone, as the board writes it: any other file is refused, here
    // before the protected files the library names as it starts are known.
    program.Write("KEZO0202.oxd", ReadText(program.File("testdata/KEZO0202.oxd")));
    dir.Write("notes.txt", "Station 4: the fan of the left rack is loud\n");
    // Past the bytes a store can hold, whatever the first of them are.
    dir.Write("late-notes.txt", std::string(300, '\n') + "Station 4: the fan of the left rack is loud\n");
    // A clock word with more after it: not what the board writes.
    dir.Write("word-text.txt", "160 abc\n");
    dir.Write("word-notes.txt", "160\nStation 4: the fan of the left rack is loud\nStation 5: calibrated on Monday\n");
    const std::string other = "\" holds something other than a clock word";
    // holds: the contents kept has for the row's run (a store over another file that holds a clock
    // word); board: the board whose store it is.
    struct Row {
        const char* name; std::vector<std::string> args; std::string kept; std::string err; std::string store = ""; std::string holds = "";
        const char* board = "Brimola1";
    } const rows[] = {
        {"log over a library the host loads", {"--log", program.File("libpexplatform.so")}, program.File("libpexplatform.so"), "is a library the run loaded"},
        {"log over a library the library loads", {"--log", program.File("libpexdevice.so")}, program.File("libpexdevice.so"), "is a library the run loaded"},
        {"report over a library the library loads", {"--junit", program.File("libpexyorbflow.so")}, program.File("libpexyorbflow.so"), "is a library the run loaded"},
        {"log over the main board's tree", {"--log", program.File("BrimolaTree_Mfg.txt")}, program.File("BrimolaTree_Mfg.txt"), "is a test tree file"},
        {"report over the codec board's tree", {"--junit", program.File("NuxaTree_Mfg.txt")}, program.File("NuxaTree_Mfg.txt"), "is a test tree file"},
        // The rig, which the library checks as it loads, says it.
        {"log over the rig's flash image", {"--rig", "rig.json", "--log", "flash.img"}, dir.File("flash.img"),
         "key \"boards[0].flash.image\": \"flash.img\" is the host's log"},
        {"report over the rig's clock store", {"--rig", "rig.json", "--junit", "clock.txt"}, dir.File("clock.txt"),
         "key \"boards[0].memory_clock.store\": \"clock.txt\" is the host's report"},
        {"log over the program folder's environment file", {"--log", program.File("Environment.txt")}, program.File("Environment.txt"),
         "is the library's environment file"},
        {"report over the program folder's compatibility rules", {"--junit", program.File("DeviceCompatiblity.txt")},
         program.File("DeviceCompatiblity.txt"), "is the library's compatibility rules file"},
        {"the rig's clock store over an earlier log", {"--log", "earlier.log"}, dir.File("earlier.log"),
         "key \"boards[0].memory_clock.store\": \"earlier.log\" is the host's log", "earlier.log"},
        {"the rig's clock store over an earlier report", {"--junit", "earlier.xml"}, dir.File("earlier.xml"), "\"earlier.xml\" is the host's report",
         "earlier.xml"},
        {"the rig's clock store over the switch file", {"-ENGINEERING", "-Config=Own.txt"}, program.File("Own.txt"), "\"CmdLine\" is the switch file",
         "CmdLine"},
        {"the rig's clock store over a library the library loads", {}, program.File("libpexyorbwire.so"),
         "libpexyorbwire.so\" is a library the run loaded", program.File("libpexyorbwire.so")},
        // Files the library protects as it starts, the codec root's tree before the main root calibrates.
        {"the rig's clock store over the program folder's environment file holding a clock word", {}, program.File("Environment.txt"),
         program.File("Environment.txt") + " is the library's environment file and the rig's memory clock store of Brimola1",
         program.File("Environment.txt"), "160\n"},
        {"the rig's clock store over the codec board's tree", {}, program.File("NuxaTree_Mfg.txt"), program.File("NuxaTree_Mfg.txt") + other,
         program.File("NuxaTree_Mfg.txt")},
        {"the rig's clock store over a private tree", {"-Config=Own.txt"}, program.File("Own.txt"), program.File("Own.txt") + other,
         program.File("Own.txt")},
        {"the rig's clock store over the engineering tree in a manufacturing run", {}, program.File("BrimolaTree_Eng.txt"),
         program.File("BrimolaTree_Eng.txt") + other, program.File("BrimolaTree_Eng.txt")},
        {"the rig's clock store over the manufacturing tree in an engineering run", {"-ENGINEERING"}, program.File("NuxaTree_Mfg.txt"),
         program.File("NuxaTree_Mfg.txt") + other, program.File("NuxaTree_Mfg.txt")},
        {"the rig's clock store over a firmware file", {}, program.File("KEZO0202.oxd"), program.File("KEZO0202.oxd") + other,
         program.File("KEZO0202.oxd")},
        {"the rig's clock store over station notes", {}, dir.File("notes.txt"), "\"notes.txt" + other, "notes.txt"},
        {"the rig's clock store over station notes that start with blank lines", {}, dir.File("late-notes.txt"), "\"late-notes.txt" + other,
         "late-notes.txt"},
        {"the rig's clock store over a clock word followed by other text", {}, dir.File("word-text.txt"), "\"word-text.txt" + other, "word-text.txt"},
        // A later board's store, after the main board's.
        {"a later board's clock store over an earlier log", {"--log", "earlier.log"}, dir.File("earlier.log"),
         "key \"boards[1].memory_clock.store\": \"earlier.log\" is the host's log", "earlier.log", "", "Nuxa1"},
        {"a later board's clock store over the program folder's environment file holding a clock word", {}, program.File("Environment.txt"),
         program.File("Environment.txt") + " is the library's environment file and the rig's memory clock store of Nuxa1",
         program.File("Environment.txt"), "160\n", "Nuxa1"},
        {"a later board's clock store over the main board's tree", {}, program.File("BrimolaTree_Mfg.txt"),
         "key \"boards[1].memory_clock.store\": \"" + program.File("BrimolaTree_Mfg.txt") + other, program.File("BrimolaTree_Mfg.txt"), "", "Nuxa1"},
        {"a later board's clock store over station notes that start with blank lines", {}, dir.File("late-notes.txt"),
         "key \"boards[1].memory_clock.store\": \"late-notes.txt" + other, "late-notes.txt", "", "Nuxa1"},
        {"a later board's clock store over a clock word followed by notes", {}, dir.File("word-notes.txt"),
         "key \"boards[1].memory_clock.store\": \"word-notes.txt" + other, "word-notes.txt", "", "Nuxa1"},
        // --list writes no report: the one named stays as it is.
        {"the rig's clock store over a report under --list", {"--list", "--junit", "earlier.xml"}, dir.File("earlier.xml"),
         "\"earlier.xml\" is the host's report", "earlier.xml"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> args = row.args;
        if (!args.empty() && args[0] == "--rig") {
            ASSERT_EQ(program.Host({"--rig", "rig.json", "--list"}, dir.Path()).status, 0);  // makes the rig's files
        }
        if (!row.store.empty()) {
            const bool main = std::string(row.board) == "Brimola1";
            const std::string store = R"(, "memory_clock": {"store": ")" + row.store + "\"}";
            dir.Write("store.json", R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "attached": {"breakout_box": true, "codec_port": "Nuxa1",)"
                                    R"( "expansion_port": "Nuxa1"})" + (main ? store : "") + R"(}, {"tag": "Nuxa1", "kind": "nuxa")" +
                                        (main ? "" : store) + "}]}");
            args.insert(args.begin(), {"--rig", "store.json"});
        }
        const std::string own = ReadText(row.kept);
        if (!row.holds.empty()) std::ofstream(row.kept, std::ios::binary) << row.holds;
        const std::string before = ReadText(row.kept);
        ASSERT_FALSE(before.empty());
        const HostRun run = program.Host(args, dir.Path());
        EXPECT_EQ(run.status, 2) << run.out;
        EXPECT_TRUE(Has(run.err, row.err) && Has(run.err, ": refusing to write over it")) << run.err;
        EXPECT_FALSE(Has(run.out, "[RUN]")) << run.out;
        EXPECT_TRUE(ReadText(row.kept) == before) << "the file is whole";
        if (!row.holds.empty()) std::ofstream(row.kept, std::ios::binary) << own;
    }
    // A test's save or append over one of them fails and says why, and the file stays whole; the
    // log keeps the whole run. The leaves before a row's last one map its log and pass.
    std::ofstream(dir.File("rig.txt")) << R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "memory_clock": {"store": "clock.txt"}},)"
                                       << R"( {"tag": "Nuxa1", "kind": "nuxa", "vpd": {"SN": "rig"}}]})";  // MemBist's line goes to "<SN>.txt"
    const std::string summary = "<CWexal \"Host Transfer:Packed Image\" FRAMES=2 ADDRESS=0x1000>";
    const std::string memory = " FORMAT=Binary ADDRESS=0x0 SIZE=0x100>";
    struct Save { const char* name; const char* board; std::vector<std::string> leaves; std::string kept; std::string says; } const saves[] = {
        {"summary over the rig file", "Brimola", {"<CBrimolaBoard FileMap FILE=C:\\rig.txt NAME=Summary>", summary}, dir.File("rig.txt"), "/rig.txt is the rig file"},
        {"summary over the clock store", "Brimola", {"<CBrimolaBoard FileMap FILE=clock.txt NAME=Summary>", summary}, dir.File("clock.txt"),
         "/clock.txt is the rig's memory clock store of Brimola1"},
        {"summary over the log", "Brimola", {"<CBrimolaBoard FileMap FILE=run.log NAME=Summary>", summary}, "", "/run.log is the host's log"},
        {"save over the log", "Brimola", {"<CWexal Save Memory To File FILE=run.log" + memory}, "", "/run.log is the host's log"},
        // A path in brackets is one value, whatever blanks the scratch folder holds.
        {"save over the environment file", "Brimola", {"<CWexal Save Memory To File FILE=" + support::Bracketed(program.File("Environment.txt")) + memory},
         program.File("Environment.txt"), program.File("Environment.txt") + " is the library's environment file"},
        {"save over the compatibility rules", "Nuxa", {"<CWexal Save Memory To File FILE=" + support::Bracketed(program.File("DeviceCompatiblity.txt")) + memory},
         program.File("DeviceCompatiblity.txt"), program.File("DeviceCompatiblity.txt") + " is the library's compatibility rules file"},
        {"MemBist line over the rig file", "Nuxa",
         {"<CSorbelinUnpackerA \"MemBist Range\" SAVE=Yes RANGE=(0x48,0x50) STEP=8 FPGA=$(CWD)\\testdata\\UPQE$(VPDVER).oxd>"}, dir.File("rig.txt"),
         "/rig.txt is the rig file"},
        {"copy over the switch file", "Nuxa", {"<CNuxaBoard Copy File SRC=$(CWD)\\Environment.txt DST=CmdLine -OVERWRITE>"}, "", "/CmdLine is the switch file"},
        // The capture opens a file that is there for update, to see whether it is free.
        {"BMP capture over the rig file", "Brimola",
         {"<CWexal \"Save BMP Image\" ADDRESS=@DCB(57,1,1) DIM=(128,64) FORMAT=Image:YCbCr_8bit FILE=C:\\rig.txt>"}, dir.File("rig.txt"),
         "/rig.txt is the rig file"},
    };
    std::string tree;
    for (const char* board : {"Brimola", "Nuxa"}) {
        tree += std::string(board) + "\n{\n";
        for (const Save& save : saves) {
            if (std::string(save.board) != board) continue;
            tree += std::string("\t") + save.name + "`(Checked)\n\t{\n";
            for (size_t i = 0; i < save.leaves.size(); ++i) tree += "\t\tStep " + std::to_string(i) + " " + save.leaves[i] + "`(Checked)\n";
            tree += "\t}\n";
        }
        tree += "}\n";
    }
    std::ofstream(program.File("Saves.txt")) << tree;
    std::vector<std::string> kept;
    for (const Save& save : saves) kept.push_back(save.kept.empty() ? "" : ReadText(save.kept));
    const HostRun run = program.Host({"--rig", "rig.txt", "--log", "run.log", "-Config=Saves.txt"}, dir.Path());
    EXPECT_EQ(run.status, 1);
    for (size_t i = 0; i < std::size(saves); ++i) {
        const Save& save = saves[i];
        SCOPED_TRACE(save.name);
        const std::string leaf = std::string("/") + save.name + "/Step ";
        const size_t last = run.out.find(leaf + std::to_string(save.leaves.size() - 1) + "  (");
        ASSERT_NE(last, std::string::npos) << run.out;
        const size_t start = run.out.rfind("[RUN]", last);
        EXPECT_EQ(run.out.compare(run.out.rfind('\n', last) + 1, 6, "[FAIL]"), 0) << run.out;
        EXPECT_NE(run.out.substr(start, last - start).find(save.says + ", which this run must not write over.\n"), std::string::npos) << run.out;
        EXPECT_TRUE(save.kept.empty() || ReadText(save.kept) == kept[i]) << "the file is whole";
    }
    EXPECT_TRUE(ReadText(dir.File("CmdLine")).starts_with("pexhost "));
    EXPECT_TRUE(Has(ReadText(dir.File("run.log")), "12 tests: 3 passed, 9 failed, 0 stopped, 0 not run\n")) << run.out;
}

// A board on the rig whose tree file cannot be read, or publishes no test for it, leaves it
// untested: the other board's tests still run, but the run cannot pass, and the report stays as it
// was. A private tree ("-Config") that publishes nothing at all is the same fault for both boards.
TEST(MainJob, ABoardWhoseTreeCannotBeReadMakesTheRunUntrusted) {
    ProgramCopy program;
    WorkDir dir;
    std::string noise(20000, '\0');
    std::mt19937 random(54);
    for (char& c : noise) c = static_cast<char>(random());
    struct Row {
        const char* name;
        const char* file;
        std::optional<std::string> content;  // none: no such file
        const char* board;                   // whose tests are not published
        const char* stillRuns;               // a result of the other board's, or none
        std::vector<std::string> switches{};
        unsigned long long size = 0;  // the shipped tree made this long with zeros (sparse), past what a tree may be
    } const rows[] = {
        {"missing", "BrimolaTree_Mfg.txt", std::nullopt, "Brimola", "[PASS]    Nuxa1/"},
        {"empty", "BrimolaTree_Mfg.txt", "", "Brimola", "[PASS]    Nuxa1/"},
        // Nodes that publish nothing: a group without a leaf, the only leaf in the other mode, noise.
        {"a group without a leaf", "NuxaTree_Mfg.txt", "Nuxa { Manufacturing { Board Information`(Checked) { } } }\n", "Nuxa",
         "[PASS]    Brimola1/"},
        {"the only leaf under Engineering", "BrimolaTree_Mfg.txt",
         "Brimola\n{\n\tEngineering\n\t{\n\t\tSummary\n\t\t{\n\t\t\tTest Summary <CBrimolaBoard Show Test Summary>\n\t\t}\n\t}\n}\n",
         "Brimola", "[PASS]    Nuxa1/"},
        {"random bytes", "NuxaTree_Mfg.txt", noise, "Nuxa", "[PASS]    Brimola1/"},
        // A production tree is no private tree: the other board's tests are none of its own board's.
        {"only the other board's tests", "BrimolaTree_Mfg.txt",
         "Nuxa\n{\n\tBoard Controller\n\t{\n\t\tRAM Clock Enable <CJastel SorbelinRAM_CE>\n\t}\n}\n", "Brimola", "[PASS]    Nuxa1/"},
        {"a private tree whose only group has no leaf", "MY.TXT", "Brimola\n{\n\tSummary`(Checked)\n\t{\n\t}\n}\n", "Brimola",
         nullptr, {"-Config=My.txt"}},
        // Read whole, the zeros would be skipped and the shipped tree published.
        {"larger than a tree may be", "NuxaTree_Mfg.txt", "", "Nuxa", "[PASS]    Brimola1/", {}, 2ull << 30},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string tree = program.File(row.file);
        const bool shipped = std::filesystem::exists(tree);
        const std::string original = shipped ? ReadText(tree) : "";
        std::filesystem::remove(tree);
        if (row.content) std::ofstream(tree, std::ios::binary) << (row.size ? original : *row.content);
        if (row.size) std::filesystem::resize_file(tree, row.size);
        dir.Write("r.xml", "<testsuites/>\n");
        std::vector<std::string> args = {"--junit", "r.xml"};
        args.insert(args.end(), row.switches.begin(), row.switches.end());
        const HostRun run = program.Host(args, dir.Path());
        std::filesystem::remove(tree);
        if (shipped) std::ofstream(tree) << original;
        const std::string says = row.size      ? "Unable to read " + tree + " (more than 2 GiB, larger than a test tree file may be)"
                                 : row.content ? tree + " holds no test"
                                               : "Unable to read " + tree;
        EXPECT_EQ(run.status, 2) << run.out;
        EXPECT_TRUE(Has(run.out, "*** ERROR:  " + says + "\n")) << run.out;
        EXPECT_TRUE(row.stillRuns ? Has(run.out, row.stillRuns) : !Has(run.out, "[RUN]")) << run.out;
        EXPECT_TRUE(Has(run.err, std::string("the run cannot be trusted: the ") + row.board + " board's tests are not published: " + says))
            << run.err;
        EXPECT_EQ(ReadText(dir.File("r.xml")), "<testsuites/>\n");
    }
}

constexpr const char* kCodecOut = "Codec Port Over the Top Brimola to Nuxa";
constexpr const char* kCodecIn = "Codec Port Over the Top Nuxa to Brimola";
constexpr const char* kExpansionOut = "Expansion Port Over the Top Brimola to Nuxa";
constexpr const char* kExpansionIn = "Expansion Port Over the Top Nuxa to Brimola";

INSTANTIATE_TEST_SUITE_P(MainJob, DeadBoardLink,
                         ::testing::Values(DeadLinkRow{"Brimola1", 37, kCodecOut, kCodecIn},  // main board's source
                                           DeadLinkRow{"Brimola1", 59, kCodecIn, kCodecOut},  // main board's sink
                                           DeadLinkRow{"Nuxa1", 37, kCodecIn, kCodecOut},     // codec board's source
                                           DeadLinkRow{"Nuxa1", 59, kCodecOut, kCodecIn},     // codec board's sink
                                           DeadLinkRow{"Brimola1", 36, kExpansionOut, kExpansionIn},
                                           DeadLinkRow{"Brimola1", 58, kExpansionIn, kExpansionOut},
                                           DeadLinkRow{"Nuxa1", 36, kExpansionIn, kExpansionOut},
                                           DeadLinkRow{"Nuxa1", 58, kExpansionOut, kExpansionIn}),
                         [](const ::testing::TestParamInfo<DeadLinkRow>& info) {
                             return std::string(info.param.board) + "Channel" + std::to_string(info.param.channel);
                         });

}  // namespace
