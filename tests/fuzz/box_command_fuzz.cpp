// Fuzz target of the breakout-box command text path: the console's words through the command library to the simulated box and back.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "breakout/external_io.h"
#include "devlib/rig.h"
#include "sim/rig_config.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

// The console's test, its output kept instead of shown.
class QuietNulk : public CNulk {
public:
    QuietNulk() : CNulk(nullptr, "CNulk") {}
    void PrintStyled(CString text, COLORREF, COLORREF, BOOL) override { out += text.str(); }
    void PrintColor(CString text, COLORREF) override { out += text.str(); }
    void Print(CString text) override { out += text.str(); }
    std::string out;
};

int Broken(const char* promise) {
    std::fprintf(stderr, "broken promise: %s\n", promise);
    return 1;
}

constexpr size_t kMaxWords = 40, kMaxInput = 4096;
constexpr DWORD kCapacity = 600;

}  // namespace

// The input is the console's words, separated by blanks or line ends: "Yorb" (symbols) or "YorbV"
// (values) first, then the command name and name/value pairs, as a Tcl script gives them. Each
// input runs on a fresh default rig, whose box is healthy: whatever the words, the box answers
// and its answer decompiles.
int FuzzBoxCommand(const uint8_t* data, size_t size) {
    if (size > kMaxInput) return 0;
    std::vector<std::string> words;
    std::string word;
    for (size_t i = 0; i <= size; ++i) {
        const char c = i < size ? static_cast<char>(data[i]) : ' ';
        if (c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\0') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (words.empty() || words.size() > kMaxWords) return 0;
    devlib::LoadRig(sim::DefaultRig());
    QuietNulk nulk;
    if (nulk.SetupDevice("Brimola1") != kRunPassed) return Broken("the default rig's main board binds");
    std::vector<const char*> argv;
    for (const std::string& w : words) argv.push_back(w.c_str());
    std::vector<BYTE> reply(kCapacity + 8, 0xEE);
    DWORD length = 12345;
    nulk.SetShowValues(words[0] == "YorbV" ? 1 : 0);
    const int result = nulk.RunYorbCommand(static_cast<int>(argv.size()), argv.data(), reply.data(), kCapacity, &length, 1);
    if (reply[kCapacity] != 0xEE) return Broken("the console writes within its capacity");
    if (result == 0 && length != 0) return Broken("a failed command answers no text");
    if (result == 1) {
        const std::string text(reinterpret_cast<const char*>(reply.data()), length);
        const bool get = words.size() > 1 && words[1].compare(0, 3, "Get") == 0;
        if (length > kCapacity || (get ? text.rfind(words[1] + " ", 0) != 0 : length != 0))
            return Broken("a request answers its name and values, a send nothing");
    }
    // A healthy box answers at once and its replies decompile; the cable is there.
    for (const char* never : {"Timeout on receive.", "Timeout on send.", "Yorb reply would no decompile.", "The cable to the BoB is not connected."})
        if (nulk.out.find(never) != std::string::npos) return Broken("a healthy box answers every command it is sent");
    return 0;
}
