// Rig descriptions: the default rig and a strict JSON reader that names the file and key of every error.
#include "sim/rig_config.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "platform/file_identity.h"
#include "platform/number_text.h"
#include "sim/device_names.h"
#include "sim/i2c_parts.h"
#include "sim/mem_clock.h"
#include "sim/vpd.h"
#include "yorbflow/wire/command_table.h"

namespace sim {

namespace {

using Json = nlohmann::ordered_json;

// Thrown inside the reader only; ParseRig turns it into the one error line.
struct RigError {
    std::string key;
    std::string what;
};

[[noreturn]] void Fail(const std::string& key, const std::string& what) { throw RigError{key, what}; }

// Control characters of a key or value shown escaped, so that an error stays one line.
std::string OneLine(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (u < 0x20 || u == 0x7F) out += "\\x" + std::string(1, "0123456789ABCDEF"[u >> 4]) + "0123456789ABCDEF"[u & 15];
        else out += c;
    }
    return out;
}

// Where the JSON parser is, to name a key given twice in one object: the parser itself would
// silently keep the last.
struct KeyPath {
    struct Frame {
        bool array = false;
        size_t index = 0;
        std::string key;
        std::set<std::string> keys;
    };
    std::vector<Frame> frames;
    std::string duplicate;  // the first key given twice, as the reader names keys

    std::string Name(const std::string& key) const {
        std::string name;
        for (size_t i = 0; i + 1 < frames.size(); ++i) {
            if (frames[i].array) name += "[" + std::to_string(frames[i].index) + "]";
            else name += (name.empty() ? "" : ".") + frames[i].key;
        }
        return name.empty() ? key : name + "." + key;
    }
    void Step(Json::parse_event_t event, const Json& parsed) {
        using E = Json::parse_event_t;
        switch (event) {
        case E::object_start:
        case E::array_start:
            frames.push_back(Frame{event == E::array_start, 0, {}, {}});
            break;
        case E::key: {
            Frame& top = frames.back();
            top.key = parsed.get<std::string>();
            if (!top.keys.insert(top.key).second && duplicate.empty()) duplicate = Name(top.key);
            break;
        }
        case E::object_end:
        case E::array_end:
            frames.pop_back();
            [[fallthrough]];
        case E::value:
            if (!frames.empty() && frames.back().array) ++frames.back().index;
            break;
        }
    }
};

// Ranges are given in decimal, as docs/rig.md gives them.
std::string Range(int64_t lo, uint64_t hi) { return std::to_string(lo) + ".." + std::to_string(hi); }

// A number is a JSON integer or a string holding a decimal number or a 0x-prefixed hexadecimal
// one: no '+', no blanks, and a leading 0 does not make it octal ("0100" is a hundred). A minus
// or a number beyond 64 bits is reported as out of range with the text as written, never as the
// value it would wrap to.
int64_t ReadNumber(const Json& v, const std::string& key, int64_t lo, uint64_t hi) {
    bool negative = false;
    bool tooLong = false;  // beyond 64 bits
    uint64_t n = 0;
    std::string written;  // the number as the file writes it, when that is not a JSON integer
    if (v.is_number_unsigned()) {
        n = v.get<uint64_t>();
    } else if (v.is_number_integer()) {
        const int64_t i = v.get<int64_t>();
        negative = i < 0;
        n = negative ? 0 - static_cast<uint64_t>(i) : static_cast<uint64_t>(i);
    } else if (v.is_number_float()) {
        const double d = v.get<double>();
        if (d != std::floor(d) || std::fabs(d) < 9.2e18) Fail(key, "expected a whole number");
        tooLong = true;
        written = v.dump();
    } else if (v.is_string()) {
        const std::string s = v.get<std::string>();
        written = s;
        negative = s.size() > 1 && s[0] == '-';
        const char* digits = s.c_str() + (negative ? 1 : 0);
        const platform::UnsignedScan scan = platform::ScanUnsigned(digits);
        if (scan.end == digits || scan.end != s.c_str() + s.size())
            Fail(key, "\"" + s + "\" is not a number (decimal or 0x hexadecimal)");
        n = scan.value;
        tooLong = scan.overflow;
    } else {
        Fail(key, "expected a number");
    }
    if (negative && n == 0) negative = false;  // "-0" is 0, held to the range like any 0
    const bool inside = !tooLong && (negative ? lo < 0 && n <= 0 - static_cast<uint64_t>(lo)
                                                     : (lo <= 0 || n >= static_cast<uint64_t>(lo)) && n <= hi);
    if (!inside) {
        if (written.empty()) written = (negative ? "-" : "") + std::to_string(n);
        Fail(key, "value " + written + " is out of range " + Range(lo, hi));
    }
    return negative ? static_cast<int64_t>(0 - n) : static_cast<int64_t>(n);
}

uint64_t ReadUnsigned(const Json& v, const std::string& key, uint64_t lo, uint64_t hi) {
    return static_cast<uint64_t>(ReadNumber(v, key, static_cast<int64_t>(lo), hi));
}

int ReadInt(const Json& v, const std::string& key, int lo, int hi) {
    return static_cast<int>(ReadNumber(v, key, lo, static_cast<uint64_t>(hi)));
}

bool ReadBool(const Json& v, const std::string& key) {
    if (!v.is_boolean()) Fail(key, "expected true or false");
    return v.get<bool>();
}

std::string ReadString(const Json& v, const std::string& key) {
    if (!v.is_string()) Fail(key, "expected a string");
    return v.get<std::string>();
}

void RequireObject(const Json& v, const std::string& key) {
    if (!v.is_object()) Fail(key.empty() ? std::string("(top level)") : key, "expected an object");
}

void CheckKeys(const Json& obj, const std::string& prefix, std::initializer_list<const char*> allowed) {
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        bool ok = false;
        for (const char* a : allowed) ok = ok || it.key() == a;
        if (!ok) Fail(prefix.empty() ? it.key() : prefix + "." + it.key(), "unknown key");
    }
}

std::string Join(const std::string& prefix, const char* key) { return prefix.empty() ? key : prefix + "." + key; }

void ReadVpd(const Json& v, const std::string& key, BoardConfig& board) {
    RequireObject(v, key);
    for (auto it = v.begin(); it != v.end(); ++it) {
        const std::string field = key + "." + it.key();
        const std::string& name = it.key();
        if (name.size() != 2 || !std::isalnum(static_cast<unsigned char>(name[0])) ||
            !std::isalnum(static_cast<unsigned char>(name[1])))
            Fail(field, "a product-data field name is two letters or digits");
        auto existing = board.vpd.begin();
        while (existing != board.vpd.end() && existing->first != name) ++existing;
        if (it.value().is_null()) {
            if (existing != board.vpd.end()) board.vpd.erase(existing);
            continue;
        }
        std::string text = ReadString(it.value(), field);
        if (text.size() > 255) Fail(field, "a product-data field holds at most 255 characters");
        if (existing != board.vpd.end()) existing->second = text;
        else board.vpd.emplace_back(name, text);
    }
    size_t bytes = 0;
    for (const auto& field : board.vpd) bytes += 3 + field.second.size();
    if (bytes > 990) Fail(key, "the product-data fields do not fit in the 1 KiB image");
}

// A tag starts every test path of its board and names the board in every test's command: the
// characters that the tree files, the record and host paths, the host's filters and the command's
// device word give a meaning to would turn the tag into something else there.
constexpr char kTagSpecials[] = "\\/`<>{}#*?[]\"";

void CheckTagText(const std::string& tag, const std::string& key) {
    const std::string rule = std::string("a tag is 1 to 31 characters without blanks, control characters or any of ") + kTagSpecials;
    if (tag.empty() || tag.size() > 31) Fail(key, rule);
    for (const char c : tag) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= ' ' || u == 0x7F) Fail(key, rule);
        if (std::strchr(kTagSpecials, c)) Fail(key, "tag \"" + tag + "\" holds \"" + c + "\": " + rule);
    }
}

