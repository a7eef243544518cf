#include "media/av_handles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tarvex {
namespace {

// FFmpeg frees the context it was handed when these calls fail; a handle that kept owning it
// would free it a second time (glibc aborts, scripts/sanitize.sh names the line).
TEST(AvHandles, AFailedOpenLeavesNothingToFreeTwice)
{
    QTemporaryDir dir;
    const QByteArray missing = dir.filePath("missing.avi").toUtf8();

    av::FormatInput prepared = av::makeFormatInput();
    ASSERT_TRUE(prepared);
    av::Dictionary options;
    av_dict_set(options.address(), "probesize", "32", 0);
    EXPECT_EQ(av::openInput(prepared, missing.constData(), nullptr, &options), AVERROR(ENOENT));
    EXPECT_FALSE(prepared);

    av::FormatInput fresh;
    EXPECT_EQ(av::openInput(fresh, missing.constData()), AVERROR(ENOENT));
    EXPECT_FALSE(fresh);
}

TEST(AvHandles, AConverterThatCannotBeMadeIsDroppedOnce)
{
    av::SwsContextPtr sws = av::makeSwsContext(64, 48, AV_PIX_FMT_YUV420P, 64, 48, AV_PIX_FMT_RGB32, SWS_POINT);
    ASSERT_TRUE(sws);
    const SwsContext* first = sws.get();
    EXPECT_TRUE(av::reuseSwsContext(sws, 64, 48, AV_PIX_FMT_YUV420P, 64, 48, AV_PIX_FMT_RGB32, SWS_POINT));
    EXPECT_EQ(sws.get(), first);   // the same formats keep the converter

    EXPECT_FALSE(av::reuseSwsContext(sws, 0, 48, AV_PIX_FMT_YUV420P, 64, 48, AV_PIX_FMT_RGB32, SWS_POINT));
    EXPECT_FALSE(sws);
    EXPECT_FALSE(av::makeSwsContext(64, 0, AV_PIX_FMT_YUV420P, 64, 48, AV_PIX_FMT_RGB32, SWS_POINT));
}

TEST(AvHandles, MakeFunctionsReportWhatCannotBeMade)
{
    int result = 0;
    EXPECT_FALSE(av::makeFormatOutput("no-such-muxer", "x.avi", &result));
    EXPECT_EQ(result, AVERROR(EINVAL));
    av::FormatOutput avi = av::makeFormatOutput("avi", "x.avi", &result);
    EXPECT_TRUE(avi);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(avi->pb, nullptr);   // the file is opened later, by the caller

    EXPECT_FALSE(av::makeCodecContext(nullptr));
    EXPECT_FALSE(av::cloneFrame(nullptr));
}

} // namespace
} // namespace tarvex
