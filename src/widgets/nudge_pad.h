#pragma once
// The four arrow buttons that nudge a mark on the picture by a step of twips. The screens
// place the pad over the picture; its gaps let clicks through to the picture beneath.
#include <QWidget>

class QKeyEvent;
class QPushButton;

namespace tarvex {

class NudgePad : public QWidget {
    Q_OBJECT
public:
    // `topLeft` is where the pad's bounding square sits in `parent`.
    NudgePad(QWidget* parent, QPoint topLeft, double step);

    double step() const { return step_; }
    // The arrow keys nudge by the step, with Shift by ten steps. Returns false for any other key.
    bool nudgeForKey(const QKeyEvent& key);

    QPushButton* upButton() const { return up_; }
    QPushButton* downButton() const { return down_; }
    QPushButton* leftButton() const { return left_; }
    QPushButton* rightButton() const { return right_; }

signals:
    // Twips; y grows downwards as on the picture.
    void nudged(double dx, double dy);

private:
    QPushButton* arrow(const char* objectName, const char* icon, QPoint at, double dx, double dy);

    double step_;
    QPushButton* up_ = nullptr;
    QPushButton* down_ = nullptr;
    QPushButton* left_ = nullptr;
    QPushButton* right_ = nullptr;
};

} // namespace tarvex
