// The breakout box's command byte code: layout, type codes, result codes and compile statuses.
// Depends on the standard library only, so the simulated box can read and answer it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace YorbFlow {

// Outcome of compiling a command to byte code or decompiling a reply from it.
enum CommandStatus_t {
    CMDSTATUS_OK = 0,
    CMDSTATUS_NO_DIRECTION = 1,      // neither a send nor a data request
    CMDSTATUS_UNKNOWN_PARAM = 2,     // the command has no parameter of that name
    CMDSTATUS_MISSING_PARAM = 3,     // a send lacks one of its parameters
    CMDSTATUS_BAD_SYMBOL = 4,        // no symbolic constant of that name for the parameter
    CMDSTATUS_UNKNOWN_COMMAND = 5,   // the library does not know the command name
    CMDSTATUS_WRONG_TYPE = 6,        // a value set with another type than the parameter's
    CMDSTATUS_WRONG_DIRECTION = 7,   // the command cannot be sent (or requested) that way
    CMDSTATUS_BAD_BYTE_CODE = 8,     // malformed or damaged byte code
    CMDSTATUS_TOO_LARGE = 9,         // more parameters or bytes than the byte code carries
    CMDSTATUS_NOT_A_REPLY = 10,      // byte code of a command where a reply was expected
};

namespace Wire {

// Parameter type codes; the byte widths follow from them (BYTES carries its own length).
enum TypeCode : uint8_t {
    TYPE_ERROR = 0,
    TYPE_INT8 = 1,
    TYPE_INT16 = 2,
    TYPE_INT32 = 3,
    TYPE_INT64 = 4,
    TYPE_UINT8 = 5,
    TYPE_UINT16 = 6,
    TYPE_UINT32 = 7,
    TYPE_UINT64 = 8,
    TYPE_BYTES = 9,
};

// "INT8" ... "BYTES" for codes 1-9, "Error" for anything else.
const char* TypeCodeString(int code);
// The code whose string equals text exactly (case-sensitive); 0 when none.
int TypeCodeFromString(const char* text);
// Bytes of a value of that code: 1, 2, 4 or 8; 0 for BYTES and unknown codes.
int TypeWidth(int code);

// What a byte code carries.
enum Kind : uint8_t {
    KIND_SEND = 1,      // sets values on the box
    KIND_REQUEST = 2,   // asks the box for values
    KIND_REPLY = 3,     // the box's answer, with its result code
};

// The device library's result codes for a command (PARRTNTYPE); a reply carries one of them.
enum Result : uint8_t {
    RESULT_IGNORED = 0,
    RESULT_SUCCESS = 1,
    RESULT_FAILURE = 2,
    RESULT_PROGRAM_ERROR = 3,
    RESULT_WRONG_TYPE = 4,
    RESULT_BAD_LENGTH = 5,
    RESULT_NEEDS_VALUE = 6,
    RESULT_INPUT_MISSING = 7,
    RESULT_PARAM_MISSING = 8,
    RESULT_BAD_VALUE = 9,
    RESULT_TIMEOUT = 10,
    RESULT_OVERRUN = 11,
    RESULT_SEND_TIMEOUT = 12,
    RESULT_RECEIVE_TIMEOUT = 13,
    RESULT_UNKNOWN_COMMAND = 14,
    RESULT_UNKNOWN_PARAM = 15,
    RESULT_BAD_SYMBOL = 16,
    RESULT_SEND_WOULD_NOT_COMPILE = 17,
    RESULT_REPLY_WOULD_NOT_DECOMPILE = 18,
    RESULT_CABLE_NOT_CONNECTED = 19,
    RESULT_NOT_SUPPORTED = 20,
    RESULT_DEVICE_PROBLEM = 21,
    RESULT_LAST = 21,
};

// Limits of the byte code; anything beyond them is refused on both sides.
constexpr size_t kMaxNameLength = 64;       // command and parameter names, at least 1 character
constexpr size_t kMaxParams = 64;
constexpr size_t kMaxStreamBytes = 65536;   // one BYTES value

// One parameter: a numeric value as the bit pattern of its width (zero-extended to 64 bits), or a
// byte stream for BYTES.
struct Param {
    std::string name;
    uint8_t type = TYPE_ERROR;
    uint64_t value = 0;
    std::vector<uint8_t> bytes;
};

struct Message {
    Kind kind = KIND_SEND;
    uint8_t result = 0;   // replies only; 0 in commands
    std::string name;
    std::vector<Param> params;

    // The parameter of that name (exact), or null.
    const Param* Find(const std::string& paramName) const;
};

// Byte code layout (multi-byte numbers little-endian):
//   0  'Y' 'F'            magic
//   2  1                  version
//   3  kind               1 send, 2 request, 3 reply
//   4  result             reply: its result code 0-21; command: 0
//   5  name length n      1-64
//   6  parameter count    0-64
//   7  0                  reserved
//   8  total length       u32: every byte of the code, the check included
//  12  name               n printable ASCII bytes
//      parameters, each:  name length m (1-64), name, type code (1-9), then the value in its
//                         width, or for BYTES a u32 length (at most 64 KiB) and the bytes
//  end-4  check           CRC-32 (IEEE, reflected, as zlib) of every byte before it
constexpr size_t kHeaderBytes = 12;
constexpr size_t kCheckBytes = 4;
constexpr uint8_t kVersion = 1;

// CRC-32 of size bytes, continuing from crc (0 to start).
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

// The byte code of message; status CMDSTATUS_OK, or why it cannot be encoded (a name out of
// limits or not printable, a name given twice, a bad type code or reply result, a stream over the
// limit, too many parameters).
CommandStatus_t Encode(const Message& message, std::vector<uint8_t>& out);

// Reads a byte code; CMDSTATUS_OK and message filled, or CMDSTATUS_BAD_BYTE_CODE for anything
// malformed (wrong length, check, magic, version, kind, names, type codes, duplicate parameter
// names, bytes left over). Never reads outside [data, data + size).
CommandStatus_t Decode(const uint8_t* data, size_t size, Message& message);

}  // namespace Wire
}  // namespace YorbFlow
