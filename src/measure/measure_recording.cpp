// The Measure screen's recording side: Record, the outcome options, the skier name, and
// saving and loading pictures. The file formats live in jump_record; these handlers only
// gather the screen's texts and put the results back into its controls.
#include "measure/jump_record.h"
#include "measure/measure_screen.h"
#include "grid/grid_fit.h"
#include "station/screen_names.h"

#include "widgets/picture_canvas.h"
#include "media/file_helpers.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace tarvex {

namespace {

const QString kMarkFirst = QStringLiteral("Mark the point of impact on this picture first");

} // namespace

const QString MeasureScreen::kMarkFirstText = kMarkFirst;

void MeasureScreen::recordJump()
{
    const bool measured = !passOption_->isChecked() && !fallOption_->isChecked() && !otherGridOption_->isChecked();
    if (measured && !state_.Marked) {
        station_.prompter().message(kMarkFirst, QStringLiteral("Record Jump"), Icon::Exclamation);
        return;
    }
    const AppSettings& s = station_.settings();
    RecordInputs in;
    in.skier = skierNameBox_->currentText();
    in.jumpNumber = jumpNumberBox_->text();
    in.comment = commentBox_->text();
    in.metresText = metresBox_->text();
    in.feetText = feetBox_->text();
    in.pass = passOption_->isChecked();
    in.fall = fallOption_->isChecked();
    in.otherGrid = otherGridOption_->isChecked();
    in.frozen = state_.Frozen;
    in.verifyMode = verifyMode();
    in.feetInTenths = !tournamentIndicator_->isHidden();
    in.tournament = tournamentType(s);
    in.wstims = s.WstimsEnabled;
    in.impactX = state_.ImpactX;
    in.impactY = state_.ImpactY;
    in.resultsFilePath = s.ResultsFilePath;
    in.txioFolder = station_.txioFolder();
    in.picturesPath = s.PicturesPath;
    in.pictureExtension = s.PictureExtension;
    in.screenImage = [this] { return canvas_->composed(); };
    if (s.arrival == Arrival::FrameChosen) {
        in.sourceVideo = s.MeasureVideoFile;
        in.sourceFrame = s.MeasureFrameNumber;
    } else {
        in.sourcePicture = pictureNameBox_->text();
    }
    in.markZoom = markZoom_;
    in.markFromLoupe = markFromLoupe_;
    in.uncertainty = {s.ClickUncertaintyPixels, s.SurveyUncertaintyMetres};
    if (cameraMarks_.marks().size() >= 2)
        in.cameraMarks = cameraMarks_.marks();

    const RecordOutcome out = tarvex::recordJump(in, station_.grids(), station_.prompter(), station_.clock().now());
    // The distance stays on screen even when the line could not be written, so the operator
    // can record again once the folder is fixed.
    metresBox_->setText(out.distance);
    feetBox_->setText(out.distance_ft);
    if (!out.recorded)
        return;
    // Recorded, the figures are no longer provisional; the large read-out takes over.
    provisionalFigures_->hide();
    showRecordedDistance(out.distance, out.distance_ft);
    if (!out.savedPicture.isEmpty())
        showStatus(QStringLiteral("Picture saved as ") + QDir::toNativeSeparators(out.savedPicture));
    jumpNumberBox_->setText(out.Jump_no);
    commentBox_->setText(out.Comment);
    if (out.switchOffPassFall)
        jumpOkOption_->setChecked(true);
    if (out.switchOffOtherGrid)
        otherGridOption_->setChecked(false);
}

void MeasureScreen::chooseFall() { commentBox_->setText(QString::fromLatin1(kCommentFall)); }
void MeasureScreen::choosePass() { commentBox_->setText(QString::fromLatin1(kCommentPass)); }
void MeasureScreen::chooseOtherGrid() { commentBox_->setText(QString::fromLatin1(kCommentOtherGrid)); }

