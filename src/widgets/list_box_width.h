#pragma once
class QListWidget;

namespace tarvex {

// Lets a list box scroll sideways far enough to show its longest entry; returns the width
// in pixels (also kept in the list's "horizontalExtent" property).
int FitListBoxWidth(QListWidget* list);

} // namespace tarvex
