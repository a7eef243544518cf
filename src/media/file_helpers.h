#pragma once
// Small shared file helpers: the capture-related file dialogs and existence tests.
#include "common/prompter.h"
#include <QString>

namespace tarvex {

// The kinds of file the capture dialogs choose; the numbers are those stored and passed of old.
enum class FileDialogType { Picture = 0, AviVideo = 1, CaptureProfile = 2 };

// The dialog opens in the folder of `path` with its file name in the name box; Cancel gives
// `path` back unchanged.
QString SaveFileDialog(Prompter& prompter, const QString& path, FileDialogType type);
QString OpenFileDialog(Prompter& prompter, const QString& path, FileDialogType type);

// The filter text of a dialog type in the "description|pattern|...|" form.
QString fileDialogFilter(FileDialogType type);
QString fileDialogDefaultExtension(FileDialogType type);

// The filter of the picture screens' Load Picture dialogs.
QString jumpPictureFilter();

// True exactly when the file's length can be read: a missing file, a folder or an invalid
// name gives false.
bool FileIsPresent(const QString& path);

// A drive is an existing filesystem root such as "/" or "C:\".
enum class PathKind { File = 0, Folder = 1, Drive = 2 };
bool PathExists(const QString& path, PathKind kind);

// Removes one trailing separator ("/", and "\" as typed on Windows stations).
QString withoutTrailingSeparator(const QString& path);

} // namespace tarvex
