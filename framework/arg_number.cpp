// The numbers of a test's argument text: one reader for every test, so none cuts a number to its field.
#include "framework/arg_number.h"

#include <cstring>

using platform::FieldScan;
using platform::NumberFit;
using platform::ReadField;

namespace {

ArgNumber FromScan(const FieldScan& scan, const char* start, const char* name, platform::NumberField field) {
    ArgNumber result;
    if (scan.fit == NumberFit::None) return result;
    if (scan.fit == NumberFit::OutOfRange) {
        result.state = ArgRead::Refused;
        // The number as typed, without the blanks before it.
        while (*start == ' ' || *start == '\t' || *start == '\r' || *start == '\n') ++start;
        result.refusal = RefusedArgument(name, CString(start, static_cast<int>(scan.end - start)), field);
        return result;
    }
    result.state = ArgRead::Read;
    result.value = scan.value;
    return result;
}

}  // namespace

CString RefusedArgument(const CString& name, const CString& typed, platform::NumberField field) {
    CString line;
    line.Format("Argument %s=%s does not fit its range %lld..%lld\n", name.c_str(), typed.c_str(),
                static_cast<long long>(field.min), static_cast<long long>(field.max));
    return line;
}

ArgNumber ReadArgAfter(const CString& text, const char* prefix, platform::NumberForm form, platform::NumberField field,
                       const char* name) {
    const int at = text.Find(prefix);
    if (at < 0) return ArgNumber{};
    const char* start = text.c_str() + at + std::strlen(prefix);
    return FromScan(ReadField(start, form, field), start, name, field);
}

ArgNumber ReadArgValue(const CParamString& params, const char* key, platform::NumberForm form, platform::NumberField field) {
    CString value;
    if (!params.GetValue(key, value)) return ArgNumber{};
    return FromScan(ReadField(value.c_str(), form, field), value.c_str(), key, field);
}

bool ReadPrefixedWord(const CString& text, DWORD& value) {
    const FieldScan read = ReadField(text.c_str(), platform::NumberForm::Prefixed, platform::kUnsigned32Field);
    if (read.fit != NumberFit::Fits) return false;
    value = static_cast<DWORD>(read.value);
    return true;
}

ArgInts ReadArgInts(const char* text, int wanted, const char* name) {
    ArgInts ints;
    const char* p = text;
    for (; ints.count < wanted && ints.count < 4; ++ints.count) {
        if (ints.count > 0 && *p++ != ',') break;
        const FieldScan read = ReadField(p, platform::NumberForm::Decimal, platform::kSigned32Field);
        if (read.fit == NumberFit::None) break;
        if (read.fit == NumberFit::OutOfRange) {
            const ArgNumber refused = FromScan(read, p, name, platform::kSigned32Field);
            ints.state = ArgRead::Refused;
            ints.refusal = refused.refusal;
            return ints;
        }
        ints.values[ints.count] = static_cast<int>(read.value);
        p = read.end;
    }
    if (ints.count == wanted) ints.state = ArgRead::Read;
    return ints;
}

CString RefusedInts(const CParamString& params, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        const ArgNumber read = ReadArgValue(params, key, platform::NumberForm::Decimal, platform::kSigned32Field);
        if (read.state == ArgRead::Refused) return read.refusal;
    }
    return CString();
}

ArgSize ReadArgSize(const char* text, bool blankBeforeComma, platform::NumberField field, const char* name) {
    ArgSize size;
    const char* p = text;
    const FieldScan x = ReadField(p, platform::NumberForm::Decimal, field);
    if (x.fit == NumberFit::None) return size;
    size.count = 1;
    p = x.end;
    if (blankBeforeComma)
        while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
    FieldScan y{NumberFit::None, 0, p, false};
    if (*p == ',') y = ReadField(p + 1, platform::NumberForm::Decimal, field);
    if (y.fit != NumberFit::None) size.count = 2;
    if (x.fit == NumberFit::OutOfRange || y.fit == NumberFit::OutOfRange) {
        // Refused even when the second number is missing: the first alone would be cut.
        const char* start = text;
        while (*start == ' ' || *start == '\t' || *start == '\r' || *start == '\n') ++start;
        const char* end = y.fit == NumberFit::None ? x.end : y.end;
        size.state = ArgRead::Refused;
        size.refusal = RefusedArgument(name, "(" + CString(start, static_cast<int>(end - start)) + ")", field);
        return size;
    }
    if (size.count < 2) {
        size.x = x.value;
        return size;
    }
    size.state = ArgRead::Read;
    size.x = x.value;
    size.y = y.value;
    return size;
}

ArgSize ReadArgDim(const CString& text, bool blankBeforeComma) {
    const int at = text.Find("DIM=");
    if (at < 0 || text[at + 4] != '(') return ArgSize{};
    return ReadArgSize(text.c_str() + at + 5, blankBeforeComma, platform::kSigned32Field, "DIM");
}

SolidValues ReadSolidValues(const CString& entry, bool hex, long long y, long long cb, long long cr,
                            const platform::NumberField* field) {
    SolidValues solid;
    solid.values[0] = y;
    solid.values[1] = cb;
    solid.values[2] = cr;
    CString group;
    if (!CParamString(entry).GetValue("SOLID", group)) return solid;
    solid.state = ArgRead::Read;
    const CParamString params(group);
    static const char* const kKeys[3] = {"Y", "CB", "CR"};
    for (int i = 0; i < 3; ++i) {
        CString text;
        if (!params.GetValue(kKeys[i], text)) continue;
        const char* p = text.c_str();
        while (*p == ' ' || *p == '\t') ++p;
        const bool prefixed = hex && p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
        const platform::NumberField own = prefixed ? platform::kUnsigned32Field : platform::kSigned32Field;
        const platform::NumberField used = field ? *field : own;
        const FieldScan read =
            ReadField(p, prefixed ? platform::NumberForm::Prefixed : platform::NumberForm::Decimal, used);
        const ArgNumber number = FromScan(read, p, (CString("SOLID ") + kKeys[i]).c_str(), used);
        if (number.state == ArgRead::Refused) {
            solid.state = ArgRead::Refused;
            solid.refusal = number.refusal;
            return solid;
        }
        if (number.state == ArgRead::Read) solid.values[i] = number.value;
    }
    return solid;
}
