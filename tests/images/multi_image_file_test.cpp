// Tests of the two-image file: layout, round trips, refusals and the members it keeps.

#include "image_test_util.h"
#include "images/multi_image_file.h"
#include "platform/host_ui.h"

using namespace image_test;

namespace {

const Bytes kMagic = {0x80, 0x56, 0x23, 0x82, 0x2F, 0xB4, 0x52, 0x4B, 0xB5, 0x1A, 0xAC, 0x3C, 0x72, 0x4E, 0x11, 0x6D};

// Loads the file; the file's position afterwards goes to *position.
template <class A, class B>
int LoadFrom(CMultiImageFile<A, B>& archive, const std::string& path, LONGLONG* position) {
    CFile file;
    if (!file.Open(path.c_str(), CFile::modeRead | CFile::typeBinary)) return -1;
    CArchive ar(&file, CArchive::load);
    int result = archive.Load(ar);
    *position = file.GetPosition();
    return result;
}

}  // namespace

TEST(MultiImageFile, RoundTripsMembersAndRefusals) {
    TempDir dir;
    const std::string path = dir / "pair.img";
    LONGLONG at = 0;
    UPicture sent(16, 8, 0), received(16, 8, 0);
    sent.FillRandom(1, 1, 0, 0x3FF);
    received.nSampleFormat = 1;
    CMultiImageFile<UPicture, UPicture> archive, loaded;
    ASSERT_EQ(1, archive.Save(path.c_str(), sent, received, 0));
    const Bytes file = ReadBytes(path);  // the second image follows the first at once
    EXPECT_EQ(std::make_pair(size_t(16 + 2 * (56 + 512)), BYTE(0xB2)), std::make_pair(file.size(), file.at(16 + 56 + 512)));
    ASSERT_EQ(1, LoadFrom(loaded, path, &at));
    EXPECT_EQ(std::make_pair(State(sent), State(received)), std::make_pair(State(*loaded.GetFirst()), State(*loaded.GetSecond())));
    EXPECT_EQ(AllBytes(sent), AllBytes(*archive.GetFirst()));  // the pair saved stays in the members
    CMultiImageFile<Picture8, Picture8> eight;
    EXPECT_EQ(0, eight.Save(path.c_str(), Picture8(2, 2), Picture8(4, 2), 1));  // no 8-bit text form: the file as it was, both kept
    EXPECT_EQ(std::make_pair(file, 4u), std::make_pair(ReadBytes(path), eight.GetSecond()->GetWidth()));

    ASSERT_EQ(1, archive.Save(path.c_str(), UPicture(4, 1, 0), UPicture(4, 1, 0), 0));
    Bytes cut = ReadBytes(path);
    cut.pop_back();
    // The identity alone, a short identity and a second image cut short rewind; another kind of file stops after 16 bytes.
    for (auto [bytes, position] : {std::pair(kMagic, 0), std::pair(Bytes(10, 0x80), 0), std::pair(cut, 0), std::pair(Bytes(64, 0x33), 16)}) {
        WriteBytes(path, bytes);
        at = -1;
        EXPECT_EQ(0, LoadFrom(archive, path, &at));
        EXPECT_EQ(position, at) << bytes.size() << " bytes";
    }
    platform::ClearMessageBoxHistory();
    EXPECT_EQ(0, archive.Save(path.c_str(), UPicture(2, 1, 0), UPicture(2, 1, 0), 3));  // an unknown format, no file error
    EXPECT_EQ(Bytes(64, 0x33), ReadBytes(path));
    EXPECT_TRUE(platform::MessageBoxHistory().empty());
    // A file that cannot be created raises the message box.
    platform::ClearMessageBoxHistory();
    EXPECT_EQ(0, archive.Save((dir / "missing/pair.img").c_str(), UPicture(4, 1, 0), UPicture(4, 1, 0), 0));
    ASSERT_EQ(1u, platform::MessageBoxHistory().size());
    EXPECT_EQ(std::make_pair(CString("ERROR:  Couldn't open file"), CString("All or part of the path is invalid.")),
              std::make_pair(platform::MessageBoxHistory()[0].caption, platform::MessageBoxHistory()[0].text));
    platform::ClearMessageBoxHistory();
}
