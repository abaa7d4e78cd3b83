#pragma once

#include "platform/Signal.h"
#include "dialogs/PreferencesViewModel.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QVBoxLayout;

namespace sm {

// "Reassign tags": every named tag in one list, by its ordinal. Each keystroke renames the tag at once
// (its label follows while typing), so closing the sheet at any moment loses nothing typed.
class ReassignTagsSheet final : public QDialog {
public:
    ReassignTagsSheet(std::shared_ptr<PreferencesViewModel> model, QWidget* parent);
    ~ReassignTagsSheet() override;

    // Shows the store's tags. Rows are rebuilt only when the list of tags changes, so a field being
    // typed in keeps the keyboard and its cursor.
    void sync();

private:
    void rebuild(const QList<ReassignTags::Row>& rows);

    std::shared_ptr<PreferencesViewModel> model_;
    Signal<>::Connection changed_;
    QLabel* empty_ = nullptr;
    QWidget* rowsHost_ = nullptr;
    QWidget* rowsWidget_ = nullptr;
    QList<QUuid> shownIds_;
    QList<QLabel*> numbers_;
    QList<QLineEdit*> fields_;
};

} // namespace sm
