// A landing marked in several cameras: one mark per camera, and the distances and their
// difference in the evidence record.
#include "measure/jump_evidence.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace tarvex;

TEST(CameraMarks, KeepOneMarkPerCameraInGridOrderAndTheSpreadOfTheirDistances)
{
    CameraMarks m;
    EXPECT_FALSE(m.difference());
    m.set({2, "b-cam2.avi", 8, QPointF(9300, 2000), 62.93});
    EXPECT_FALSE(m.difference());   // one camera is no cross-check
    m.set({1, "b.avi", 9, QPointF(9000, 2000), 63.95});
    ASSERT_TRUE(m.difference());
    EXPECT_NEAR(*m.difference(), 1.02, 1e-9);
    m.set({2, "b-cam2.avi", 8, QPointF(9310, 2005), 63.45});   // marked again: replaces
    m.set({3, "b-cam3.avi", 10, QPointF(100, 100), 64.05});
    ASSERT_EQ(m.marks().size(), 3);
    EXPECT_EQ(m.marks()[0].grid, 1);
    EXPECT_EQ(m.marks()[1].mark, QPointF(9310, 2005));
    EXPECT_EQ(m.marks()[2].grid, 3);
    EXPECT_NEAR(*m.difference(), 0.60, 1e-9);   // 64.05 of camera 3 less 63.45 of camera 2
    m.clear();
    EXPECT_TRUE(m.marks().isEmpty());
}

TEST(CameraMarks, TwoCamerasPutBothDistancesAndTheirDifferenceInTheEvidence)
{
    JumpEvidence e;
    e.outcome = "measured";
    e.video = "/v/Annjump1.avi";
    e.frame = 9;
    e.distance = 63.95;
    const QJsonObject single = QJsonDocument::fromJson(evidenceLine(e)).object();
    EXPECT_FALSE(single.contains("cameras"));
    EXPECT_FALSE(single.contains("cameraDifferenceMetres"));

    e.cameras = {{1, "/v/Annjump1.avi", 9, QPointF(9000, 2000), 63.95},
                 {2, "/v/Annjump1-cam2.avi", 8, QPointF(9300, 2000.5), 62.93}};
    const QJsonObject o = QJsonDocument::fromJson(evidenceLine(e)).object();
    const QJsonArray cameras = o["cameras"].toArray();
    ASSERT_EQ(cameras.size(), 2);
    const QJsonObject second = cameras[1].toObject();
    EXPECT_EQ(second["grid"].toInt(), 2);
    EXPECT_EQ(second["video"].toString(), "/v/Annjump1-cam2.avi");
    EXPECT_EQ(second["frame"].toInt(), 8);
    EXPECT_EQ(second["markTwips"].toObject()["v"].toDouble(), 2000.5);
    EXPECT_EQ(second["distanceMetres"].toDouble(), 62.93);
    EXPECT_NEAR(o["cameraDifferenceMetres"].toDouble(), 1.02, 1e-9);
    // The record's own distance stays the current grid's.
    EXPECT_EQ(o["distanceMetres"].toDouble(), 63.95);
}
