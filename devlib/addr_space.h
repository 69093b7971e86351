// Address spaces of a device: the base class with its default behaviours, and register spaces with symbols.
#pragma once

#include "devlib/dev_types.h"
#include "devlib/register_window.h"
#include "platform/cstring.h"

// A range of a device that can be read and written: memory, registers, an I2C part. Get and Set
// move count address units between a host buffer and the space and answer how many moved.
class PEX_EXPORT CDevAddrSpace {
public:
    enum SPACETYPE {
        SPACE_NONE = 0,
        SPACE_MEMORY = 1,
        SPACE_REGISTER = 2,
        SPACE_SDRAM = 3,
        SPACE_FLASH = 4,
        SPACE_BAR0 = 5,
        SPACE_I2C_DIMM = 6,
        SPACE_I2C_TSENSOR = 7,
        SPACE_I2C_CLOCK = 8,
        SPACE_FARNODEK = 9,
    };

    CDevAddrSpace() = default;
    CDevAddrSpace(SPACETYPE kind, const char* name, const char* description, DWORD itemCount, const PMD_AccessInfo& access)
        : m_kind(kind), m_name(name), m_description(description), m_itemCount(itemCount), m_access(access) {}
    CDevAddrSpace(const CDevAddrSpace&) = default;
    CDevAddrSpace& operator=(const CDevAddrSpace&) = default;
    virtual ~CDevAddrSpace() = default;

    virtual BOOL AreSymbolsAvailable() const { return FALSE; }
    // A host pointer mapped onto [address, address + length), or null when there is no direct mapping.
    virtual void* GetRdPointer(DWORD address, DWORD length);
    virtual void* GetWrPointer(DWORD address, DWORD length);
    virtual int Set(const void* buffer, DWORD address, int count);
    virtual int Get(void* buffer, DWORD address, int count);
    virtual int SetBytes(const void* buffer, DWORD address, int count) { return Set(buffer, address, count); }
    virtual int GetBytes(void* buffer, DWORD address, int count) { return Get(buffer, address, count); }
    virtual int EraseBytes(DWORD address, int count);
    virtual BOOL GetPhysAddress(DWORD address, DWORD* out);
    // Register spaces hand out their registers through the register window; others give null.
    virtual RegisterPtr GetRegisterPointer(DWORD offset, DWORD length);

    SPACETYPE GetType() const { return static_cast<SPACETYPE>(m_kind); }
    CString GetName() const { return m_name; }
    CString GetDescription() const { return m_description; }
    const PMD_AccessInfo& GetAccessInfo() const { return m_access; }
    // Size in address units: the item count times the access information's first word.
    ULONGLONG GetSize() const { return ULONGLONG{m_itemCount} * m_access.itemUnits; }
    DWORD GetItemCount() const { return m_itemCount; }
    DWORD GetAddrUnitBytes() const { return m_access.unitBytes; }

    // The name of a space kind for messages ("SDRAM", "BAR0", ...); "Unknown" for others.
    static CString EncodeType(SPACETYPE type);

protected:
    DWORD m_kind = SPACE_NONE;
    CString m_name;
    CString m_description;
    DWORD m_itemCount = 0;
    PMD_AccessInfo m_access;
};

// A space of registers that may carry a symbol table naming its registers.
class PEX_EXPORT CDevRegSpace : public CDevAddrSpace {
public:
    CDevRegSpace() { UnsetSymbolTable(); }
    CDevRegSpace(SPACETYPE kind, const char* name, const char* description, DWORD itemCount, const PMD_AccessInfo& access)
        : CDevAddrSpace(kind, name, description, itemCount, access) {
        UnsetSymbolTable();
    }
    CDevRegSpace(const CDevRegSpace&) = default;
    CDevRegSpace& operator=(const CDevRegSpace&) = default;
    ~CDevRegSpace() override { UnsetSymbolTable(); }

    BOOL AreSymbolsAvailable() const override { return m_symbols != nullptr; }
    // The descriptor of the named register or block (exact name), copied to out when given; null when unknown.
    const CPPVarDesc* GetSymbolDesc(const char* name, CPPVarDesc* out = nullptr) const;
    void SetSymbolTable(const CPPVarDesc* table, int count);
    void UnsetSymbolTable() {
        m_symbols = nullptr;
        m_symbolCount = 0;
    }
    int GetDataItemCount() const { return m_dataItemCount; }

protected:
    const CPPVarDesc* m_symbols = nullptr;
    int m_dataItemCount = 0;
    int m_symbolCount = 0;
    DWORD m_reserved = 0;
};
