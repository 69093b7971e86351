// CMultiImageFile: one file holding a pair of related images (sent and received, or two pixel formats).
#pragma once

#include <cstring>

#include "images/file_error.h"
#include "images/image.h"
#include "platform/cstring.h"
#include "platform/files.h"
#include "platform/types.h"

// {82235680-B42F-4B52-B51A-AC3C724E116D}: the 16 bytes that open every two-image file.
inline constexpr ImageGuid kMultiImageFileGuid =
    GuidBytes(0x82235680, 0xB42F, 0x4B52, {0xB5, 0x1A, 0xAC, 0x3C, 0x72, 0x4E, 0x11, 0x6D});

// The file is the identity followed by the first and the second image, each one whole image
// file (image.h) in the format given to Save, with nothing between them. Only the binary
// format reads back. The object keeps the pair last saved or loaded.
template <class A, class B>
class CMultiImageFile {
public:
    virtual ~CMultiImageFile() = default;

    virtual A* GetFirst() { return &m_first; }
    virtual B* GetSecond() { return &m_second; }

    // Writes the file; the second image only when the first was written. Both images are
    // copied into the members whatever the writes answered, once the file was opened. The file is
    // replaced only by a whole archive: a failed save leaves it as it was. A file that cannot be
    // created raises the "ERROR:  Couldn't open file" message box, one whose writing failed the
    // "ERROR:  Couldn't write file" box, with the cause; both answer 0.
    virtual int Save(const CString& path, const A& first, const B& second, DWORD format) {
        const images_detail::SaveOutcome saved = images_detail::SaveWhole(path, [&](CFile& file) {
            CArchive ar(&file, CArchive::store, 4096);
            int result = file.Write(kMultiImageFileGuid.data(), kMultiImageFileGuid.size()) ? 1 : 0;
            if (result == 1) result = first.Write(ar, static_cast<int>(format));
            if (result == 1) result = second.Write(ar, static_cast<int>(format));
            ar.Close();
            return result;
        });
        if (!saved.opened) {
            images_detail::ReportOpenFailure(saved.error);
            return 0;
        }
        m_first = first;
        m_second = second;
        // A format the images have no form for writes nothing, and is no file error.
        if (saved.error) images_detail::ReportWriteFailure(saved.error);
        return saved.result;
    }

    // Reads a file that Save wrote in format 0 from the archive's file at its position. A short
    // file or a failed image rewinds the file and answers 0 (the first member may already be
    // replaced); another kind of file answers 0 with the position after its first 16 bytes.
    virtual int Load(CArchive& ar) {
        CFile* file = ar.GetFile();
        if (!file) return 0;
        BYTE magic[16];
        if (file->Read(magic, sizeof magic) != sizeof magic) {
            file->SeekToBegin();
            return 0;
        }
        if (std::memcmp(magic, kMultiImageFileGuid.data(), sizeof magic) != 0) return 0;
        if (!m_first.Read(ar) || !m_second.Read(ar)) {
            file->SeekToBegin();
            return 0;
        }
        return 1;
    }

private:
    A m_first{0, 0};
    B m_second{0, 0};
};
