#include "grid/setup_record.h"

#include "common/text_forms.h"

namespace tarvex {

SetupBoxTexts SetupBoxTexts::fromWorkingState(const GridState& g)
{
    SetupBoxTexts t;
    auto fill = [&g](int b, QString& sx, QString& sy, QString& vx, QString& vy) {
        sx = paddedNumber(g.buoy_screen_x[b]);
        sy = paddedNumber(g.buoy_screen_y[b]);
        vx = paddedNumber(g.buoy_survey_x[b]);
        vy = paddedNumber(g.buoy_survey_y[b]);
    };
    fill(buoy::UpperLeft, t.upper_left_x, t.upper_left_y, t.ul_survey_x, t.ul_survey_y);
    fill(buoy::LowerLeft, t.lower_left_x, t.lower_left_y, t.ll_survey_x, t.ll_survey_y);
    fill(buoy::UpperRight, t.upper_right_x, t.upper_right_y, t.ur_survey_x, t.ur_survey_y);
    fill(buoy::LowerRight, t.lower_right_x, t.lower_right_y, t.lr_survey_x, t.lr_survey_y);
    t.jump_x = paddedNumber(g.jump_survey_x);
    t.jump_y = paddedNumber(g.jump_survey_y);
    return t;
}

QStringList setupRecordBuoyLines(const SetupBoxTexts& b, const QString& labelWord)
{
    const QString gap = QStringLiteral("  ");
    const QString blank = QStringLiteral(" ");
    QStringList lines;
    auto buoyLines = [&](const QString& name, const QString& sx, const QString& sy,
                         const QString& vx, const QString& vy) {
        lines << name + QStringLiteral(" X,Y ") + labelWord + QStringLiteral(": ") + sx + gap + sy;
        lines << name + QStringLiteral(" X,Y Survey: ") + vx + gap + vy;
        lines << blank;
    };
    buoyLines(QStringLiteral("Upper Left"), b.upper_left_x, b.upper_left_y, b.ul_survey_x, b.ul_survey_y);
    buoyLines(QStringLiteral("Lower Left"), b.lower_left_x, b.lower_left_y, b.ll_survey_x, b.ll_survey_y);
    buoyLines(QStringLiteral("Upper Right"), b.upper_right_x, b.upper_right_y, b.ur_survey_x, b.ur_survey_y);
    buoyLines(QStringLiteral("Lower Right"), b.lower_right_x, b.lower_right_y, b.lr_survey_x, b.lr_survey_y);
    lines << QStringLiteral("Jump X,Y Survey: ") + b.jump_x + gap + b.jump_y;
    lines << blank;
    return lines;
}

QStringList setupRecordLines(const QDateTime& now, const QString& ipt_file_description,
                             const QString& ipt_file_description_2, int gridNumber,
                             const SetupBoxTexts& boxes, const QString& labelWord)
{
    QStringList lines;
    lines << dateText(now) + QLatin1Char(' ') + timeText(now) + QStringLiteral(" New Set-up now in place");
    lines << ipt_file_description;
    lines << ipt_file_description_2;
    lines << QStringLiteral("Grid Number: ") + paddedNumber(gridNumber) + QLatin1Char(' ');
    lines << QStringLiteral(" ");
    lines << setupRecordBuoyLines(boxes, labelWord);
    return lines;
}

} // namespace tarvex
