#pragma once
// The set-up record appended to the results file when a grid is completed or loaded; the
// accuracy report repeats its buoy and jump lines.
#include "grid/jump_grid.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace tarvex {

// The texts of the setup screen's buoy, survey and jump boxes, named as the boxes.
struct SetupBoxTexts {
    QString upper_left_x, upper_left_y, ul_survey_x, ul_survey_y;
    QString lower_left_x, lower_left_y, ll_survey_x, ll_survey_y;
    QString upper_right_x, upper_right_y, ur_survey_x, ur_survey_y;
    QString lower_right_x, lower_right_y, lr_survey_x, lr_survey_y;
    QString jump_x, jump_y;

    // What the boxes read after a grid is loaded or switched to: every value of the working
    // state as a number with a leading blank for non-negative values.
    static SetupBoxTexts fromWorkingState(const GridState& g);
};

// Lines 6 to 19 of the set-up record; labelWord is "Pixels" (Complete, accuracy report)
// or "Twips" (after a file load).
QStringList setupRecordBuoyLines(const SetupBoxTexts& boxes, const QString& labelWord);

// All 19 lines of the set-up record, without line ends.
QStringList setupRecordLines(const QDateTime& now, const QString& ipt_file_description,
                             const QString& ipt_file_description_2, int gridNumber,
                             const SetupBoxTexts& boxes, const QString& labelWord);

} // namespace tarvex
