// Tests of the packed 8+2-bit pictures and alphas: sizes and pads, plane layout, packing and pixel access.

#include "image_test_util.h"

using namespace image_test;

namespace {

// Y, Cb and Cr of a pixel of either picture class; all 0xFFFF when the accessor refuses it.
template <class Picture>
std::tuple<WORD, WORD, WORD> Pixel(const Picture& image, DWORD row, DWORD col) {
    WORD y = 0xFFFF, cb = 0xFFFF, cr = 0xFFFF;
    bool ok;
    if constexpr (std::is_same_v<Picture, PPicture>) ok = image.GetPixel(row, col, &y, &cb, &cr);
    else ok = image.GetPixel(row, col, y, cb, cr);
    return ok ? std::make_tuple(y, cb, cr) : std::make_tuple(WORD(0xFFFF), WORD(0xFFFF), WORD(0xFFFF));
}

}  // namespace

TEST(PackedLayout, SizesPadsPlanesPackingAndAlphaPixelFieldsInPartialGroups) {
    const struct { const char* name; bool alpha; DWORD w, h, size, pad; } rows[] = {
        {"image HD", false, 1920, 1080, 5184000, 1536},
        {"image odd pixel count rounds the pair up", false, 5, 3, 38, 4058},
        {"alpha SD", true, 720, 486, 437400, 872},
        {"alpha P mod 4 = 1 rounds the 2-bit plane down", true, 5, 1, 6, 4090},
        {"alpha P mod 4 = 2 rounds it up", true, 6, 1, 8, 4088},
        {"alpha P mod 4 = 3 rounds it up", true, 3, 1, 4, 4092},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(std::make_pair(r.size, r.pad), r.alpha ? std::make_pair(PAlpha::GetSizeFor(r.w, r.h), PAlpha::GetPadFor(r.w, r.h))
                                                         : std::make_pair(PPicture::GetSizeFor(r.w, r.h), PPicture::GetPadFor(r.w, r.h)));
    }
    EXPECT_EQ(37u, PPicture(5, 3, 0).GetSize());  // the half pair counts in GetSizeFor only
    EXPECT_EQ(nullptr, PAlpha(5, 1, 0xFFFFFFFF).GetBuffer());  // no room for the last field behind the largest pad
    // Fresh blocks: pad zero, 2-bit plane 0x77, 8-bit plane 0x99, in each class's order; words run over the whole block.
    PPicture image(8, 2, 4);
    PAlpha alpha(4, 2, 3);
    Bytes fresh(4, 0);
    fresh.resize(12, 0x77);
    fresh.resize(44, 0x99);
    EXPECT_EQ(fresh, AllBytes(image));
    EXPECT_EQ(Bytes({0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x77, 0x77, 0, 0, 0}), AllBytes(alpha));
    EXPECT_EQ(std::make_tuple(image.GetBuffer() + 4, image.GetBuffer() + 12, alpha.GetBuffer() + 8),
              std::make_tuple(image.Get2BitPlane(), image.Get8BitPlane(), alpha.Get2BitPlane()));
    DWORD word = 0;
    EXPECT_TRUE(image.GetWord(10, &word) && !image.GetWord(11, &word) && !alpha.GetWord(3, &word) && alpha.GetWord(2, &word));
    EXPECT_EQ(0x7777u, word);
    // An offset changed after construction moves the planes with the pad; a shrunken pad once
    // made the fresh fill run past the block.
    PPicture moved(8, 2, 100);
    moved.SetOffset(4);
    ASSERT_NE(nullptr, moved.Allocate());
    EXPECT_EQ(fresh, AllBytes(moved));
    // Packing follows the sample format and keeps every sample.
    UPicture pair(2, 1, 0);
    const struct { const char* name; DWORD format; WORD cb, y0, cr, y1; BYTE twoBit; } formats[] = {
        {"format 4: low bits in pair order", 4, 0x303, 0x201, 0, 0x102, 0x87},
        {"format 1: no low bits", 1, 0x303, 0x201, 0, 0x102, 0},
        {"format 2: the low bits of Cr, Y0, Cb, Y1", 2, 0x001, 0x002, 0x003, 0x001, 3 | 2 << 2 | 1 << 4 | 1 << 6},
    };
    for (const auto& f : formats) {
        SCOPED_TRACE(f.name);
        pair.nSampleFormat = f.format;
        WORD words[4];
        UPicture::MakePixelPair(words, f.y0, f.y1, f.cb, f.cr, f.format);
        for (int i = 0; i < 8; ++i) pair.GetBuffer()[i] = static_cast<BYTE>(words[i / 2] >> (i % 2 * 8));
        PPicture full(pair, 0);  // [2-bit plane][8-bit plane]
        EXPECT_EQ(Bytes({f.twoBit, BYTE(f.cb >> 2), BYTE(f.y0 >> 2), BYTE(f.cr >> 2), BYTE(f.y1 >> 2)}), AllBytes(full));
        EXPECT_EQ(f.format, full.nSampleFormat);
    }

    UPicture source(64, 18, 0);
    source.FillRandom(77, 1, 0, 0x3FF);
    PPicture full(source, PPicture::GetPadFor(64, 18)), assigned(2, 2, 0);
    for (DWORD r = 0; r < 18; ++r)
        for (DWORD c = 0; c < 64; ++c) ASSERT_EQ(Pixel(source, r, c), Pixel(full, r, c)) << r << "," << c;
    EXPECT_EQ(std::make_pair(Pixel(source, 18, 0), Pixel(source, 0, 64)), std::make_pair(Pixel(full, 18, 0), Pixel(full, 0, 64)));  // refused
    // Assignment copies the block; a source without the standard pad keeps its planes at its bytes.
    assigned = full;
    EXPECT_EQ(AllBytes(full), AllBytes(assigned));
    assigned = PPicture(source, 0);
    EXPECT_EQ(Pixel(source, 3, 15), Pixel(assigned, 3, 15));
    // A source without data gives an image without a block, and empties an assigned one.
    PPicture empty(UPicture(0, 0, 0), 0);
    assigned = empty;
    EXPECT_TRUE(empty.Get8BitPlane() == nullptr && assigned.GetBuffer() == nullptr);
    // Alpha pixel fields and partial groups.
    PAlpha fields(4, 2, 0);
    WORD value = 0x2D7, back = 0;
    ASSERT_TRUE(fields.SetPixel(1, 1, &value) && fields.GetPixel(1, 1, &back));  // pixel 5
    EXPECT_EQ(std::make_tuple(WORD(0x2D7), BYTE(0xB5), BYTE(0x77 | 0x0C)), std::make_tuple(back, fields.Get8BitPlane()[5], fields.Get2BitPlane()[1]));
    value = 0;
    ASSERT_TRUE(fields.SetPixel(1, 1, &value));
    EXPECT_EQ(0x77 & ~0x0C, fields.Get2BitPlane()[1]);  // the other fields kept
    EXPECT_FALSE(fields.SetPixel(2, 0, &value) || fields.SetPixel(0, 4, &value) || fields.GetPixel(5, 5, &back));
    const WORD values[6] = {0x3FF, 0x001, 0x002, 0x203, 0x155, 0x2AA};
    UAlpha six(6, 1), five(5, 1);
    for (DWORD c = 0; c < 6; ++c) six.SetPixel(0, c, values[c]), five.SetPixel(0, c, values[c]);
    EXPECT_EQ(Bytes({0xFF, 0x00, 0x00, 0x80, 0x55, 0xAA, 3 | 1 << 2 | 2 << 4 | 3 << 6, 1 | 2 << 2}), AllBytes(PAlpha(six, 0)));
    // Five pixels: six plane bytes, the last pixel's field held in the block behind them; the
    // file holds the six bytes and reads back, and a copy keeps the field.
    TempDir dir;
    PAlpha packedFive(five, 0), copy(1, 1, 0), read(2, 2, 0);
    DWORD fieldWord = 0;
    EXPECT_TRUE(packedFive.GetWord(0, &fieldWord) && !packedFive.GetWord(1, &fieldWord));
    ASSERT_EQ(1, packedFive.SaveFile((dir / "five.img").c_str(), 0));
    EXPECT_EQ(56u + 6u, ReadBytes(dir / "five.img").size());
    ASSERT_EQ(1, ReadFrom(read, dir / "five.img"));
    EXPECT_EQ(AllBytes(packedFive), AllBytes(read));
    copy = packedFive;
    for (const PAlpha* a : {&packedFive, &copy}) EXPECT_TRUE(a->GetPixel(0, 4, &back) && back == 0x155);
    PAlpha target(4, 2, 0);  // a source with more pixels than the planes hold is not packed
    target.PackFrom(UAlpha(8, 2));
    EXPECT_EQ(0x99, target.Get8BitPlane()[0]);
}

