// The Measure screen's recording side: Record, the outcome options, the skier name, and
#include "station/screen_names.h"
// saving and loading pictures. The file formats live in jump_record; these handlers only
// gather the screen's texts and put the results back into its controls.
#include "measure/jump_record.h"
#include "measure/measure_screen.h"

#include "widgets/picture_canvas.h"
#include "media/file_helpers.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>

namespace tarvex {

namespace {

const QString kMarkFirst = QStringLiteral("Mark the point of impact before recording the jump");


} // namespace

const QString MeasureScreen::kMarkFirstText = kMarkFirst;

void MeasureScreen::Record_Click()
{
    const bool measured = !Pass->isChecked() && !Fall->isChecked() && !Other_Grid->isChecked();
    if (measured && !state_.Marked) {
        station_.prompter().message(kMarkFirst, QStringLiteral("Record Jump"), Icon::Exclamation);
        return;
    }
    const AppSettings& s = station_.settings();
    RecordInputs in;
    in.skier = Skier_name->currentText();
    in.jumpNumber = Jump_no->text();
    in.comment = Comment->text();
    in.metresText = distance->text();
    in.feetText = distance_ft->text();
    in.pass = Pass->isChecked();
    in.fall = Fall->isChecked();
    in.otherGrid = Other_Grid->isChecked();
    in.frozen = state_.Frozen;
    in.verifyMode = verifyMode();
    in.feetInTenths = !barefoot_indicator->isHidden();
    in.tournament = tournamentType(s);
    in.wstims = s.WstimsEnabled;
    in.impactX = state_.ImpactX;
    in.impactY = state_.ImpactY;
    in.resultsFilePath = s.ResultsFilePath;
    in.txioFolder = station_.txioFolder();
    in.picturesPath = s.PicturesPath;
    in.pictureExtension = s.PictureExtension;
    in.screenImage = [this] { return canvas_->composed(); };

    const RecordOutcome out = recordJump(in, station_.grids(), station_.prompter(), station_.clock().now());
    // The distance stays on screen even when the line could not be written, so the operator
    // can record again once the folder is fixed.
    distance->setText(out.distance);
    distance_ft->setText(out.distance_ft);
    if (!out.recorded)
        return;
    Jump_no->setText(out.Jump_no);
    Comment->setText(out.Comment);
    if (out.switchOffPassFall)
        optJumpOK->setChecked(true);
    if (out.switchOffOtherGrid)
        Other_Grid->setChecked(false);
}

void MeasureScreen::optJumpOK_Click() {}
void MeasureScreen::Fall_Click() { Comment->setText(QString::fromLatin1(kCommentFall)); }
void MeasureScreen::Pass_Click() { Comment->setText(QString::fromLatin1(kCommentPass)); }
void MeasureScreen::Other_Grid_Click() { Comment->setText(QString::fromLatin1(kCommentOtherGrid)); }

void MeasureScreen::M_Reride_Click()
{
    const OutcomeClick c = recordReride(true, state_.Frozen, station_.settings().ResultsFilePath,
                                        station_.prompter(), station_.clock().now());
    Comment->clear();
    if (c.switchOff)
        M_Reride->setChecked(false);
    if (c.emptyDistances) {
        distance->clear();
        distance_ft->clear();
    }
}

void MeasureScreen::O_reride_Click()
{
    const OutcomeClick c = recordReride(false, state_.Frozen, station_.settings().ResultsFilePath,
                                        station_.prompter(), station_.clock().now());
    Comment->clear();
    if (c.switchOff)
        O_reride->setChecked(false);
}

void MeasureScreen::Make_comment_Click()
{
    recordComment(station_.settings().ResultsFilePath, station_.prompter(), station_.clock().now());
    Comment->clear();
    Make_comment->setChecked(false);
}

void MeasureScreen::btnGetName_Click()
{
    const WstimsName n = readWstimsName(station_.txioFolder());
    if (!n.name) {
        station_.prompter().message(QString::fromLatin1(kWstimsNameError) + n.error);
        return;
    }
    // Reading the name counts as a name change even when it is the name already shown.
    if (Skier_name->currentText() == *n.name)
        Skier_name_Change();
    else
        Skier_name->setEditText(*n.name);
}

void MeasureScreen::Skier_name_Change()
{
    Jump_no->setText(QStringLiteral("1"));
    distance->clear();
    distance_ft->clear();
}

void MeasureScreen::Skier_name_Click() { Skier_name_Change(); }

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
    in.distanceText = distance->text();
    tarvex::savePicture(canvas_->composed(), in, station_.prompter(), station_.clock().now());
}

void MeasureScreen::LoadPict_Click()
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
