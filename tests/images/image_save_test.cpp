// Tests of the image library's saves: each kind replaces its file only whole, and says why it failed.
#include "image_test_util.h"
#include "images/file_buffer.h"
#include "images/file_error.h"
#include "images/multi_image_file.h"
#include "platform/host_ui.h"
#include "tests/support/save_checks.h"

using namespace image_test;

TEST(ImageSave, EverySaveKindFailsWithItsCauseKeepsTheOldFileAndLeavesNothingBeside) {
    // Each kind in a large form (past the checks' size limit) and a small one.
    struct Pictures {
        Pictures(DWORD width, DWORD height) : picture(width, height, 0), eight(width, height) {
            picture.FillRandom(5, 1, 0, 0x3FF);
            eight.FillRandom(6, 1);
            packed = PPicture(picture, PPicture::GetPadFor(width, height));
            block = AllBytes(picture);
        }
        UPicture picture;
        Picture8 eight;
        PPicture packed{0, 0};
        Bytes block;
    };
    const Pictures large(128, 64), small(8, 2);
    // What a save that answers 0 says: the message box it raised, else the cause text of errno.
    auto said = [](std::string& text, int result) {
        const int error = errno;
        const auto& boxes = platform::MessageBoxHistory();
        if (result != 1) text = boxes.empty() ? images_detail::FileErrorText(error).str() : (boxes.back().caption + " " + boxes.back().text).str();
        platform::ClearMessageBoxHistory();
        return result == 1;
    };
    using Save = std::function<int(const Pictures&, const CString&)>;
    auto kind = [&](const char* name, Save save, const char* full = "The disk is full.") {
        return support::SaveKind{name, [&, save](const std::string& p, std::string& t, bool big) { return said(t, save(big ? large : small, p.c_str())); }, full};
    };
    const support::SaveKind kinds[] = {
        kind("binary image", [](const Pictures& s, const CString& p) { return s.picture.SaveFile(p, 0); }),
        kind("text image", [](const Pictures& s, const CString& p) { return s.packed.SaveFile(p, 1); }),
        kind("two-image file", [](const Pictures& s, const CString& p) { return CMultiImageFile<PPicture, UPicture>().Save(p, s.packed, s.picture, 0); },
             "ERROR:  Couldn't write file The disk is full."),
        kind("file buffer", [](const Pictures& s, const CString& p) { return CFileBuffer(s.block.data(), static_cast<DWORD>(s.block.size())).SaveFile(p); }),
        kind("block", [](const Pictures& s, const CString& p) { return WriteFileFrom(p, s.block.data(), static_cast<DWORD>(s.block.size())); }),
        kind("8-bit BMP woven", [](const Pictures& s, const CString& p) { return s.eight.SaveBMP(p, 1, 1); }),
        kind("10-bit BMP", [](const Pictures& s, const CString& p) { return s.picture.SaveBMP(p, 2, 0); }),
        kind("packed BMP", [](const Pictures& s, const CString& p) { return s.packed.SaveBMP(p, 1, 0); }),
    };
    platform::ClearMessageBoxHistory();
    for (const support::SaveKind& kind : kinds) support::ExpectWholeFileSave(kind);
}
