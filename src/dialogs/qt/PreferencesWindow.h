#pragma once

#include <QHash>

#include "platform/Signal.h"
#include "dialogs/PreferencesViewModel.h"
#include "dialogs/qt/ReassignTagsSheet.h"

#include <QDialog>
#include <QPointer>

#include <memory>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;

namespace sm {

class ValueSlider;

// "Spacemarquee Preferences": three tabs of controls, each bound to one operation of the view model.
// Controls never hold state of their own: whatever the store publishes is shown again at once.
// Closing (the button, Escape or the title bar) hides the window; the next show reuses it.
class PreferencesWindow final : public QDialog {
public:
    explicit PreferencesWindow(std::shared_ptr<PreferencesViewModel> model, QWidget* parent = nullptr);
    ~PreferencesWindow() override;

    const std::shared_ptr<PreferencesViewModel>& viewModel() const { return model_; }
    // Shows every value the view model holds now.
    void sync();
    void openReassignSheet();
    ReassignTagsSheet* reassignSheet() const { return sheet_; }
    QTabWidget* tabs() const { return tabs_; }

private:
    QWidget* buildGeneralTab();
    QWidget* buildVisibilityTab();
    QWidget* buildAdvancedTab();
    QCheckBox* settingCheckBox(const QString& text, const char* name, bool AppSettings::*field);
    ValueSlider* settingSlider(double min, double max, double step, const QString& minText,
                               const QString& maxText, const QString& accessibleName, const char* name,
                               double AppSettings::*field);

    std::shared_ptr<PreferencesViewModel> model_;
    Signal<>::Connection changed_;
    QTabWidget* tabs_ = nullptr;
    QPointer<ReassignTagsSheet> sheet_;

    QCheckBox* launchAtLogin_ = nullptr;
    QWidget* approvalRow_ = nullptr;
    QList<std::pair<QCheckBox*, bool AppSettings::*>> checkBoxes_;
    QList<std::pair<ValueSlider*, double AppSettings::*>> sliders_;
    QComboBox* guessing_ = nullptr;
    ValueSlider* fontSize_ = nullptr;
    ValueSlider* magnifyScale_ = nullptr;
    QButtonGroup* visibilityMode_ = nullptr;
    QLabel* fontSizeCaption_ = nullptr;
    QLabel* baseOpacityCaption_ = nullptr;
    QLabel* boostOpacityCaption_ = nullptr;
    QLabel* durationCaption_ = nullptr;
    QLabel* magnifyScaleCaption_ = nullptr;
    QLabel* magnifyOpacityCaption_ = nullptr;
    QLabel* duplicatesToast_ = nullptr;
    QWidget* staleRow_ = nullptr;
    QLabel* staleText_ = nullptr;
    QCheckBox* diagnostics_ = nullptr;
    // What cannot work here, by the view model's identifier: the row and its text.
    QWidget* unavailableRow(const QString& identifier);
    QHash<QString, std::pair<QWidget*, QLabel*>> unavailable_;
};

} // namespace sm
