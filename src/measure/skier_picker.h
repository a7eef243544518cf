#pragma once
#include "measure/skier_name_list.h"

#include <QDialog>
#include <QString>
#include <QStringList>
#include <optional>

class QListWidget;
class QListWidgetItem;

namespace tarvex {

class Station;

// The skier selection window, created for each opening and discarded when closed.
// A double-click on a name chooses it; "No Selection" closes without a choice.
class SkierPicker : public QDialog {
    Q_OBJECT
public:
    explicit SkierPicker(Station& station, QWidget* parent = nullptr);

    // Opens the window modally and returns the chosen name; nullopt for "No Selection" or
    // when the window is closed.
    static std::optional<QString> choose(Station& station, QWidget* parent = nullptr);

    std::optional<QString> chosen() const { return chosen_; }
    QListWidget* list() const { return list_; }

    void chooseName(QListWidgetItem* item);
    void chooseNone();

private:
    void fill();

    Station& station_;
    QListWidget* list_ = nullptr;
    std::optional<QString> chosen_;
};

} // namespace tarvex