void ReadBoard(const Json& b, const std::string& key, BoardConfig& board) {
    RequireObject(b, key);
    CheckKeys(b, key, {"tag", "kind", "sdram_mib", "revision", "vpd", "attached", "sensors", "memory_clock", "flash", "bridge_revision", "codec_sdram_mib"});
    if (!b.contains("kind")) Fail(Join(key, "kind"), "missing (\"brimola\" or \"nuxa\")");
    const std::string kind = ReadString(b["kind"], Join(key, "kind"));
    if (kind == "brimola") board = DefaultBoard(BoardKind::Brimola, "");
    else if (kind == "nuxa") board = DefaultBoard(BoardKind::Nuxa, "");
    else Fail(Join(key, "kind"), "\"" + kind + "\" is not a board kind (\"brimola\" or \"nuxa\")");
    if (!b.contains("tag")) Fail(Join(key, "tag"), "missing");
    board.tag = ReadString(b["tag"], Join(key, "tag"));
    CheckTagText(board.tag, Join(key, "tag"));
    if (b.contains("sdram_mib")) board.sdramBytes = ReadUnsigned(b["sdram_mib"], Join(key, "sdram_mib"), 8, 2048) << 20;
    if (b.contains("revision")) board.revision = static_cast<uint32_t>(ReadUnsigned(b["revision"], Join(key, "revision"), 0, 0xFFF));
    if (b.contains("vpd")) ReadVpd(b["vpd"], Join(key, "vpd"), board);
    if (b.contains("codec_sdram_mib")) {
        const std::string k = Join(key, "codec_sdram_mib");
        if (board.kind != BoardKind::Nuxa) Fail(k, "only a codec board has codec chips");
        RequireObject(b["codec_sdram_mib"], k);
        CheckKeys(b["codec_sdram_mib"], k, {"width32", "width64"});
        const char* names[2] = {"width32", "width64"};
        for (int w = 0; w < 2; ++w)
            if (b["codec_sdram_mib"].contains(names[w]))
                board.chipSdramBytes[w] = ReadUnsigned(b["codec_sdram_mib"][names[w]], k + "." + names[w], 1, 1024) << 20;
    }
    if (b.contains("bridge_revision")) {
        const std::string k = Join(key, "bridge_revision");
        if (board.kind != BoardKind::Nuxa) Fail(k, "only a codec board has the host-port bridge");
        RequireObject(b["bridge_revision"], k);
        CheckKeys(b["bridge_revision"], k, {"major", "minor"});
        if (b["bridge_revision"].contains("major"))
            board.bridgeMajor = static_cast<uint32_t>(ReadUnsigned(b["bridge_revision"]["major"], k + ".major", 0, 0xFF));
        if (b["bridge_revision"].contains("minor"))
            board.bridgeMinor = static_cast<uint32_t>(ReadUnsigned(b["bridge_revision"]["minor"], k + ".minor", 0, 0xFFF));
    }
    if (b.contains("attached")) {
        const std::string k = Join(key, "attached");
        RequireObject(b["attached"], k);
        CheckKeys(b["attached"], k, {"breakout_box", "loopback_cable", "codec_port", "expansion_port"});
        board.breakoutBox = board.loopbackCable = false;
        for (auto [name, port] : {std::pair{"codec_port", &board.codecPort}, std::pair{"expansion_port", &board.expansionPort}}) {
            if (!b["attached"].contains(name)) continue;
            *port = ReadString(b["attached"][name], k + "." + name);
            if (port->empty()) Fail(k + "." + name, "expected \"loopback\" or the tag of the board the cable reaches");
        }
        if (b["attached"].contains("breakout_box")) board.breakoutBox = ReadBool(b["attached"]["breakout_box"], k + ".breakout_box");
        if (b["attached"].contains("loopback_cable"))
            board.loopbackCable = ReadBool(b["attached"]["loopback_cable"], k + ".loopback_cable");
        if (board.breakoutBox && board.loopbackCable)
            Fail(k + ".loopback_cable", "the connector takes the breakout box or a loopback cable, not both");
    } else {
        board.breakoutBox = board.loopbackCable = false;
    }
    // I2C parts and memory clock settings.
    if (b.contains("sensors")) {
        const std::string k = Join(key, "sensors");
        RequireObject(b["sensors"], k);
        static const char* const kTemp[4] = {"local_temp_c", "fpga_temp_c", "remote2_temp_c", "remote3_temp_c"};
        static const char* const kLimit[4] = {"local_temp_limit_c", "fpga_temp_limit_c", "remote2_temp_limit_c",
                                              "remote3_temp_limit_c"};
        CheckKeys(b["sensors"], k, {kTemp[0], kTemp[1], kTemp[2], kTemp[3], kLimit[0], kLimit[1], kLimit[2], kLimit[3]});
        for (int c = 0; c < 4; ++c) {
            if (b["sensors"].contains(kTemp[c])) board.sensors.tempC[c] = ReadInt(b["sensors"][kTemp[c]], k + "." + kTemp[c], -40, 127);
            if (b["sensors"].contains(kLimit[c]))
                board.sensors.limitC[c] = ReadInt(b["sensors"][kLimit[c]], k + "." + kLimit[c], 1, 127);
        }
    }
    if (b.contains("memory_clock")) {
        const std::string k = Join(key, "memory_clock");
        const Json& m = b["memory_clock"];
        RequireObject(m, k);
        CheckKeys(m, k, {"window_low", "window_high", "store"});
        if (m.contains("window_low")) board.memoryClock.windowLow = ReadInt(m["window_low"], k + ".window_low", 0, 255);
        if (m.contains("window_high")) board.memoryClock.windowHigh = ReadInt(m["window_high"], k + ".window_high", 0, 255);
        if (board.memoryClock.windowHigh < board.memoryClock.windowLow)
            Fail(k + ".window_high", "the window ends before it starts");
        if (m.contains("store")) {
            board.memoryClock.store = ReadString(m["store"], k + ".store");
            if (board.memoryClock.store.empty()) Fail(k + ".store", "an empty file name");
        }
    }
    // Board controller: the flash PROM's image file.
    if (b.contains("flash")) {
        const std::string k = Join(key, "flash");
        RequireObject(b["flash"], k);
        CheckKeys(b["flash"], k, {"image", "pcix_image"});
        if (b["flash"].contains("pcix_image")) {
            board.pcixImage = ReadString(b["flash"]["pcix_image"], k + ".pcix_image");
            const bool fits = board.kind == BoardKind::Brimola ? board.pcixImage == "PUVI" || board.pcixImage == "ZVKX"
                                                               : board.pcixImage == "KEZO";
            if (!fits)
                Fail(k + ".pcix_image", board.kind == BoardKind::Brimola ? "the main board's PCIX image is \"PUVI\" or \"ZVKX\""
                                                                         : "the codec board's PCIX image is \"KEZO\"");
        }
        if (b["flash"].contains("image")) {
            board.flashImage = ReadString(b["flash"]["image"], k + ".image");
            if (board.flashImage.empty()) Fail(k + ".image", "an empty file name");
        }
    }
}

BoardConfig* FindBoard(RigConfig& rig, const std::string& tag) {
    for (auto& b : rig.boards)
        if (b.tag == tag) return &b;
    return nullptr;
}

// Faults of the I2C parts, the product data and the memory clock; false for any other kind.
bool ReadPartFault(const Json& f, const std::string& key, const std::string& kind, BoardConfig& board) {
    BoardFaults& faults = board.faults;
    auto channel = [&]() {
        if (!f.contains("sensor")) return 1;
        const std::string name = ReadString(f["sensor"], Join(key, "sensor"));
        static const char* const kNames[4] = {"LTEMP", "1TEMP", "2TEMP", "3TEMP"};
        for (int c = 0; c < 4; ++c)
            if (name == kNames[c]) return c;
        Fail(Join(key, "sensor"), "\"" + name + "\" is not a sensor channel (\"LTEMP\", \"1TEMP\", \"2TEMP\" or \"3TEMP\")");
    };
    auto module = [&]() { return f.contains("module") ? ReadInt(f["module"], Join(key, "module"), 1, 2) : 0; };
    if (kind == "sensor_over_limit") {
        CheckKeys(f, key, {"kind", "board", "sensor", "by"});
        SensorOverLimit o;
        o.channel = channel();
        if (f.contains("by")) o.by = ReadInt(f["by"], Join(key, "by"), 1, 100);
        faults.sensorOverLimit.push_back(o);
    } else if (kind == "sensor_bad_reading") {
        CheckKeys(f, key, {"kind", "board", "sensor", "value", "count"});
        SensorBadReading r;
        r.channel = channel();
        if (!f.contains("value")) Fail(Join(key, "value"), "missing (0, or 200 to 255)");
        r.value = ReadInt(f["value"], Join(key, "value"), 0, 255);
        if (r.value != 0 && r.value < 200) Fail(Join(key, "value"), "a bad reading is 0, or 200 to 255");
        if (f.contains("count")) r.count = static_cast<uint32_t>(ReadUnsigned(f["count"], Join(key, "count"), 0, 0xFFFFFFFF));
        faults.sensorBadReading.push_back(r);
    } else if (kind == "spd_wrong_geometry") {
        CheckKeys(f, key, {"kind", "board", "module", "rows", "columns"});
        SpdWrongGeometry g;
        g.module = module();
        if (f.contains("rows")) g.rows = ReadInt(f["rows"], Join(key, "rows"), 1, 255);
        if (f.contains("columns")) g.columns = ReadInt(f["columns"], Join(key, "columns"), 1, 255);
        const SpdGeometry healthy = SpdGeometryFor(board.kind);
        if (g.rows == healthy.rows && g.columns == healthy.columns)
            Fail(Join(key, "columns"), "rows " + std::to_string(g.rows) + " and columns " + std::to_string(g.columns) +
                                           " are the geometry the board's modules report: no fault");
        faults.spdGeometry.push_back(g);
    } else if (kind == "spd_wrong_size") {
        CheckKeys(f, key, {"kind", "board", "module", "mib"});
        SpdWrongSize z;
        z.module = module();
        if (f.contains("mib")) {
            const std::string k = Join(key, "mib");
            z.mib = static_cast<uint32_t>(ReadUnsigned(f["mib"], k, 4, 4096));
            // A size the SPD's bytes cannot make would read as another, perhaps the healthy one.
            const SpdSizeBytes wrong = SpdSizeFor(z.mib), healthy = SpdSizeFor(board.sdramBytes >> 20);
            if (!wrong.exact) Fail(k, std::to_string(z.mib) + " MB is not a size the SPD can describe: 4 MB x ranks (1, 2, 4 or 8) x density (1-255)");
            if (wrong.ranks == healthy.ranks && wrong.density == healthy.density)
                Fail(k, std::to_string(z.mib) + " MB is the size the board's modules report: no fault");
        }
        faults.spdSize.push_back(z);
    } else if (kind == "vpd_broken") {
        CheckKeys(f, key, {"kind", "board", "part"});
        if (!f.contains("part")) Fail(Join(key, "part"), "missing");
        const std::string part = ReadString(f["part"], Join(key, "part"));
        if (part == "name_tag") faults.vpdBroken.push_back(VpdDefect::NameTag);
        else if (part == "vpd_tag") faults.vpdBroken.push_back(VpdDefect::VpdTag);
        else if (part == "end_tag") faults.vpdBroken.push_back(VpdDefect::EndTag);
        else if (part == "length") faults.vpdBroken.push_back(VpdDefect::Length);
        else if (part == "checksum") faults.vpdBroken.push_back(VpdDefect::Checksum);
        else
            Fail(Join(key, "part"), "\"" + part + "\" is not a part (\"name_tag\", \"vpd_tag\", \"end_tag\", \"length\" or \"checksum\")");
    } else if (kind == "vpd_missing_field") {
        CheckKeys(f, key, {"kind", "board", "field"});
        if (!f.contains("field")) Fail(Join(key, "field"), "missing");
        const std::string field = ReadString(f["field"], Join(key, "field"));
        if (field.size() != 2) Fail(Join(key, "field"), "a product-data field name is two letters or digits");
        faults.vpdMissing.push_back(field);
    } else if (kind == "clock_no_window") {
        CheckKeys(f, key, {"kind", "board"});
        faults.clockNoWindow = true;
    } else if (kind == "clock_window_shifted") {
        CheckKeys(f, key, {"kind", "board", "by"});
        faults.clockWindowShift = f.contains("by") ? ReadInt(f["by"], Join(key, "by"), -255, 255) : 40;
        if (faults.clockWindowShift == 0) Fail(Join(key, "by"), "a shift of 0 is no fault");
    } else {
        return false;
    }
    return true;
}

