// The file-open and save-as dialogs: a file name the user types, shown with its filter and default extension.
#pragma once

#include "platform/cstring.h"
#include "platform/dialog.h"

namespace platform {

// Verbs: "file <path>", then "ok" (refused while no name is set) or "cancel" (which empties the name).
class FileDialog : public DialogModel {
public:
    FileDialog(bool save, const CString& defaultExt, const CString& fileName, const CString& filter);

    CString GetTitle() const override { return m_save ? "Save As" : "Open"; }
    CString Describe() const override;
    bool Apply(const DialogAction& action, CString& error) override;
    bool OnOk(CString& error) override;
    void OnCancel() override { m_fileName.Empty(); }

    // The name as chosen; empty after Cancel.
    const CString& GetPathName() const { return m_fileName; }
    // The name with the default extension added when it has none.
    CString GetPathNameWithExt() const;

private:
    bool m_save;
    CString m_defaultExt;
    CString m_fileName;
    CString m_filter;
};

}  // namespace platform