void MeasureScreen::chooseMandatoryReride()
{
    const OutcomeClick c = recordReride(true, state_.Frozen, station_.settings().ResultsFilePath,
                                        station_.prompter(), station_.clock().now());
    commentBox_->clear();
    if (c.switchOff)
        mandatoryRerideOption_->setChecked(false);
    if (c.emptyDistances) {
        metresBox_->clear();
        feetBox_->clear();
        recordedReadout_->clear();
    }
}

void MeasureScreen::chooseOptionalReride()
{
    const OutcomeClick c = recordReride(false, state_.Frozen, station_.settings().ResultsFilePath,
                                        station_.prompter(), station_.clock().now());
    commentBox_->clear();
    if (c.switchOff)
        optionalRerideOption_->setChecked(false);
}

void MeasureScreen::makeComment()
{
    recordComment(station_.settings().ResultsFilePath, station_.prompter(), station_.clock().now());
    commentBox_->clear();
    commentOption_->setChecked(false);
}

void MeasureScreen::readWstimsSkierName()
{
    const WstimsName n = readWstimsName(station_.txioFolder());
    if (!n.name) {
        station_.prompter().message(QString::fromLatin1(kWstimsNameError) + n.error);
        return;
    }
    // Reading the name counts as a name change even when it is the name already shown.
    if (skierNameBox_->currentText() == *n.name)
        skierNameChanged();
    else
        skierNameBox_->setEditText(*n.name);
}

void MeasureScreen::skierNameChanged()
{
    jumpNumberBox_->setText(QStringLiteral("1"));
    metresBox_->clear();
    feetBox_->clear();
    recordedReadout_->clear();
}


void MeasureScreen::savePicture()
{
    const AppSettings& s = station_.settings();
    SavePictureInputs in;
    in.picturesPath = s.PicturesPath;
    in.pictureExtension = s.PictureExtension;
    in.resultsFilePath = s.ResultsFilePath;
    if (!s.CapturesPath.isEmpty() && !s.MeasurementLogName.isEmpty())
        in.measurementLog = s.CapturesPath + QLatin1Char('/') + s.MeasurementLogName;
    if (const CaptureSession* capture = station_.captureSession()) {
        in.captureSkier = capture->skierName();
        in.capturePass = capture->passNumber();
    }
    in.distanceText = metresBox_->text();
    const SavePictureOutcome out = tarvex::savePicture(canvas_->composed(), in, station_.prompter(), station_.clock().now());
    showStatus(out.saved ? QStringLiteral("Picture saved as ") + QDir::toNativeSeparators(out.path) : QString());
}

void MeasureScreen::loadPicture()
{
    AppSettings& s = station_.settings();
    const QString folder = withoutTrailingSeparator(s.PicturesPath.trimmed());
    if (!PathExists(folder, PathKind::Folder)) {
        station_.prompter().message(QStringLiteral("Invalid path, change in configuration screen"), QString(),
                                    Icon::Exclamation);
        return;
    }
    FileRequest r;
    r.initialFolder = folder;
    r.filter = jumpPictureFilter();
    const QString ext = s.PictureExtension.toLower();
    r.filterIndex = ext == QLatin1String(".gif") ? 3 : ext == QLatin1String(".jpg") ? 5 : 4;
    r.title = QStringLiteral("Load Picture");
    const auto chosen = station_.prompter().openFile(r);
    // A cancelled dialog loads nothing, so nothing is logged as loaded either.
    if (!chosen || chosen->isEmpty())
        return;
    if (!loadPictureFile(*chosen))
        return;
    showPictureName(QFileInfo(*chosen).fileName());
    const QString error = appendToResultsFile(s.ResultsFilePath, {loadedPictureEntry(station_.clock().now(), *chosen)});
    if (!error.isEmpty())
        station_.prompter().message(error, QString::fromLatin1(kResultsFileTitle), Icon::Exclamation);
    s.setArrival(Arrival::PictureMenu);
}

} // namespace tarvex
