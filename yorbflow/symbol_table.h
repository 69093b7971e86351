// The symbolic constants of the box's parameters: the console names reply values by them and the
// compiler resolves SetParamBySymbol through them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace YorbFlow {

struct YorbSymbolValue {
    uint32_t value;
    const char* symbol;
};

struct YorbSymbolParam {
    const char* name;
    const YorbSymbolValue* values;
    size_t count;
};

struct YorbSymbolCommand {
    const char* name;   // Yorb name; "VideoOutput" has two entries of the same content
    const YorbSymbolParam* params;
    size_t count;
};

constexpr size_t kYorbSymbolCommands = 30;
extern const YorbSymbolCommand YorbSymbolTable[kYorbSymbolCommands];

// The symbol of value for that command's parameter, searched over the whole table (exact,
// case-sensitive names; the last match wins); null when there is none.
const char* FindYorbSymbol(const char* command, const char* param, uint32_t value);

// The value of that symbol for the command's parameter; false when the parameter has no such symbol.
bool FindYorbSymbolValue(const char* command, const char* param, const char* symbol, uint32_t* value);

}  // namespace YorbFlow