namespace {

using images_detail::PackForm;
using images_detail::PackLowBits;

// Each vector form this processor runs packs the groups as the picture did (checked against the
// sample values), from a source and into planes at odd byte alignments.
void ExpectEveryFormPacksAlike(const BYTE* words, DWORD pairs, PackLowBits low, const BYTE* want8, const BYTE* want2) {
    for (PackForm form : {PackForm::Plain, PackForm::Sse2, PackForm::Avx2, PackForm::Avx512}) {
        if (!images_detail::CanPackBy(form)) continue;
        for (size_t align : {1, 6}) {
            SCOPED_TRACE(testing::Message() << "form " << int(form) << " alignment " << align);
            Bytes src(align + 8 * size_t(pairs)), p8(align + 4 * size_t(pairs) + 1, 0xEE), p2(align + pairs + 1, 0xEE);
            if (pairs) std::memcpy(src.data() + align, words, 8 * size_t(pairs));
            images_detail::PackGroupsBy(form, low, src.data() + align, pairs, p8.data() + align, p2.data() + align);
            ASSERT_EQ(Bytes(want8, want8 + 4 * size_t(pairs)), Bytes(p8.begin() + align, p8.end() - 1));
            ASSERT_EQ(Bytes(want2, want2 + pairs), Bytes(p2.begin() + align, p2.end() - 1));
            // Nothing written before or behind the planes.
            for (const Bytes* plane : {&p8, &p2}) {
                Bytes edges(plane->begin(), plane->begin() + align);
                edges.push_back(plane->back());
                EXPECT_EQ(Bytes(align + 1, 0xEE), edges);
            }
        }
    }
}

}  // namespace

