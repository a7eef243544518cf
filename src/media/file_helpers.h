#pragma once
// Small shared file helpers: the capture-related file dialogs and existence tests.
#include "common/prompter.h"
#include <QString>

namespace tarvex {

// type 0 picture files, 1 AVI video, 2 capture profile. The dialog opens in the folder of
// `path` with its file name in the name box; Cancel gives `path` back unchanged.
QString SaveFileDialog(Prompter& prompter, const QString& path, int type);
QString OpenFileDialog(Prompter& prompter, const QString& path, int type);

// The filter text of a dialog type in the "description|pattern|...|" form.
QString fileDialogFilter(int type);
QString fileDialogDefaultExtension(int type);

// True exactly when the file's length can be read: a missing file, a folder or an invalid
// name gives false.
bool FileIsPresent(const QString& path);

// kind 0 file, 1 folder, 2 drive (an existing filesystem root such as "/" or "C:\");
// any other kind gives false.
bool PathExists(const QString& path, int kind);

// Removes one trailing separator ("/", and "\" as typed on Windows stations).
QString withoutTrailingSeparator(const QString& path);

} // namespace tarvex
