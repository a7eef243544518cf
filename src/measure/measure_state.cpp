#include "measure/measure_state.h"

#include "grid/grid_fit.h"
#include "measure/jump_record.h"

#include "common/list_text.h"
#include "common/text_forms.h"
#include "grid/grid_geometry.h"
#include "review/review_rules.h"

#include <cmath>

namespace tarvex {

QLineF horizontalArm(QPointF impact, double size, bool rightToLeft)
{
    const double end = rightToLeft ? impact.x() + size : impact.x() - size;
    return QLineF(impact, QPointF(end, impact.y()));
}

QLineF verticalBar(QPointF impact, double size)
{
    return QLineF(impact.x(), impact.y() - size, impact.x(), impact.y() + size);
}

QLineF splashIndicatorLine(QPointF foot)
{
    return QLineF(foot, QPointF(foot.x(), foot.y() - kSplashIndicatorHeightTwips));
}

std::optional<QPointF> splashFoot(GridState& g, QPointF impact, TournamentType type, bool rightToLeft)
{
    g.query_screen_x = impact.x();
    g.query_screen_y = impact.y();
    if (!distance_calculation(g, type))
        return std::nullopt;
    // Without an allowance the round trip through the mapping could only add rounding.
    if (type == TournamentType::Barefoot)
        return impact;

    const double k = ramp_allowance(type) * g.survey_x_direction;
    const QPointF moved(g.mapped_survey_x + (rightToLeft ? k : -k), g.mapped_survey_y);
    return PlaneMapping::fromGrid(g).screenFromSurvey(moved);
}

QString readoutDistanceText(double metres)
{
    return paddedNumber(roundTo(metres, 1)) + QStringLiteral("m ")
           + paddedNumber(std::floor(metres * kReadoutFeetPerMetre + 0.5)) + QStringLiteral("ft");
}

QString buoyFeetText(double metres)
{
    return paddedNumber(std::floor(metres * kReadoutFeetPerMetre + 0.5)) + QStringLiteral(" feet");
}

QString buoyMetresText(double metres)
{
    return paddedNumber(roundTo(metres, 1)) + QStringLiteral(" meters");
}

double jumpToBuoyDistance(const GridState& g, int b)
{
    return std::hypot(g.jump_survey_x - g.buoy_survey_x[b], g.jump_survey_y - g.buoy_survey_y[b]);
}

Readout liveReadout(GridState& g, double x, double y, TournamentType type)
{
    Readout r;
    r.xtwips = paddedNumber(std::floor(x));
    r.ytwips = paddedNumber(std::floor(y));
    g.query_screen_x = x;
    g.query_screen_y = y;
    if (!distance_calculation(g, type))
        return r;
    r.mapped = true;
    r.xposition = paddedNumber(roundTo(g.mapped_survey_x, 2));
    r.yposition = paddedNumber(roundTo(g.mapped_survey_y, 2));
    r.VerifyDistance = readoutDistanceText(g.jump_distance);
    return r;
}

QString gridChoiceCaption(int grid) { return QStringLiteral("&Grid %1").arg(grid); }

GridChoice nextGridChoice(const QString& caption, int gridsInUse)
{
    int next = 1;
    if (caption == gridChoiceCaption(1))
        next = 2;
    else if (caption == gridChoiceCaption(2))
        next = gridsInUse == 3 ? 3 : 1;
    // A single grid has nowhere to go; never switch to a grid that is not in use.
    if (next > gridsInUse)
        next = 1;
    return {gridChoiceCaption(next), next};
}

QString nextJumpNumber(const QString& jumpNo)
{
    return paddedNumber(leadingNumber(jumpNo) + 1);
}

std::optional<VideoJump> jumpOfVideo(const QString& videoPath)
{
    const StandardName name = parseStandardName(videoPath);
    if (!name.standard || name.skier.trimmed().isEmpty() || name.jump.isEmpty())
        return std::nullopt;
    for (const QChar ch : name.jump)
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
            return std::nullopt;
    const int pass = name.jump.toInt();
    return VideoJump{name.skier, pass == 1 ? QStringLiteral("1") : paddedNumber(pass)};
}

QString recordedDistanceReadout(const QString& metresText, const QString& feetText)
{
    const auto figure = [](QString text, QLatin1StringView unit) {
        text = text.trimmed();
        if (text.endsWith(unit))
            text.chop(unit.size());
        return text.trimmed();
    };
    const QString metres = figure(metresText, QLatin1StringView("m"));
    const QString feet = figure(feetText, QLatin1StringView("ft"));
    QStringList parts;
    if (!metres.isEmpty())
        parts << metres + QStringLiteral(" m");
    if (!feet.isEmpty())
        parts << feet + QStringLiteral(" ft");
    return parts.join(QStringLiteral("   "));
}

bool clipFlagReady(const QString& flagFileContent)
{
    FieldReader reader(flagFileContent);
    const auto first = reader.nextText();
    return first && *first == QLatin1String("Ready");
}

std::optional<QString> provisionalFigures(const GridState& g, QPointF impact, TournamentType type,
                                          bool feetInTenths, std::optional<double> sigma)
{
    const auto m = measureJump(g, impact, type);
    if (!m)
        return std::nullopt;
    const DistanceTexts t = distanceTexts(m->distance, feetInTenths);
    QString text = QStringLiteral("Provisional, not recorded: ") + t.metresText.trimmed() + QStringLiteral("  ")
                   + t.feetText.trimmed();
    if (sigma)
        text += QStringLiteral("  ") + sigmaText(*sigma);
    if (const auto perPixel = distancePerPixel(g, impact.x(), impact.y()))
        text += QLatin1Char('\n') + pixelSizeText(*perPixel);
    return text;
}

} // namespace tarvex
