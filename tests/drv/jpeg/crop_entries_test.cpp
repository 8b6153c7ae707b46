// The image library's crop entry as the scan engine's encode thread drives it, and the decoder
// entry as its decode thread drives it.
#include <gtest/gtest.h>

#include "drv/jpeg/JPGCrop.h"
#include "drv/jpeg/JPGJpeg.h"
#include "drv/jpeg/JPGJpegLib.h"
#include "tests/drv/jpeg/croputil.h"

namespace {

using ct::Bytes;

// The joined output against the input: a page encoded once decodes exactly as the picture
// encoded whole in one call at the same quality byte (strips of whole MCU rows as restart
// intervals change no coefficient); a page held as JPEG and encoded again loses at most 4 dB of
// PSNR against that (the test pictures, full of strokes and noise, give 23 to 31 dB once).
enum Expect { kOnce, kTwice, kExact };
constexpr double kTwiceLossDb = 4.0;

// The picture encoded whole by the codec and decoded by libjpeg-turbo.
oracle::Decoded encodedOnce(const oracle::Picture& pic, uint8_t quality, int dpi) {
    uint8_t* out = nullptr;
    uint32_t size = 0;
    int64_t st = 0;
    const int bits = pic.comps * 8;
    if (jpgEncoder(pic.pixels.data(), &out, 0, quality, bits, 1, pic.width, pic.height, pic.width * pic.comps, dpi,
                   dpi, &size, &st) != 0)
        return {};
    const Bytes s(out, out + size);
    FreeMemory(out);
    return oracle::decompress(s);
}

struct PageCase {
    const char* name;
    ct::EncodeJob job;
    int width;
    double inches;
    int sides;
    Expect expect;
    bool manyStrips = false;  // the page is held in several encoded strips
};

class EncodeThreadPattern : public ::testing::TestWithParam<PageCase> {};

TEST_P(EncodeThreadPattern, JoinedOutputIsTheInput) {
    const PageCase& pc = GetParam();
    const int height = int(pc.inches * pc.job.dpi);
    NIDATA ni = ct::jobRecord(pc.job, pc.width);
    long status = 1;
    ASSERT_EQ(JpegCrop(nullptr, nullptr, nullptr, nullptr, &status, 0, nullptr), 0);  // the thread starts
    EXPECT_EQ(status, 0);
    for (int page = 1; page <= pc.sides; ++page) {
        SCOPED_TRACE(page);
        ni.InImage.ScanType = uint8_t(pc.sides == 2 && page % 2 == 0 ? 3 : 1);
        ni.InImage.CurPages = uint16_t(page);
        const oracle::Picture pic = oracle::makePicture(pc.width, height, pc.job.bits / 8, uint32_t(page));
        const Bytes raw = ct::padded(pic, pc.job.padding);
        const ct::PageResult r = ct::encodePage(ni, raw, height, 7u * page);
        ASSERT_EQ(r.failure, "");
        ASSERT_FALSE(r.strips.empty());
        EXPECT_EQ(r.imageWidth, uint32_t(pc.width));
        EXPECT_EQ(r.imageHeight, uint32_t(height));
        if (!pc.job.jpegOut) {
            Bytes joined;
            for (const Bytes& s : r.strips) joined.insert(joined.end(), s.begin(), s.end());
            if (pc.expect == kExact) {
                EXPECT_TRUE(joined == pic.pixels);
            } else {
                // Held as JPEG at the conversion quality byte 0x1E (level 14, 4:4:4).
                const oracle::Decoded ref = encodedOnce(pic, 0x1E, pc.job.dpi);
                ASSERT_TRUE(ref.ok);
                EXPECT_GE(ct::psnr(joined, pic.pixels), ct::psnr(ref.pic.pixels, pic.pixels) - 1.0);
            }
            continue;
        }
        const Bytes joined = ct::joinStrips(r.strips);
        const oracle::Decoded d = oracle::decompress(joined);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.warnings, 0);
        EXPECT_EQ(d.pic.width, pc.width);
        EXPECT_EQ(d.pic.height, height);
        if (pc.manyStrips) {
            EXPECT_GT(oracle::headerFacts(joined).restartInterval, 0);
        }
        const oracle::Decoded ref = encodedOnce(pic, pc.job.quality, pc.job.dpi);
        ASSERT_TRUE(ref.ok);
        if (pc.expect == kOnce) {
            EXPECT_TRUE(d.pic.pixels == ref.pic.pixels);
        } else {
            EXPECT_GE(ct::psnr(d.pic.pixels, pic.pixels), ct::psnr(ref.pic.pixels, pic.pixels) - kTwiceLossDb);
        }
    }
    EXPECT_EQ(jpgLMIdsInUse(), 0);
    EXPECT_EQ(jpgIdsInUse(), 0);
}

ct::EncodeJob job(int bits, uint8_t quality, bool compact, int dpi, bool jpegOut = true, int padding = 0) {
    ct::EncodeJob j;
    j.bits = bits;
    j.quality = quality;
    j.compact = compact;
    j.dpi = dpi;
    j.jpegOut = jpegOut;
    j.padding = padding;
    return j;
}

const PageCase kPages[] = {
    // Short pages stay raw until the output call and are encoded once.
    {"short_colour_444", job(24, 0x1A, false, 100, true, 3), 200, 4.0, 2, kOnce},
    {"short_colour_2x2", job(24, 0x3A, false, 100), 176, 3.0, 1, kOnce},
    {"short_grey_2x1", job(8, 0x0A, false, 100), 150, 4.5, 2, kOnce},
    // Compact mode: JPEG strips from the first line, handed on as they are.
    {"short_compact_colour_2x1", job(24, 0x0A, true, 100), 120, 3.0, 2, kOnce},
    {"short_compact_grey", job(8, 0x1A, true, 100), 136, 3.0, 1, kOnce},
    // From 32 inches on the page is held as JPEG strips; below 42 inches it is re-encoded whole.
    {"mid_colour_2x2", job(24, 0x3A, false, 20), 64, 36.0, 2, kTwice},
    {"mid_grey_444", job(8, 0x1A, false, 20), 72, 40.0, 1, kTwice},
    // 42 inches and more: re-encoded strip by strip.
    {"long_colour_2x1", job(24, 0x0A, false, 20), 56, 45.0, 2, kTwice},
    {"long_grey_2x2", job(8, 0x3A, false, 20), 40, 60.0, 1, kTwice},
    // A page of several encoded strips joined with restart markers inside (a strip holds at most
    // 65,535 MCUs): 2 x 2 sampling needs strips of whole 16-line MCU rows.
    {"long_compact_colour_2x2_many_strips", job(24, 0x3A, true, 50), 2048, 44.0, 1, kOnce, true},
    {"mid_compact_grey_many_strips", job(8, 0x1A, true, 60), 4000, 34.0, 1, kOnce, true},
    // Raw out.
    {"short_raw_to_raw", job(24, 0, false, 100, false, 5), 90, 5.0, 2, kExact},
    {"short_grey_raw_to_raw", job(8, 0, false, 100, false), 77, 5.0, 1, kExact},
    {"mid_raw_held_as_jpeg", job(24, 0, false, 20, false), 48, 38.0, 1, kTwice},
};

INSTANTIATE_TEST_SUITE_P(Pages, EncodeThreadPattern, ::testing::ValuesIn(kPages),
                         [](const ::testing::TestParamInfo<PageCase>& i) { return std::string(i.param.name); });

}  // namespace