// Faults of the board controller, the flash PROM and the FPGA configuration port; false for any other kind.
bool ReadControllerFault(const Json& f, const std::string& key, const std::string& kind, BoardConfig& board) {
    FlashFaults& flash = board.faults.flash;
    auto block = [&](bool required) {
        if (!f.contains("block")) {
            if (required) Fail(Join(key, "block"), "missing");
            return -1;
        }
        return ReadInt(f["block"], Join(key, "block"), 0, 63);
    };
    auto status = [&]() { return f.contains("status") ? ReadInt(f["status"], Join(key, "status"), 1, 0x7F) : 0; };
    auto device = [&]() {
        if (!f.contains("device")) Fail(Join(key, "device"), "missing (0 keyer, 1-2 the FPGA pair, 3-4 the board links)");
        const int d = ReadInt(f["device"], Join(key, "device"), 0, 4);
        if (board.kind == BoardKind::Nuxa && d < 3) Fail(Join(key, "device"), "a codec board has only the board links 3 and 4");
        return d;
    };
    using DK = ConfigDeviceFault::Kind;
    auto deviceFault = [&](DK k) {
        ConfigDeviceFault d;
        d.kind = k;
        d.device = device();
        if (k == DK::CrcError && f.contains("at"))
            d.at = static_cast<uint32_t>(ReadUnsigned(f["at"], Join(key, "at"), 0, 0xFFFFFFFF));
        board.faults.configPort.devices.push_back(d);
    };
    if (kind == "flash_erase_fails" || kind == "flash_program_fails") {
        CheckKeys(f, key, {"kind", "board", "block", "status"});
        FlashErrorOn e{block(false), status()};
        (kind == "flash_erase_fails" ? flash.eraseFails : flash.programFails).push_back(e);
    } else if (kind == "flash_never_ready") {
        CheckKeys(f, key, {"kind", "board"});
        flash.neverReady = true;
    } else if (kind == "flash_slow") {
        CheckKeys(f, key, {"kind", "board", "access_ns", "erase_ms"});
        const FlashFaults healthy;
        const uint32_t accessNs = f.contains("access_ns")
                                      ? static_cast<uint32_t>(ReadUnsigned(f["access_ns"], Join(key, "access_ns"), 1, 1'000'000'000))
                                      : healthy.accessNs;
        const uint32_t eraseMs = f.contains("erase_ms") ? static_cast<uint32_t>(ReadUnsigned(f["erase_ms"], Join(key, "erase_ms"), 1, 3'600'000))
                                                        : healthy.eraseMs;
        if (accessNs == healthy.accessNs && eraseMs == healthy.eraseMs)
            Fail(Join(key, f.contains("erase_ms") ? "erase_ms" : "access_ns"),
                 "access_ns " + std::to_string(accessNs) + " and erase_ms " + std::to_string(eraseMs) + " are the healthy part's timing: no fault");
        if (f.contains("access_ns")) flash.accessNs = accessNs;
        if (f.contains("erase_ms")) flash.eraseMs = eraseMs;
    } else if (kind == "flash_sts_floating") {
        CheckKeys(f, key, {"kind", "board", "seed"});
        flash.stsFloating = true;
        if (f.contains("seed")) flash.stsSeed = ReadUnsigned(f["seed"], Join(key, "seed"), 0, UINT64_MAX);
    } else if (kind == "flash_locked_block") {
        CheckKeys(f, key, {"kind", "board", "block"});
        flash.lockedBlocks.push_back(static_cast<uint32_t>(block(true)));
    } else if (kind == "flash_stuck_bit") {
        CheckKeys(f, key, {"kind", "board", "bit", "value"});
        FlashStuckBit s;
        if (!f.contains("bit")) Fail(Join(key, "bit"), "missing");
        s.bit = ReadInt(f["bit"], Join(key, "bit"), 0, 15);
        s.value = f.contains("value") ? ReadInt(f["value"], Join(key, "value"), 0, 1) : 0;
        flash.stuckBits.push_back(s);
    } else if (kind == "flash_wrong_id") {
        CheckKeys(f, key, {"kind", "board", "manufacturer", "device"});
        if (f.contains("manufacturer")) flash.manufacturer = ReadInt(f["manufacturer"], Join(key, "manufacturer"), 0, 0xFFFF);
        if (f.contains("device")) flash.device = ReadInt(f["device"], Join(key, "device"), 0, 0xFFFF);
        if (!f.contains("manufacturer") && !f.contains("device")) flash.device = 0x0018;  // a 128-Mbit part
    } else if (kind == "flash_missing_header") {
        CheckKeys(f, key, {"kind", "board", "segment"});
        if (!f.contains("segment")) Fail(Join(key, "segment"), "missing");
        const std::string seg = ReadString(f["segment"], Join(key, "segment"));
        if (seg != "SAFE" && seg != "PCIX" && seg != "PCI")
            Fail(Join(key, "segment"), "\"" + seg + "\" is not a Wexal image segment (\"SAFE\", \"PCIX\" or \"PCI\")");
        flash.missingHeaders.push_back(seg);
    } else if (kind == "flash_mirror_mismatch") {
        CheckKeys(f, key, {"kind", "board", "offset", "mask"});
        FlashMirrorMismatch m;
        if (f.contains("offset")) m.offset = static_cast<uint32_t>(ReadUnsigned(f["offset"], Join(key, "offset"), 0, 0x3FFC));
        if (m.offset & 3) Fail(Join(key, "offset"), "a register offset is a multiple of 4");
        if (f.contains("mask")) m.mask = static_cast<uint32_t>(ReadUnsigned(f["mask"], Join(key, "mask"), 1, 0xFFFFFFFF));
        flash.mirrorMismatch.push_back(m);
    } else if (kind == "fpga_init_never_falls") {
        CheckKeys(f, key, {"kind", "board", "device"});
        deviceFault(DK::InitNeverFalls);
    } else if (kind == "fpga_init_never_rises") {
        CheckKeys(f, key, {"kind", "board", "device"});
        deviceFault(DK::InitNeverRises);
    } else if (kind == "fpga_done_stays_low") {
        CheckKeys(f, key, {"kind", "board", "device"});
        deviceFault(DK::DoneStaysLow);
    } else if (kind == "fpga_crc_error") {
        CheckKeys(f, key, {"kind", "board", "device", "at"});
        deviceFault(DK::CrcError);
    } else if (kind == "fpga_code_stuck_bit") {
        CheckKeys(f, key, {"kind", "board", "bit", "value"});
        ConfigCodeStuck c;
        if (!f.contains("bit")) Fail(Join(key, "bit"), "missing (0-2 of the device code)");
        c.bit = ReadInt(f["bit"], Join(key, "bit"), 0, 2);
        c.value = f.contains("value") ? ReadInt(f["value"], Join(key, "value"), 0, 1) : 0;
        board.faults.configPort.codeStuck.push_back(c);
    } else {
        return false;
    }
    return true;
}

// Faults of the video-path FPGAs and the video ports; false for any other kind.
bool ReadVideoFault(const Json& f, const std::string& key, const std::string& kind, BoardConfig& board) {
    BoardFaults& faults = board.faults;
    const bool main = board.kind == BoardKind::Brimola;
    auto port = [&]() {
        if (!f.contains("port")) Fail(Join(key, "port"), "missing (\"PPPA\", \"PPPB\", \"EXPA\" or \"EXPB\")");
        const std::string p = ReadString(f["port"], Join(key, "port"));
        static const struct { const char* name; VideoPort port; } kPorts[] = {
            {"PPPA", VideoPort::PppA}, {"PPPB", VideoPort::PppB}, {"EXPA", VideoPort::ExpA}, {"EXPB", VideoPort::ExpB}};
        for (const auto& k : kPorts) {
            if (p != k.name) continue;
            if (!main && (k.port == VideoPort::PppA || k.port == VideoPort::PppB))
                Fail(Join(key, "port"), "a codec board has only the board-link ports \"EXPA\" and \"EXPB\"");
            return k.port;
        }
        Fail(Join(key, "port"), "\"" + p + "\" is not a video port (\"PPPA\", \"PPPB\", \"EXPA\" or \"EXPB\")");
    };
    auto device = [&](int lo, int hi, const char* what) {
        if (!f.contains("device")) Fail(Join(key, "device"), std::string("missing (") + what + ")");
        if (!main) Fail(Join(key, "device"), "a codec board has no keyer or FPGA pair");
        return ReadInt(f["device"], Join(key, "device"), lo, hi);
    };
    if (kind == "bvi_sync_error") {
        CheckKeys(f, key, {"kind", "board", "bvi"});
        board.faults.box.bviSyncError.push_back(f.contains("bvi") ? ReadInt(f["bvi"], Join(key, "bvi"), 0, 3) : 0);
    } else if (kind == "port_sync_error") {
        CheckKeys(f, key, {"kind", "board", "port"});
        faults.portSyncError.push_back({port()});
    } else if (kind == "video_path_corrupt") {
        CheckKeys(f, key, {"kind", "board", "port", "stage", "mask"});
        VideoPathCorrupt c;
        c.port = port();
        if (!f.contains("stage")) Fail(Join(key, "stage"), "missing (\"keyer\", \"pair\" or \"link\")");
        const std::string stage = ReadString(f["stage"], Join(key, "stage"));
        if (stage == "keyer") c.stage = VideoStageKind::Keyer;
        else if (stage == "pair") c.stage = VideoStageKind::Pair;
        else if (stage == "link") c.stage = VideoStageKind::Link;
        else Fail(Join(key, "stage"), "\"" + stage + "\" is not a stage (\"keyer\", \"pair\" or \"link\")");
        const bool ppp = c.port == VideoPort::PppA || c.port == VideoPort::PppB;
        if (ppp == (c.stage == VideoStageKind::Link))
            Fail(Join(key, "stage"), ppp ? "the port-pair ports pass the keyer and the pair, not a board link"
                                         : "the board-link ports pass only their link FPGA (\"link\")");
        if (f.contains("mask")) c.mask = static_cast<uint32_t>(ReadUnsigned(f["mask"], Join(key, "mask"), 1, 0xFFFFFFFF));
        faults.videoPathCorrupt.push_back(c);
    } else if (kind == "dcm_unlocked") {
        CheckKeys(f, key, {"kind", "board", "device", "bit"});
        DcmUnlocked d;
        d.device = device(0, 2, "0 keyer, 1-2 the FPGA pair");
        if (f.contains("bit")) d.bit = ReadInt(f["bit"], Join(key, "bit"), 24, d.device == 0 ? 30 : 28);
        faults.dcmUnlocked.push_back(d);
    } else if (kind == "zbt_address_alias") {
        CheckKeys(f, key, {"kind", "board", "line", "shorted_to", "stuck"});
        ZbtAddressAlias a;
        if (!f.contains("line")) Fail(Join(key, "line"), "missing");
        a.line = ReadInt(f["line"], Join(key, "line"), 1, 18);
        if (f.contains("shorted_to") == f.contains("stuck"))
            Fail(Join(key, "shorted_to"), "give exactly one of \"shorted_to\" (a line) or \"stuck\" (0 or 1)");
        if (f.contains("shorted_to")) {
            a.source = ReadInt(f["shorted_to"], Join(key, "shorted_to"), 0, 18);
            if (a.source == a.line) Fail(Join(key, "shorted_to"), "a line cannot be shorted to itself");
        } else {
            a.value = ReadInt(f["stuck"], Join(key, "stuck"), 0, 1);
        }
        faults.zbtAlias.push_back(a);
    } else if (kind == "ddr_init_fails") {
        CheckKeys(f, key, {"kind", "board", "device", "pass"});
        DdrInitFails d;
        d.device = device(1, 2, "1-2 the FPGA pair");
        if (f.contains("pass")) d.pass = ReadInt(f["pass"], Join(key, "pass"), 1, 2);
        faults.ddrInitFails.push_back(d);
    } else {
        return false;
    }
    return true;
}

// Faults of the breakout box or loopback cable on the connector; false for any other kind.
bool ReadBoxFault(const Json& f, const std::string& key, const std::string& kind, BoardConfig& board) {
    if (kind.rfind("box_", 0) != 0) return false;
    BoxFaults& box = board.faults.box;
    auto command = [&]() {
        if (!f.contains("command")) Fail(Join(key, "command"), "missing (a command name such as \"HVInputFormat\")");
        const std::string c = ReadString(f["command"], Join(key, "command"));
        // A name the box does not answer to would leave the fault silent and the faulty rig passing.
        if (YorbFlow::Wire::FindCommand(c)) return c;
        if (c.size() > 3 && YorbFlow::Wire::FindCommand(c.substr(3)))
            Fail(Join(key, "command"), "\"" + c + "\" is named without its Set/Get prefix: \"" + c.substr(3) + "\"");
        Fail(Join(key, "command"), "\"" + c + "\" is not a command of the breakout box (a name such as \"HVInputFormat\")");
    };
    if (kind == "box_link_down" || kind == "box_init_fails" || kind == "box_no_conduit") {
        CheckKeys(f, key, {"kind", "board"});
        (kind == "box_link_down" ? box.linkDown : kind == "box_init_fails" ? box.initFails : box.noConduit) = true;
    } else if (kind == "box_device_silent") {
        CheckKeys(f, key, {"kind", "board", "device"});
        if (!f.contains("device")) Fail(Join(key, "device"), "missing (\"bexi\", \"nulk\" or \"dolwer\")");
        const std::string d = ReadString(f["device"], Join(key, "device"));
        if (d == "bexi") box.silent.push_back(BoxDevice::Bexi);
        else if (d == "nulk") box.silent.push_back(BoxDevice::Nulk);
        else if (d == "dolwer") box.silent.push_back(BoxDevice::Dolwer);
        else Fail(Join(key, "device"), "\"" + d + "\" is not a box device (\"bexi\", \"nulk\" or \"dolwer\")");
    } else if (kind == "box_loop_open") {
        CheckKeys(f, key, {"kind", "board", "path"});
        if (!f.contains("path")) Fail(Join(key, "path"), "missing (\"hd\", \"sdi\" or \"audio\")");
        const std::string p = ReadString(f["path"], Join(key, "path"));
        if (p == "hd") box.hdLoopOpen = true;
        else if (p == "sdi") box.sdiLoopOpen = true;
        else if (p == "audio") box.audioLoopOpen = true;
        else Fail(Join(key, "path"), "\"" + p + "\" is not a loop (\"hd\", \"sdi\" or \"audio\")");
    } else if (kind == "box_frame_slip") {
        CheckKeys(f, key, {"kind", "board", "path", "frames"});
        if (!f.contains("path")) Fail(Join(key, "path"), "missing (\"bexi\", \"nulk_sdi\" or \"nulk_internal\")");
        const std::string p = ReadString(f["path"], Join(key, "path"));
        int* slip = p == "bexi" ? &box.bexiSlip : p == "nulk_sdi" ? &box.nulkSdiSlip : p == "nulk_internal" ? &box.nulkInternalSlip : nullptr;
        if (!slip) Fail(Join(key, "path"), "\"" + p + "\" is not a box video path (\"bexi\", \"nulk_sdi\" or \"nulk_internal\")");
        *slip = f.contains("frames") ? ReadInt(f["frames"], Join(key, "frames"), 1, 3) : 1;
    } else if (kind == "box_audio_slip") {
        CheckKeys(f, key, {"kind", "board", "dwords"});
        if (!f.contains("dwords")) Fail(Join(key, "dwords"), "missing (-16, -8, 8 or 16)");
        const int d = ReadInt(f["dwords"], Join(key, "dwords"), -16, 16);
        if (d != -16 && d != -8 && d != 8 && d != 16) Fail(Join(key, "dwords"), "the audio slips by -16, -8, 8 or 16 DWORDs");
        box.audioSlipDwords = d;
    } else if (kind == "box_command_fails") {
        CheckKeys(f, key, {"kind", "board", "command", "status"});
        BoxCommandFails c;
        c.command = command();
        // The reply's byte code carries the result codes up to 21 only.
        if (f.contains("status")) c.status = ReadInt(f["status"], Join(key, "status"), 0, YorbFlow::Wire::RESULT_LAST);
        if (c.status == 1) Fail(Join(key, "status"), "status 1 is success, no fault");
        box.commandFails.push_back(c);
    } else if (kind == "box_reply_corrupt") {
        CheckKeys(f, key, {"kind", "board", "command", "mask"});
        BoxReplyCorrupt r;
        r.command = command();
        if (f.contains("mask")) r.mask = static_cast<uint32_t>(ReadUnsigned(f["mask"], Join(key, "mask"), 1, 0xFFFFFFFF));
        box.replyCorrupt.push_back(r);
    } else {
        return false;
    }
    if (!board.breakoutBox && !board.loopbackCable)
        Fail(Join(key, "kind"), "board \"" + board.tag + "\" has nothing attached to its connector");
    return true;
}

// A file the rig keeps across runs is written into its folder: a folder that is not there would
// lose, with no more than a warning, everything the run writes to it. Through a link that is the
// folder of the file it leads to. Links that go round are left to the contents check, which
// cannot read them.
void CheckFolder(const std::string& key, const std::string& path) {
    std::string target;
    if (!platform::FollowLinks(path, target)) return;
    const std::filesystem::path folder = std::filesystem::path(target).parent_path();
    std::error_code ec;
    if (folder.empty() || std::filesystem::is_directory(folder, ec)) return;
    const bool exists = std::filesystem::exists(folder, ec);
    const std::string link = target == path ? "" : " (where the link \"" + path + "\" leads)";
    Fail(key, "the folder \"" + folder.string() + "\" of \"" + target + "\"" + link + (exists ? " is not a folder" : " does not exist"));
}

// Files a rig names (paths relative to the working directory) must be regular files when they
// exist: a directory is neither, and opening a FIFO or a device would wait for a writer that never
// comes. An existing flash image must be whole, and both files need a folder to be kept in.
void CheckFiles(const RigConfig& rig) {
    for (size_t i = 0; i < rig.boards.size(); ++i) {
        const std::string key = "boards[" + std::to_string(i) + "]";
        std::error_code ec;
        const std::string& store = rig.boards[i].memoryClock.store;
        if (!store.empty()) {
            CheckFolder(key + ".memory_clock.store", store);
            const auto status = std::filesystem::status(store, ec);
            if (std::filesystem::is_directory(status))
                Fail(key + ".memory_clock.store", "\"" + store + "\" is a directory, not a file for the clock word");
            if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
                Fail(key + ".memory_clock.store", "\"" + store + "\" is not a regular file (a FIFO or device), not a file for the clock word");
        }
        const std::string& path = rig.boards[i].flashImage;
        if (path.empty()) continue;
        CheckFolder(key + ".flash.image", path);
        const auto status = std::filesystem::status(path, ec);
        if (std::filesystem::is_directory(status))
            Fail(key + ".flash.image", "\"" + path + "\" is a directory, not a flash image file");
        if (!std::filesystem::exists(status)) continue;  // created with the healthy contents
        if (!std::filesystem::is_regular_file(status))
            Fail(key + ".flash.image", "\"" + path + "\" is not a regular file (a FIFO or device), not a flash image file");
        constexpr uintmax_t kBytes = 0x800000;
        const uintmax_t size = std::filesystem::file_size(path, ec);
        if (!ec && size != kBytes)
            Fail(key + ".flash.image", "file \"" + path + "\" is " + std::to_string(size) + " bytes, not a flash image of 8388608 bytes");
    }
}

}  // namespace

std::vector<KeptFile> KeptFiles(const BoardConfig& board) {
    return {{board.memoryClock.store, "memory_clock.store", "the memory clock store", MemoryClockStoreRole(board.tag)},
            {board.flashImage, "flash.image", "the flash image", FlashImageRole(board.tag)}};
}

namespace {

// Each file the rig keeps is one board's store or one board's image, and never the rig file: two
// writers of one file would spoil each other's contents (the image is written in place). Compared
// as files, so that other spellings and links are caught. rigPath: "" when the rig is no file.
void CheckSharedFiles(const RigConfig& rig, const std::string& rigPath) {
    struct Kept {
        std::string key, what;
        platform::FileIdentity id;
    };
    std::vector<Kept> kept;
    platform::FileIdentity rigId;
    const bool rigFile = !rigPath.empty() && platform::IdentifyFile(rigPath, rigId);
    for (size_t i = 0; i < rig.boards.size(); ++i) {
        const BoardConfig& board = rig.boards[i];
        const std::string key = "boards[" + std::to_string(i) + "]";
        for (const KeptFile& f : KeptFiles(board)) {
            Kept file{key + "." + f.key, std::string(f.what) + " of board \"" + board.tag + "\"", {}};
            if (f.path.empty() || !platform::IdentifyFile(f.path, file.id)) continue;
            if (rigFile && file.id == rigId) Fail(file.key, "\"" + f.path + "\" is the rig file itself, which the rig must not write over");
            for (const Kept& other : kept)
                if (other.id == file.id) Fail(file.key, "\"" + f.path + "\" is also " + other.what + "; a file keeps one board's store or image");
            kept.push_back(std::move(file));
        }
    }
}

}  // namespace

std::string CheckKeptContents(const RigConfig& rig) {
    for (size_t i = 0; i < rig.boards.size(); ++i) {
        const BoardConfig& board = rig.boards[i];
        const std::string key = "key \"boards[" + std::to_string(i) + "].";
        if (const std::string& store = board.memoryClock.store; !store.empty()) {
            const ClockStoreContents contents = ReadClockStore(store);
            if (contents.kind == ClockStoreContents::Kind::Unreadable)
                return key + "memory_clock.store\": \"" + store + "\" cannot be read: " + contents.text;
            // The board replaces its store whole: a file of anything else is not its store.
            if (contents.kind == ClockStoreContents::Kind::Other)
                return key + "memory_clock.store\": \"" + store + "\" holds something other than a clock word: refusing to write over it";
        }
        if (const std::string& image = board.flashImage; !image.empty()) {
            const int fd = ::open(image.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) ::close(fd);
            else if (errno != ENOENT) return key + "flash.image\": \"" + image + "\" cannot be read: " + std::strerror(errno);
        }
    }
    return "";
}

namespace {

void ReadCodecChipFault(const Json& f, const std::string& key, const std::string& kind, BoardConfig& board);
void ReadDspFault(const Json& f, const std::string& key, const std::string& kind, BoardConfig& board);

void ReadFault(const Json& f, const std::string& key, RigConfig& rig) {
    RequireObject(f, key);
    if (!f.contains("kind")) Fail(Join(key, "kind"), "missing");
    const std::string kind = ReadString(f["kind"], Join(key, "kind"));
    if (!f.contains("board")) Fail(Join(key, "board"), "missing");
    const std::string tag = ReadString(f["board"], Join(key, "board"));
    BoardConfig* board = FindBoard(rig, tag);
    if (!board) Fail(Join(key, "board"), "no board \"" + tag + "\" in this rig");
    BoardFaults& faults = board->faults;
    const uint64_t size = board->sdramBytes;
    auto range = [&](uint64_t& from, uint64_t& to) {
        from = f.contains("from") ? ReadUnsigned(f["from"], Join(key, "from"), 0, size - 1) : 0;
        to = f.contains("to") ? ReadUnsigned(f["to"], Join(key, "to"), 1, size) : size;
        if (to <= from) Fail(Join(key, "to"), "the range ends before it starts");
    };
    auto channel = [&]() { return ReadInt(f.contains("channel") ? f["channel"] : Json(), Join(key, "channel"), 0, 63); };

    if (kind == "sdram_stuck_bit") {
        CheckKeys(f, key, {"kind", "board", "from", "to", "bit", "value"});
        SdramStuckBit s;
        range(s.from, s.to);
        if (!f.contains("bit")) Fail(Join(key, "bit"), "missing");
        s.bit = ReadInt(f["bit"], Join(key, "bit"), 0, 31);
        s.value = f.contains("value") ? ReadInt(f["value"], Join(key, "value"), 0, 1) : 0;
        faults.sdramStuck.push_back(s);
    } else if (kind == "sdram_address_alias") {
        CheckKeys(f, key, {"kind", "board", "line", "shorted_to", "stuck"});
        int top = 2;
        while ((uint64_t{1} << (top + 1)) < size) ++top;  // highest line inside the memory
        SdramAlias a;
        if (!f.contains("line")) Fail(Join(key, "line"), "missing");
        a.line = ReadInt(f["line"], Join(key, "line"), 2, top);
        if (f.contains("shorted_to") == f.contains("stuck"))
            Fail(Join(key, "shorted_to"), "give exactly one of \"shorted_to\" (a line) or \"stuck\" (0 or 1)");
        if (f.contains("shorted_to")) {
            a.source = ReadInt(f["shorted_to"], Join(key, "shorted_to"), 2, top);
            if (a.source == a.line) Fail(Join(key, "shorted_to"), "a line cannot be shorted to itself");
        } else {
            a.value = ReadInt(f["stuck"], Join(key, "stuck"), 0, 1);
        }
        faults.sdramAlias.push_back(a);
    } else if (kind == "sdram_bit_flips") {
        CheckKeys(f, key, {"kind", "board", "rate", "seed", "from", "to"});
        SdramFlips s;
        if (!f.contains("rate") || !f["rate"].is_number()) Fail(Join(key, "rate"), "expected a probability per word read");
        s.rate = f["rate"].get<double>();
        if (!(s.rate > 0.0 && s.rate <= 1.0)) Fail(Join(key, "rate"), "value is out of range (0, 1]");
        if (!f.contains("seed")) Fail(Join(key, "seed"), "missing (random faults are reproducible)");
        s.seed = ReadUnsigned(f["seed"], Join(key, "seed"), 0, UINT64_MAX);
        range(s.from, s.to);
        faults.sdramFlips.push_back(s);
    } else if (kind == "dma_stall") {
        CheckKeys(f, key, {"kind", "board", "channel"});
        faults.dmaStall.push_back({channel()});
    } else if (kind == "dma_corrupt") {
        CheckKeys(f, key, {"kind", "board", "channel", "mask", "first", "count"});
        DmaCorrupt c;
        c.channel = channel();
        if (!f.contains("mask")) Fail(Join(key, "mask"), "missing");
        c.mask = static_cast<uint32_t>(ReadUnsigned(f["mask"], Join(key, "mask"), 1, 0xFFFFFFFF));
        if (f.contains("first")) c.first = static_cast<uint32_t>(ReadUnsigned(f["first"], Join(key, "first"), 0, 0xFFFFFFFF));
        if (f.contains("count")) c.count = static_cast<uint32_t>(ReadUnsigned(f["count"], Join(key, "count"), 0, 0xFFFFFFFF));
        faults.dmaCorrupt.push_back(c);
    } else if (kind == "dma_wrong_tag") {
        CheckKeys(f, key, {"kind", "board", "channel", "tag"});
        DmaWrongTag w;
        w.channel = channel();
        if (f.contains("tag")) w.tag = ReadInt(f["tag"], Join(key, "tag"), 0, 0xFFF);
        faults.dmaWrongTag.push_back(w);
    } else if (kind == "register_stuck_bit") {
        CheckKeys(f, key, {"kind", "board", "offset", "bit", "value"});
        RegisterStuckBit r;
        if (!f.contains("offset")) Fail(Join(key, "offset"), "missing");
        r.offset = static_cast<uint32_t>(ReadUnsigned(f["offset"], Join(key, "offset"), 0x4000, 0x71FFC));
        if (r.offset & 3) Fail(Join(key, "offset"), "a register offset is a multiple of 4");
        // The controller's flash data and FPGA registers have fault kinds of their own.
        const bool controller = r.offset < 0x4020 && r.offset != 0x400C && r.offset != 0x4014 && r.offset != 0x401C;
        if (!controller && (r.offset < 0x58000 || (r.offset >= 0x58100 && r.offset < 0x60000) || (r.offset >= 0x68000 && r.offset < 0x70000)))
            Fail(Join(key, "offset"), "not a board controller register (0x4000, 0x4004, 0x4008, 0x4010, 0x4018; flash data and FPGA "
                                      "bits are flash_stuck_bit and fpga_code_stuck_bit), channel control word (0x58000-0x580FC), "
                                      "DCB word (0x60000-0x67FFC) or BCU register (0x70000-0x71FFC)");
        if (!f.contains("bit")) Fail(Join(key, "bit"), "missing");
        r.bit = ReadInt(f["bit"], Join(key, "bit"), 0, 31);
        r.value = f.contains("value") ? ReadInt(f["value"], Join(key, "value"), 0, 1) : 0;
        faults.registerStuck.push_back(r);
    } else if (kind == "register_alias") {
        CheckKeys(f, key, {"kind", "board", "memory", "line", "shorted_to", "stuck"});
        RegisterAlias a;
        if (!f.contains("memory")) Fail(Join(key, "memory"), "missing");
        const std::string memory = ReadString(f["memory"], Join(key, "memory"));
        if (memory != "dcb" && memory != "bcu") Fail(Join(key, "memory"), "\"" + memory + "\" is not \"dcb\" or \"bcu\"");
        a.bcu = memory == "bcu";
        const int top = a.bcu ? 8 : 9;  // 512 BCUs, 1024 DCBs
        if (!f.contains("line")) Fail(Join(key, "line"), "missing");
        a.line = ReadInt(f["line"], Join(key, "line"), 0, top);
        if (f.contains("shorted_to") == f.contains("stuck"))
            Fail(Join(key, "shorted_to"), "give exactly one of \"shorted_to\" (a line) or \"stuck\" (0 or 1)");
        if (f.contains("shorted_to")) {
            a.source = ReadInt(f["shorted_to"], Join(key, "shorted_to"), 0, top);
            if (a.source == a.line) Fail(Join(key, "shorted_to"), "a line cannot be shorted to itself");
        } else {
            a.value = ReadInt(f["stuck"], Join(key, "stuck"), 0, 1);
        }
        faults.registerAlias.push_back(a);
    } else if (kind == "missing_board") {
        CheckKeys(f, key, {"kind", "board"});
        faults.missing = true;
    } else if (kind == "missing_space") {
        CheckKeys(f, key, {"kind", "board", "space"});
        if (!f.contains("space")) Fail(Join(key, "space"), "missing");
        const std::string space = ReadString(f["space"], Join(key, "space"));
        static const char* const kSpaces[] = {"SDRAM", "BAR0", "I2C.DIMM1", "I2C.DIMM2", "I2C.TSENSOR", "CLOCK1", "CLOCK2", "FarnoDeK"};
        bool known = false;
        for (const char* s : kSpaces) known = known || space == s;
        if (!known)
            Fail(Join(key, "space"), "\"" + space +
                                         "\" is not a space (\"SDRAM\", \"BAR0\", \"I2C.DIMM1\", \"I2C.DIMM2\", \"I2C.TSENSOR\", "
                                         "\"CLOCK1\", \"CLOCK2\" or \"FarnoDeK\")");
        faults.missingSpaces.push_back(space);
    } else if (kind == "bob_loop_stuck_bit") {
        CheckKeys(f, key, {"kind", "board", "path", "bit", "value"});
        BobLoopStuckBit s;
        if (!f.contains("path")) Fail(Join(key, "path"), "missing (\"message\" or \"ltc\")");
        const std::string path = ReadString(f["path"], Join(key, "path"));
        if (path != "message" && path != "ltc") Fail(Join(key, "path"), "\"" + path + "\" is not \"message\" or \"ltc\"");
        s.ltc = path == "ltc";
        if (!f.contains("bit")) Fail(Join(key, "bit"), "missing");
        s.bit = ReadInt(f["bit"], Join(key, "bit"), 0, s.ltc ? 30 : 31);
        s.value = f.contains("value") ? ReadInt(f["value"], Join(key, "value"), 0, 1) : 0;
        faults.bobLoopStuck.push_back(s);
    } else if (ReadPartFault(f, key, kind, *board)) {
    } else if (ReadControllerFault(f, key, kind, *board)) {
    } else if (ReadBoxFault(f, key, kind, *board)) {
    } else if (ReadVideoFault(f, key, kind, *board)) {
    } else if (kind.rfind("codec_", 0) == 0) {
        ReadCodecChipFault(f, key, kind, *board);
    } else if (kind.rfind("dsp_", 0) == 0) {
        ReadDspFault(f, key, kind, *board);
    } else if (kind == "bridge_not_ready" || kind == "bridge_wrong_id") {
        if (board->kind != BoardKind::Nuxa) Fail(Join(key, "board"), "only a codec board has the host-port bridge");
        if (kind == "bridge_not_ready") {
            CheckKeys(f, key, {"kind", "board", "port"});
            faults.codec.bridgeNotReady.push_back(f.contains("port") ? ReadInt(f["port"], Join(key, "port"), 1, 2) : 1);
        } else {
            CheckKeys(f, key, {"kind", "board", "id", "major", "minor"});
            BridgeWrongId w;
            if (f.contains("id")) w.id = static_cast<uint32_t>(ReadUnsigned(f["id"], Join(key, "id"), 0, 0xFFF));
            if (f.contains("major")) w.major = static_cast<uint32_t>(ReadUnsigned(f["major"], Join(key, "major"), 0, 0xFF));
            if (f.contains("minor")) w.minor = static_cast<uint32_t>(ReadUnsigned(f["minor"], Join(key, "minor"), 0, 0xFFF));
            if (w.id == kBridgeDeviceId && w.major == board->bridgeMajor && w.minor == board->bridgeMinor)
                Fail(Join(key, "id"), "id 0x110 with major " + std::to_string(w.major) + " and minor " + std::to_string(w.minor) +
                                          " is what the board's bridge reports: no fault");
            faults.codec.bridgeWrongId.push_back(w);
        }
    } else {
        Fail(Join(key, "kind"), "unknown fault kind \"" + kind + "\"");
    }
}

// The codec chips' faults ("codec_config_fails", "codec_emif_stuck_bit", ...).
void ReadCodecChipFault(const Json& f, const std::string& key, const std::string& kind, BoardConfig& board) {
    using K = CodecChipFault::Kind;
    if (board.kind != BoardKind::Nuxa) Fail(Join(key, "board"), "only a codec board has codec chips");
    CodecChipFault c;
    auto width = [&](const char* name) {
        if (!f.contains(name)) Fail(Join(key, name), "missing (32 or 64)");
        const int w = ReadInt(f[name], Join(key, name), 32, 64);
        if (w != 32 && w != 64) Fail(Join(key, name), "32 or 64");
        return w;
    };
    if (kind == "codec_config_fails") {
        CheckKeys(f, key, {"kind", "board", "chip"});
        c.kind = K::ConfigFails;
    } else if (kind == "codec_emif_stuck_bit") {
        CheckKeys(f, key, {"kind", "board", "chip", "emif", "bit", "value"});
        c.kind = K::EmifStuckBit;
        const std::string emif = f.contains("emif") ? ReadString(f["emif"], Join(key, "emif")) : "A";
        if (emif != "A" && emif != "B") Fail(Join(key, "emif"), "\"" + emif + "\" is not an EMIF (\"A\" or \"B\")");
        c.emif = emif == "A" ? 0 : 1;
        c.bit = f.contains("bit") ? ReadInt(f["bit"], Join(key, "bit"), 0, 15) : 0;
        c.value = f.contains("value") ? ReadInt(f["value"], Join(key, "value"), 0, 1) : 1;
    } else if (kind == "codec_sdram_stuck_bit") {
        CheckKeys(f, key, {"kind", "board", "chip", "width", "bit", "value"});
        c.kind = K::SdramStuckBit;
        c.width = width("width");
        c.bit = f.contains("bit") ? ReadInt(f["bit"], Join(key, "bit"), 0, 31) : 0;
        c.value = f.contains("value") ? ReadInt(f["value"], Join(key, "value"), 0, 1) : 1;
    } else if (kind == "codec_sdram_address_alias") {
        CheckKeys(f, key, {"kind", "board", "chip", "width", "line"});
        c.kind = K::SdramAddressAlias;
        c.width = width("width");
        c.line = f.contains("line") ? ReadInt(f["line"], Join(key, "line"), 0, 23) : 2;
    } else if (kind == "codec_sdram_busy_stuck") {
        CheckKeys(f, key, {"kind", "board", "chip", "width"});
        c.kind = K::SdramBusyStuck;
        c.width = width("width");
    } else if (kind == "codec_ddr_init_never_done") {
        CheckKeys(f, key, {"kind", "board", "chip", "memory"});
        c.kind = K::DdrInitNeverDone;
        c.width = width("memory");
    } else if (kind == "codec_output_stuck_bit") {
        CheckKeys(f, key, {"kind", "board", "chip", "port", "bit", "value"});
        c.kind = K::OutputStuckBit;
        const std::string port = f.contains("port") ? ReadString(f["port"], Join(key, "port")) : "video";
        if (port != "video" && port != "expansion") Fail(Join(key, "port"), "\"" + port + "\" is not \"video\" or \"expansion\"");
        c.port = port == "video" ? 0 : 1;
        c.bit = f.contains("bit") ? ReadInt(f["bit"], Join(key, "bit"), 0, 31) : 6;
        c.value = f.contains("value") ? ReadInt(f["value"], Join(key, "value"), 0, 1) : 1;
    } else if (kind == "codec_bypass_lane_swap") {
        CheckKeys(f, key, {"kind", "board", "chip"});
        c.kind = K::BypassLaneSwap;
    } else if (kind == "codec_membist_window") {
        CheckKeys(f, key, {"kind", "board", "chip", "memory", "low", "high"});
        c.kind = K::MemBistWindow;
        c.width = width("memory");
        for (auto [name, field] : {std::pair{"low", &c.low}, std::pair{"high", &c.high}}) {
            if (!f.contains(name)) Fail(Join(key, name), "missing (a phase 0-255)");
            *field = ReadInt(f[name], Join(key, name), 0, 255);
        }
        if (c.low > c.high) Fail(Join(key, "high"), "below low");
    } else if (kind == "codec_membist_fails") {
        CheckKeys(f, key, {"kind", "board", "chip", "memory", "result", "errors"});
        c.kind = K::MemBistFails;
        c.width = width("memory");
        if (f.contains("result")) {
            const std::string r = ReadString(f["result"], Join(key, "result"));
            if (r != "failed" && r != "not_done" && r != "not_started")
                Fail(Join(key, "result"), "\"" + r + "\" is not \"failed\", \"not_done\" or \"not_started\"");
            c.result = r == "failed" ? 1 : r == "not_done" ? 2 : 0;
        }
        if (f.contains("errors")) c.errors = static_cast<uint32_t>(ReadUnsigned(f["errors"], Join(key, "errors"), 1, 0x3FFFFF));
    } else if (kind == "codec_flush_stuck") {
        CheckKeys(f, key, {"kind", "board", "chip"});
        c.kind = K::FlushStuck;
    } else if (kind == "codec_crc_wrong") {
        CheckKeys(f, key, {"kind", "board", "chip", "register", "mask"});
        c.kind = K::CrcWrong;
        const std::string r = f.contains("register") ? ReadString(f["register"], Join(key, "register")) : "in";
        if (r != "in" && r != "out" && r != "expansion") Fail(Join(key, "register"), "\"" + r + "\" is not \"in\", \"out\" or \"expansion\"");
        c.reg = r == "in" ? 0 : r == "out" ? 1 : 2;
        if (f.contains("mask")) c.mask = static_cast<uint32_t>(ReadUnsigned(f["mask"], Join(key, "mask"), 1, 0xFFFFFFFF));
    } else if (kind == "codec_context_ram_stuck_bit") {
        CheckKeys(f, key, {"kind", "board", "chip", "entry", "word", "bit", "value"});
        c.kind = K::ContextRamStuckBit;
        c.entry = f.contains("entry") ? ReadInt(f["entry"], Join(key, "entry"), 0, 15) : 0;
        c.word = f.contains("word") ? ReadInt(f["word"], Join(key, "word"), 0, 1) : 0;
        c.bit = f.contains("bit") ? ReadInt(f["bit"], Join(key, "bit"), 0, 31) : 0;
        c.value = f.contains("value") ? ReadInt(f["value"], Join(key, "value"), 0, 1) : 1;
    } else if (kind == "codec_wrong_device_id") {
        CheckKeys(f, key, {"kind", "board", "chip", "id"});
        c.kind = K::WrongDeviceId;
        if (!f.contains("id")) Fail(Join(key, "id"), "missing (a device id 0-0xFFF)");
        c.id = static_cast<uint32_t>(ReadUnsigned(f["id"], Join(key, "id"), 0, 0xFFF));
    } else if (kind == "codec_memory_word") {
        CheckKeys(f, key, {"kind", "board", "chip", "address", "mask"});
        c.kind = K::MemoryWord;
        if (!f.contains("address")) Fail(Join(key, "address"), "missing (a chip address, a multiple of 4)");
        c.address = static_cast<uint32_t>(ReadUnsigned(f["address"], Join(key, "address"), 0, 0xFFFFFFFC));
        if (c.address % 4) Fail(Join(key, "address"), "not a multiple of 4");
        if (f.contains("mask")) c.mask = static_cast<uint32_t>(ReadUnsigned(f["mask"], Join(key, "mask"), 1, 0xFFFFFFFF));
    } else {
        Fail(Join(key, "kind"), "unknown fault kind \"" + kind + "\"");
    }
    c.chip = f.contains("chip") ? ReadInt(f["chip"], Join(key, "chip"), 1, 2) : 1;
    board.faults.codec.chips.push_back(c);
}

// The DSPs' faults ("dsp_fails", "dsp_table_corrupt", "dsp_frame_corrupt", "dsp_codec_status").
void ReadDspFault(const Json& f, const std::string& key, const std::string& kind, BoardConfig& board) {
    using K = DspFault::Kind;
    if (board.kind != BoardKind::Nuxa) Fail(Join(key, "board"), "only a codec board has DSPs");
    DspFault d;
    if (kind == "dsp_fails") {
        CheckKeys(f, key, {"kind", "board", "chip", "stage"});
        if (!f.contains("stage")) Fail(Join(key, "stage"), "missing (\"download\", \"boot\" or \"initialise\")");
        const std::string stage = ReadString(f["stage"], Join(key, "stage"));
        if (stage != "download" && stage != "boot" && stage != "initialise")
            Fail(Join(key, "stage"), "\"" + stage + "\" is not \"download\", \"boot\" or \"initialise\"");
        d.kind = stage == "download" ? K::DownloadFails : stage == "boot" ? K::BootFails : K::InitialiseFails;
    } else if (kind == "dsp_table_corrupt" || kind == "dsp_frame_corrupt") {
        CheckKeys(f, key, {"kind", "board", "chip", "offset", "mask"});
        d.kind = kind == "dsp_table_corrupt" ? K::TableCorrupt : K::FrameCorrupt;
        if (f.contains("offset")) d.offset = static_cast<uint32_t>(ReadUnsigned(f["offset"], Join(key, "offset"), 0, 0xFFFFF));
        if (f.contains("mask")) d.mask = static_cast<uint32_t>(ReadUnsigned(f["mask"], Join(key, "mask"), 1, 0xFF));
    } else if (kind == "dsp_codec_status") {
        CheckKeys(f, key, {"kind", "board", "chip", "bits"});
        d.kind = K::CodecStatus;
        if (!f.contains("bits")) Fail(Join(key, "bits"), "missing (the status bits, 1-0xFFFFFFFF)");
        d.bits = static_cast<uint32_t>(ReadUnsigned(f["bits"], Join(key, "bits"), 1, 0xFFFFFFFF));
    } else {
        Fail(Join(key, "kind"), "unknown fault kind \"" + kind + "\"");
    }
    d.chip = f.contains("chip") ? ReadInt(f["chip"], Join(key, "chip"), 1, 2) : 1;
    board.faults.codec.dsps.push_back(d);
}

// A cable is named on one side or on both; each named one ends up on both sides.
void ReadCables(RigConfig& rig) {
    for (size_t i = 0; i < rig.boards.size(); ++i) {
        for (const char* name : {"codec_port", "expansion_port"}) {
            const bool codec = name[0] == 'c';
            const std::string key = "boards[" + std::to_string(i) + "].attached." + name;
            const std::string& own = rig.boards[i].tag;
            const std::string partnerTag = codec ? rig.boards[i].codecPort : rig.boards[i].expansionPort;
            if (partnerTag.empty() || partnerTag == "loopback") continue;
            if (partnerTag == own) Fail(key, "a cable cannot run from board \"" + own + "\" to itself (a plug is \"loopback\")");
            BoardConfig* partner = FindBoard(rig, partnerTag);
            if (!partner) Fail(key, "no board \"" + partnerTag + "\" in this rig");
            std::string& back = codec ? partner->codecPort : partner->expansionPort;
            if (back.empty()) back = own;
            else if (back != own)
                Fail(key, "board \"" + partnerTag + "\" has its " + (codec ? "codec" : "expansion") + " port on \"" + back +
                              "\", not on \"" + own + "\"");
        }
    }
}

// The device library finds a board by its tag in a tree that also holds its own devices, ignoring
// case, first match first: a tag that matches another board's tag or one of those devices would
// bind that board's tests to the other device, and leave this board with none.
void CheckTagsNameOneDeviceEach(const RigConfig& rig) {
    for (size_t i = 0; i < rig.boards.size(); ++i) {
        const std::string& tag = rig.boards[i].tag;
        const std::string key = "boards[" + std::to_string(i) + "].tag";
        if (strcasecmp(tag.c_str(), kHostDeviceName) == 0)
            Fail(key, "tag \"" + tag + "\" is the name of the host's device \"" + kHostDeviceName + "\"");
        for (size_t j = 0; j < rig.boards.size(); ++j) {
            const std::string& other = rig.boards[j].tag;
            if (j < i && other == tag) Fail(key, "tag \"" + tag + "\" is used twice");
            if (j < i && strcasecmp(other.c_str(), tag.c_str()) == 0)
                Fail(key, "tag \"" + tag + "\" is the tag \"" + other + "\" of boards[" + std::to_string(j) +
                              "] in another case: boards are found by tag ignoring case");
            for (const BoardPart part : kBoardParts) {
                const std::string device = BoardPartDeviceName(other, part);
                if (strcasecmp(device.c_str(), tag.c_str()) == 0)
                    Fail(key, "tag \"" + tag + "\" is the name of the device \"" + device + "\" of board \"" + other + "\"");
            }
        }
    }
}

void ReadRig(const Json& root, RigConfig& rig) {
    RequireObject(root, "");
    CheckKeys(root, "", {"boards", "dma", "host_memory_mib", "faults"});
    rig = RigConfig{};
    if (!root.contains("boards")) Fail("boards", "missing (an empty list means a rig without boards)");
    if (!root["boards"].is_array()) Fail("boards", "expected a list");
    for (size_t i = 0; i < root["boards"].size(); ++i) {
        BoardConfig board;
        ReadBoard(root["boards"][i], "boards[" + std::to_string(i) + "]", board);
        rig.boards.push_back(std::move(board));
    }
    if (rig.boards.size() > 8) Fail("boards", "at most 8 boards");
    CheckTagsNameOneDeviceEach(rig);
    ReadCables(rig);
    if (root.contains("dma")) {
        const Json& d = root["dma"];
        RequireObject(d, "dma");
        CheckKeys(d, "dma", {"timing", "bytes_per_second"});
        if (d.contains("timing")) {
            const std::string t = ReadString(d["timing"], "dma.timing");
            if (t == "instant") rig.dmaTiming.modelled = false;
            else if (t == "modelled") rig.dmaTiming.modelled = true;
            else Fail("dma.timing", "\"" + t + "\" is not a timing (\"instant\" or \"modelled\")");
        }
        if (d.contains("bytes_per_second"))
            rig.dmaTiming.bytesPerSecond = ReadUnsigned(d["bytes_per_second"], "dma.bytes_per_second", 1000, 1ull << 40);
    }
    if (root.contains("host_memory_mib"))
        rig.hostMemoryBytes = ReadUnsigned(root["host_memory_mib"], "host_memory_mib", 1, 3072) << 20;
    if (root.contains("faults")) {
        if (!root["faults"].is_array()) Fail("faults", "expected a list");
        for (size_t i = 0; i < root["faults"].size(); ++i) ReadFault(root["faults"][i], "faults[" + std::to_string(i) + "]", rig);
    }
}

}  // namespace

BoardConfig DefaultBoard(BoardKind kind, const std::string& tag) {
    BoardConfig b;
    b.kind = kind;
    b.tag = tag;
    const bool main = kind == BoardKind::Brimola;
    b.sdramBytes = (main ? 512ull : 256ull) << 20;
    b.revision = 0xC75;
    b.pcixImage = main ? "PUVI" : "KEZO";
    b.vpd = DefaultVpdFields(kind);
    b.breakoutBox = false;
    return b;
}

RigConfig DefaultRig() {
    RigConfig rig;
    rig.boards.push_back(DefaultBoard(BoardKind::Brimola, "Brimola1"));
    rig.boards.back().breakoutBox = true;
    rig.boards.push_back(DefaultBoard(BoardKind::Nuxa, "Nuxa1"));
    // As a station is delivered: both board links cabled board to board.
    rig.boards[0].codecPort = rig.boards[0].expansionPort = "Nuxa1";
    rig.boards[1].codecPort = rig.boards[1].expansionPort = "Brimola1";
    return rig;
}

namespace {

// ParseRig of the rig file at rigPath ("": text that is no file).
bool ParseRigFile(const std::string& text, const std::string& fileName, const std::string& rigPath, RigConfig& out, std::string& error) {
    const std::string file = "rig file \"" + OneLine(fileName) + "\": ";
    KeyPath path;
    Json root;
    try {
        root = Json::parse(text, [&path](int, Json::parse_event_t event, Json& parsed) {
            path.Step(event, parsed);
            return true;
        });
    } catch (const nlohmann::json::exception& e) {
        error = file + "not valid JSON: " + OneLine(e.what());
        return false;
    }
    try {
        if (!path.duplicate.empty()) Fail(path.duplicate, "given twice");
        RigConfig rig;
        ReadRig(root, rig);
        CheckFiles(rig);
        CheckSharedFiles(rig, rigPath);
        out = std::move(rig);
        return true;
    } catch (const RigError& e) {
        error = file + "key \"" + OneLine(e.key) + "\": " + OneLine(e.what);
    } catch (const nlohmann::json::exception& e) {
        error = file + OneLine(e.what());
    }
    return false;
}

}  // namespace

bool ParseRig(const std::string& text, const std::string& fileName, RigConfig& out, std::string& error) {
    return ParseRigFile(text, fileName, "", out, error);
}

bool LoadRigFile(const std::string& path, RigConfig& out, std::string& error) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (std::filesystem::is_directory(status)) {
        error = "rig file \"" + OneLine(path) + "\": is a directory, not a rig file";
        return false;
    }
    // Reading a FIFO or a device would wait for a writer that never comes.
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        error = "rig file \"" + OneLine(path) + "\": is not a regular file (a FIFO or device), not a rig file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "rig file \"" + OneLine(path) + "\": cannot be opened";
        return false;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    return ParseRigFile(ss.str(), path, path, out, error);
}

}  // namespace sim
