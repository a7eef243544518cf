#include "measure/jump_evidence.h"

#include "common/text_file.h"
#include "tarvex_version.h"

#include <QDir>
#include <algorithm>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tarvex {

void setGridEvidence(JumpEvidence& e, const GridFit& fit)
{
    e.gridPoints = fit.count();
    e.gridRms = fit.rms;
    const int w = fit.worst();
    e.worstPoint = w >= 0 ? fit.points[w].name : QString();
    e.worstResidual = w >= 0 ? fit.points[w].residual : 0;
    e.lensK1 = fit.lensUsed ? fit.mapping.lens().k1 : 0;
}

void CameraMarks::set(const CameraMark& m)
{
    const auto at = std::find_if(marks_.begin(), marks_.end(), [&](const CameraMark& c) { return c.grid >= m.grid; });
    if (at != marks_.end() && at->grid == m.grid)
        *at = m;
    else
        marks_.insert(at, m);
}

std::optional<double> CameraMarks::difference() const
{
    if (marks_.size() < 2)
        return std::nullopt;
    const auto [lo, hi] = std::minmax_element(marks_.begin(), marks_.end(),
                                              [](const CameraMark& a, const CameraMark& b) { return a.distance < b.distance; });
    return hi->distance - lo->distance;
}

QString evidenceFilePath(const QString& resultsFilePath, const QDate& day)
{
    return QFileInfo(resultsFilePath).dir().filePath(QStringLiteral("JumpEvidence%1.jsonl")
                                                         .arg(day.toString(QStringLiteral("MMddyy"))));
}

QByteArray evidenceLine(const JumpEvidence& e)
{
    QJsonObject o;
    o[QStringLiteral("time")] = e.time.toString(Qt::ISODate);
    o[QStringLiteral("skier")] = e.skier;
    o[QStringLiteral("jump")] = e.jump;
    o[QStringLiteral("outcome")] = e.outcome;
    QJsonObject grid;
    grid[QStringLiteral("number")] = e.gridNumber;
    grid[QStringLiteral("file")] = e.gridFile;
    grid[QStringLiteral("points")] = e.gridPoints;
    grid[QStringLiteral("rmsMetres")] = e.gridRms;
    grid[QStringLiteral("worstPoint")] = e.worstPoint;
    grid[QStringLiteral("worstResidualMetres")] = e.worstResidual;
    grid[QStringLiteral("lensK1")] = e.lensK1;
    o[QStringLiteral("grid")] = grid;
    QJsonObject source;
    if (!e.video.isEmpty()) {
        source[QStringLiteral("video")] = e.video;
        source[QStringLiteral("frame")] = e.frame ? QJsonValue(*e.frame) : QJsonValue();
    } else {
        source[QStringLiteral("picture")] = e.pictureFile;
    }
    o[QStringLiteral("source")] = source;
    QJsonObject mark;
    mark[QStringLiteral("u")] = e.mark.x();
    mark[QStringLiteral("v")] = e.mark.y();
    mark[QStringLiteral("zoom")] = e.markZoom;
    mark[QStringLiteral("loupe")] = e.markFromLoupe;
    o[QStringLiteral("markTwips")] = mark;
    o[QStringLiteral("distanceMetres")] = e.distance ? QJsonValue(*e.distance) : QJsonValue();
    o[QStringLiteral("sigmaMetres")] = e.sigma ? QJsonValue(*e.sigma) : QJsonValue();
    o[QStringLiteral("allowanceMetres")] = e.allowance;
    if (e.cameras.size() >= 2) {
        QJsonArray cameras;
        CameraMarks all;
        for (const CameraMark& c : e.cameras) {
            QJsonObject one;
            one[QStringLiteral("grid")] = c.grid;
            one[QStringLiteral("video")] = c.video;
            one[QStringLiteral("frame")] = c.frame;
            one[QStringLiteral("markTwips")] = QJsonObject{{QStringLiteral("u"), c.mark.x()}, {QStringLiteral("v"), c.mark.y()}};
            one[QStringLiteral("distanceMetres")] = c.distance;
            cameras.append(one);
            all.set(c);
        }
        o[QStringLiteral("cameras")] = cameras;
        o[QStringLiteral("cameraDifferenceMetres")] = *all.difference();
    }
    o[QStringLiteral("version")] = QLatin1String(TARVEX_VERSION_TEXT);
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

QString appendEvidence(const QString& path, const JumpEvidence& e)
{
    if (const auto failed = appendDurably(path, evidenceLine(e)))
        return QStringLiteral("The evidence record could not be added to %1: %2").arg(path, *failed);
    return QString();
}

} // namespace tarvex
