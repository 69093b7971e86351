// The keyer's slider sheet and its register scripts.
#include "videopath/kerzil_slider.h"

CKerzilSliderDlg::CKerzilSliderDlg() : m_Desc{} {}

COptionsSheetKerzilSlider::COptionsSheetKerzilSlider(CString args, DWORD firstOffset, RegisterPtr firstRegister,
                                                     void* parent) {
    (void)args;
    (void)firstOffset;
    (void)firstRegister;
    (void)parent;
}

int COptionsSheetKerzilSlider::DoModal() { return platform::IDCANCEL; }

CString COptionsSheetKerzilSlider::Describe() const { return ""; }

bool COptionsSheetKerzilSlider::Apply(const platform::DialogAction& action, CString& error) {
    (void)action;
    error = "Unknown action";
    return false;
}
