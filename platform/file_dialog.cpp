// File dialogs answered through the current dialog runner.
#include "platform/file_dialog.h"

#include <algorithm>

namespace platform {

FileDialog::FileDialog(bool save, const CString& defaultExt, const CString& fileName, const CString& filter)
    : m_save(save), m_defaultExt(defaultExt), m_fileName(fileName), m_filter(filter) {}

CString FileDialog::Describe() const {
    CString text;
    text.Format("File name: %s\n", m_fileName.c_str());
    if (!m_filter.IsEmpty()) text += CString("Files of type: ") + m_filter + "\n";
    text += CString("Default extension: ") + m_defaultExt + "\n";
    text += "Actions: file <path>, ok, cancel\n";
    return text;
}

bool FileDialog::Apply(const DialogAction& action, CString& error) {
    if (action.verb == "file" && action.args.size() == 1) {
        m_fileName = action.args[0];
        return true;
    }
    error = action.verb == "file" ? "Give one file path" : "Unknown action";
    return false;
}

bool FileDialog::OnOk(CString& error) {
    if (!m_fileName.IsEmpty()) return true;
    error = "No file name";
    return false;
}

CString FileDialog::GetPathNameWithExt() const {
    if (m_fileName.IsEmpty()) return m_fileName;
    const int slash = std::max(m_fileName.ReverseFind('\\'), m_fileName.ReverseFind('/'));
    if (m_fileName.ReverseFind('.') > slash) return m_fileName;
    CString ext = m_defaultExt;
    while (!ext.IsEmpty() && (ext[0] == '*' || ext[0] == '.')) ext = ext.Mid(1);
    return ext.IsEmpty() ? m_fileName : m_fileName + "." + ext;
}

}  // namespace platform
