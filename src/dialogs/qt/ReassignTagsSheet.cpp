#include "dialogs/qt/ReassignTagsSheet.h"

#include "dialogs/qt/FormWidgets.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace sm {

namespace {
constexpr int kNumberWidth = 40;
}

ReassignTagsSheet::ReassignTagsSheet(std::shared_ptr<PreferencesViewModel> model, QWidget* parent)
    : QDialog(parent), model_(std::move(model)) {
    setObjectName(QStringLiteral("reassignTags"));
    setWindowTitle(QCoreApplication::translate("ReassignTagsSheet", "Reassign tags"));
    setWindowModality(Qt::WindowModal);

    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(QCoreApplication::translate("ReassignTagsSheet", "Reassign tags"));
    QFont heading = title->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.3);
    title->setFont(heading);
    layout->addWidget(title);
    auto* explanation = new QLabel(QCoreApplication::translate(
        "ReassignTagsSheet", "If you have reorganized your desktops in your workspace settings, the labels "
                             "may have ended up on the wrong desktops. Edit the titles below to match the "
                             "order of your current desktops (left → right, monitor by monitor)."));
    explanation->setWordWrap(true);
    layout->addWidget(explanation);

    empty_ = new HelpLabel(QCoreApplication::translate(
        "ReassignTagsSheet", "No tags yet. Visit your desktops and a label will appear in each."));
    empty_->setObjectName(QStringLiteral("emptyState"));
    layout->addWidget(empty_);

    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    rowsHost_ = scroll;
    layout->addWidget(scroll, 1);

    auto* buttons = new QDialogButtonBox;
    QPushButton* done = buttons->addButton(QCoreApplication::translate("ReassignTagsSheet", "Done"),
                                           QDialogButtonBox::AcceptRole);
    done->setObjectName(QStringLiteral("done"));
    done->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);

    resize(480, 420);
    changed_ = model_->changed.connect([this] {
        if (isVisible()) sync();
    });
}

ReassignTagsSheet::~ReassignTagsSheet() = default;

void ReassignTagsSheet::sync() {
    const auto rows = model_->reassignRows();
    QList<QUuid> ids;
    for (const auto& row : rows)
        ids << row.id;
    if (ids != shownIds_ || !rowsWidget_) {
        rebuild(rows);
        return;
    }
    for (qsizetype i = 0; i < rows.size(); ++i) {
        numbers_[i]->setText(rows[i].number);
        // The field being typed in already holds what the store has; never move its cursor.
        if (!fields_[i]->hasFocus() && fields_[i]->text() != rows[i].title)
            fields_[i]->setText(rows[i].title);
    }
}

void ReassignTagsSheet::rebuild(const QList<ReassignTags::Row>& rows) {
    std::optional<QUuid> focused;
    int cursor = 0;
    for (qsizetype i = 0; i < fields_.size(); ++i)
        if (fields_[i]->hasFocus()) focused = shownIds_[i], cursor = fields_[i]->cursorPosition();

    shownIds_.clear();
    numbers_.clear();
    fields_.clear();
    rowsWidget_ = new QWidget;
    auto* grid = new QGridLayout(rowsWidget_);
    grid->setColumnStretch(1, 1);
    const QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (int i = 0; i < rows.size(); ++i) {
        const auto& row = rows[i];
        auto* number = new HelpLabel(row.number);
        number->setFont(mono);
        number->setWordWrap(false);
        number->setFixedWidth(kNumberWidth);
        auto* field = new QLineEdit(row.title);
        field->setPlaceholderText(QCoreApplication::translate("ReassignTagsSheet", "Title"));
        field->setAccessibleName(
            QCoreApplication::translate("ReassignTagsSheet", "Title of tag %1").arg(row.number));
        number->setBuddy(field);
        connect(field, &QLineEdit::textEdited, this,
                [this, id = row.id](const QString& text) { model_->renameTag(id, text); });
        auto* trash = new QToolButton;
        trash->setIcon(
            QIcon::fromTheme(QStringLiteral("user-trash"), style()->standardIcon(QStyle::SP_TrashIcon)));
        trash->setAutoRaise(true);
        trash->setToolTip(QCoreApplication::translate("ReassignTagsSheet", "Delete this tag"));
        trash->setAccessibleName(QCoreApplication::translate("ReassignTagsSheet", "Delete this tag"));
        trash->setFocusPolicy(Qt::StrongFocus);
        connect(trash, &QToolButton::clicked, this, [this, id = row.id] { model_->deleteTag(id); });
        grid->addWidget(number, i, 0);
        grid->addWidget(field, i, 1);
        grid->addWidget(trash, i, 2);
        shownIds_ << row.id;
        numbers_ << number;
        fields_ << field;
    }
    grid->setRowStretch(static_cast<int>(rows.size()), 1);
    // Later, not now: the old rows may hold the delete button whose click is being handled.
    auto* scroll = static_cast<QScrollArea*>(rowsHost_);
    if (QWidget* old = scroll->takeWidget()) old->deleteLater();
    scroll->setWidget(rowsWidget_);
    empty_->setVisible(rows.isEmpty());
    rowsHost_->setVisible(!rows.isEmpty());
    if (const auto at = focused ? shownIds_.indexOf(*focused) : -1; at >= 0) {
        fields_[at]->setFocus();
        fields_[at]->setCursorPosition(cursor);
    }
}

} // namespace sm
