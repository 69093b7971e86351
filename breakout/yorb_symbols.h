// YorbSymbolTable: the reply values the breakout-box console shows by name.
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"

struct YorbSymbolValue {
    DWORD value;
    std::string symbol;
};

struct YorbSymbolParam {
    std::string name;  // a reply parameter of the command
    std::vector<YorbSymbolValue> values;
};

struct YorbSymbolCommand {
    std::string name;  // the command's library name (no direction prefix)
    std::vector<YorbSymbolParam> params;
};

// The 30 command entries in their fixed order ("VideoOutput" stands twice, with the same content).
const std::vector<YorbSymbolCommand>& YorbSymbolTable();

// The symbol of value for the command's parameter; all names compare exactly. The whole table is
// searched and the last match wins. Null when the table does not name the value.
const char* FindYorbSymbol(const char* command, const char* param, DWORD value);