TEST(PackedLayout, PackingKeepsEverySampleOnEverySizeAndFormat) {
    // Arbitrary words in the unpacked source, low six bits included (the packer drops them), and
    // pair counts that end on every place within the packer's rounds of 4, 8 and 16 groups.
    const struct { DWORD w, h; } sizes[] = {{2, 1}, {5, 3}, {18, 1}, {14, 3}, {30, 7}, {64, 18}, {1920, 2},
                                            {30, 1}, {34, 1}, {62, 1}, {66, 1}, {94, 3}, {1919, 3}};
    for (auto [w, h] : sizes) {
        for (DWORD format : {4u, 1u, 2u}) {
            SCOPED_TRACE(testing::Message() << w << "x" << h << " format " << format);
            UPicture source(w, h, 0);
            source.nSampleFormat = format;
            Lcg lcg{w * 131 + h + format};
            for (DWORD i = 0; i < source.GetSize(); ++i) source.GetBuffer()[i] = BYTE(lcg.Next());
            const PPicture packed(source, 0);
            // The values each pair carries: the encoded format's are its words decoded.
            UPicture values(source, 0);
            values.nSampleFormat = format;
            if (format == 2) {
                ASSERT_TRUE(values.ConvertToFormat4());
            }
            const BYTE* p8 = packed.Get8BitPlane();
            const BYTE* p2 = packed.Get2BitPlane();
            for (size_t k = 0; k < size_t(w) * h / 2; ++k) {
                WORD v[4];  // Cb, Y0, Cr, Y1
                for (int i = 0; i < 4; ++i) v[i] = WORD((values.GetBuffer()[8 * k + 2 * i] | values.GetBuffer()[8 * k + 2 * i + 1] << 8) >> 6);
                BYTE low = 0;
                if (format == 4) low = BYTE((v[0] & 3) | (v[1] & 3) << 2 | (v[2] & 3) << 4 | (v[3] & 3) << 6);
                if (format == 2) low = BYTE((v[2] & 3) | (v[1] & 3) << 2 | (v[0] & 3) << 4 | (v[3] & 3) << 6);
                ASSERT_EQ(Bytes({BYTE(v[0] >> 2), BYTE(v[1] >> 2), BYTE(v[2] >> 2), BYTE(v[3] >> 2), low}),
                          Bytes({p8[4 * k], p8[4 * k + 1], p8[4 * k + 2], p8[4 * k + 3], p2[k]})) << "pair " << k;
            }
            const PackLowBits low = format == 4 ? PackLowBits::InOrder : format == 2 ? PackLowBits::Encoded : PackLowBits::None;
            ExpectEveryFormPacksAlike(source.GetBuffer(), w * h / 2, low, p8, p2);
            // Packed straight into its new block behind a pad, as a fresh picture packed afterwards is.
            const DWORD pad = PPicture::GetPadFor(w, h);
            PPicture fresh(w, h, pad);
            fresh.nSampleFormat = format;
            fresh.PackFrom(w * h, reinterpret_cast<const WORD*>(source.GetBuffer()), fresh.Get8BitPlane(), fresh.Get2BitPlane());
            EXPECT_EQ(AllBytes(fresh), AllBytes(PPicture(source, pad)));
        }
    }
    // Alphas: every pixel's value back from the planes, partial groups of four included.
    for (auto [w, h] : sizes) {
        SCOPED_TRACE(testing::Message() << "alpha " << w << "x" << h);
        UAlpha source(w, h);
        Lcg lcg{w + 7 * h};
        for (DWORD i = 0; i < source.GetSize(); ++i) source.GetBuffer()[i] = BYTE(lcg.Next());
        const PAlpha packed(source, 0), padded(source, PAlpha::GetPadFor(w, h));
        for (DWORD r = 0; r < h; ++r) {
            for (DWORD c = 0; c < w; ++c) {
                WORD want = 0, got = 0, gotPadded = 0;
                ASSERT_TRUE(source.GetPixel(r, c, want) && packed.GetPixel(r, c, &got) && padded.GetPixel(r, c, &gotPadded));
                ASSERT_EQ(std::make_pair(want, want), std::make_pair(got, gotPadded)) << r << "," << c;
            }
        }
        // The pad behind the planes zero, as in a fresh alpha.
        PAlpha fresh(w, h, PAlpha::GetPadFor(w, h));
        fresh.PackFrom(source);
        EXPECT_EQ(AllBytes(fresh), AllBytes(padded));
    }
}
