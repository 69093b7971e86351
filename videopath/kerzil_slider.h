// The keyer's slider sheet: one page per YCK keyer context, whose sliders write the coefficient
// fields straight into BAR0, and text scripts of a context's seven coefficient registers.
#pragma once

#include "devlib/register_window.h"
#include "platform/cstring.h"
#include "platform/dialog.h"
#include "platform/types.h"

// One context's page. Context i's block is the 64 bytes at BAR0 0x9000 + 0x40 i; the page uses its
// words +0x04 to +0x1C. Each of the 13 fields keeps a cached value, exactly as last written or read.
class CKerzilSliderDlg {
public:
    static constexpr int kFields = 13;
    static constexpr int kRegisters = 7;
    static constexpr int kHueMax = 360;

    // Integer bits (the sign bit counts among them), fraction bits and the signed flag.
    struct FieldDesc {
        DWORD intBits;
        DWORD fracBits;
        DWORD isSigned;
    };

    CKerzilSliderDlg();

    // Stores the block, labels it, then reads all fields from the hardware with READHW=1 in the
    // argument text and clears them otherwise. Answers the pointer it replaced.
    RegisterPtr SetRegisterBlock(DWORD offset, RegisterPtr regs);
    void SetArgText(const CString& text) { m_ArgText = text; }
    void SetContextLabel(const CString& label) { m_contextLabel = label; }
    const CString& GetContextLabel() const { return m_contextLabel; }
    const CString& GetOffsetLabel() const { return m_offsetLabel; }
    DWORD GetRegOffset() const { return m_RegOffset; }

    // Read-modify-write of the field's bits (value masked to the field's width); the cache keeps value.
    void SetField(int index, DWORD value);
    // The cached value, or (cached FALSE) the register's bits, which then become the cache.
    DWORD GetField(int index, BOOL cached);
    void ReadAllFields();
    void ClearAllFields();

    // A field's width in bits; its slider runs 0 .. 2^width - 1 (-1 for an unknown index).
    static int Width(int index);
    static const char* FieldName(int index);
    // The field value a slider position gives: its left end is the most negative value, its middle
    // 0 and its right end the most positive, in two's complement of the field's width.
    static DWORD SliderToField(int index, int position);
    // The field's value as a number (sign and binary point applied to the low 16 bits).
    static double Interpret(int index, DWORD raw);

    // The operator let go of a field's slider at position: writes the field when its value changes.
    void SliderChanged(int index, int position);
    // The operator let go of the Hue Angle slider: only its text changes.
    void HueChanged(int position);
    void SetHex(BOOL hex);
    BOOL IsHex() const { return m_bHex; }
    int GetSliderPosition(int index) const { return m_position[index]; }
    // What the page shows beside a field's slider ("" before a register block is set).
    const CString& GetValueText(int index) const { return m_valueText[index]; }
    const CString& GetHueText() const { return m_hueText; }

    // The seven registers of this context from the cached values, through a save-file dialog.
    void SaveScript();
    // The seven registers of this context from a script chosen in an open-file dialog.
    void LoadScript();
    // The value of the script line "BAR0 <offset> = <hex>" ("%05X" offset); 0 when absent or
    // unreadable (a value past 32 bits included).
    static DWORD FindRegisterValue(const CString& script, DWORD offset);
    // The script text Save Script writes.
    CString ComposeScript() const;

    CString Describe() const;

private:
    void RefreshTexts();

    DWORD m_RegOffset = 0;
    RegisterPtr m_pRegs;
    BOOL m_bHex = FALSE;
    CString m_ArgText;
    FieldDesc m_Desc[kFields];
    DWORD m_Value[kFields] = {};
    int m_position[kFields] = {};
    int m_huePosition = 0;
    CString m_valueText[kFields];
    CString m_hueText;
    CString m_contextLabel;
    CString m_offsetLabel;
};

// The sheet "Kerzil Sliders": 15 pages, context 0 first. Constructing it sets every page's register
// block (and so clears all 15 contexts unless the argument text holds READHW=1).
class COptionsSheetKerzilSlider : public platform::DialogModel {
public:
    static constexpr int kPages = 15;

    // firstRegister points at firstOffset in BAR0; parent is not used (the sheet has no window).
    COptionsSheetKerzilSlider(CString args, DWORD firstOffset, RegisterPtr firstRegister, void* parent);

    // Shows the sheet through the current dialog runner; IDOK or IDCANCEL.
    int DoModal();

    CKerzilSliderDlg& GetPage(int i) { return m_pages[i]; }
    int GetActivePage() const { return m_active; }

    CString GetTitle() const override { return "Kerzil Sliders"; }
    CString Describe() const override;
    bool Apply(const platform::DialogAction& action, CString& error) override;

private:
    CKerzilSliderDlg m_pages[kPages];
    int m_active = 0;
};
