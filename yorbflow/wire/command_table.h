// The breakout box's commands as data: their parameters, types, directions and owning devices.
// Depends on the wire format only, so the simulated box can check what it receives against it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "yorbflow/wire/wire_format.h"

namespace YorbFlow::Wire {

// Which device of the box carries out a command. The format, I/O mode, resizer, start and stop
// commands go to both video devices; a box with one of them silent fails them.
enum Device : uint8_t {
    DEVICE_BEXI = 1,     // the HD video device
    DEVICE_NULK = 2,     // the SD video device: its inputs and outputs, diagnostics, configuration
    DEVICE_DOLWER = 4,   // the audio device: clocks, routing, sample-rate converters, time code
};

// How a parameter travels.
enum ParamRole : uint8_t {
    ROLE_SEND = 1,    // a send carries it, and must
    ROLE_KEY = 2,     // a request may carry it to choose what is answered
    ROLE_REPLY = 4,   // the reply to a request carries it
};

// Which way a command may go.
enum Direction : uint8_t {
    DIR_SEND = 1,
    DIR_REQUEST = 2,
};

struct ParamEntry {
    const char* name;
    uint8_t type;    // TypeCode 1-9
    uint8_t roles;   // ParamRole bits
};

struct CommandEntry {
    const char* name;       // the Yorb name, without the Set/Get prefix callers put before it
    uint8_t devices;        // Device bits
    uint8_t directions;     // Direction bits
    const ParamEntry* params;
    size_t paramCount;

    // The parameter of that name (exact, case-sensitive), or null.
    const ParamEntry* Find(const std::string& paramName) const;
};

// Every command the library knows, and how many.
extern const CommandEntry kCommands[];
extern const size_t kCommandCount;

// The command of that Yorb name (exact, case-sensitive), or null.
const CommandEntry* FindCommand(const std::string& name);

// Checks a decoded send, request or reply against the table: CMDSTATUS_OK, or
// CMDSTATUS_UNKNOWN_COMMAND, CMDSTATUS_WRONG_DIRECTION (a send or request the command does not
// take), CMDSTATUS_UNKNOWN_PARAM (not a parameter, or not one of that direction's),
// CMDSTATUS_WRONG_TYPE, CMDSTATUS_MISSING_PARAM (a send without one of its parameters).
// Requests may leave out their key parameters; replies may leave out any of theirs.
CommandStatus_t CheckAgainstTable(const Message& message);

}  // namespace YorbFlow::Wire
