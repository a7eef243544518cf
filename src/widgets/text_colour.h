#pragma once
class QColor;
class QWidget;

namespace tarvex {

// Sets the colour of a control's text, whether the control paints it from its palette or
// from a plain style sheet of its own.
void setTextColour(QWidget* w, const QColor& c);

} // namespace tarvex
