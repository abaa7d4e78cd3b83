#include "dialogs/qt/PreferencesWindow.h"

#include "dialogs/qt/FormWidgets.h"
#include "dialogs/qt/ReassignTagsSheet.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSlider>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

namespace sm {

namespace {

// The tab view's width; every tab scrolls on its own, so the window fits a 1366x768 screen.
constexpr int kTabWidth = 520;
constexpr int kMaxHeight = 660;

QGroupBox* section(QVBoxLayout* page, const QString& title) {
    auto* box = new QGroupBox(title);
    // Tight rows keep each help text with its control, and the longest tab short enough for a laptop.
    (new QVBoxLayout(box))->setSpacing(4);
    page->addWidget(box);
    return box;
}

QVBoxLayout* layoutOf(QWidget* box) {
    return static_cast<QVBoxLayout*>(box->layout());
}

QPushButton* actionButton(const QString& text, const char* name) {
    auto* button = new QPushButton(text);
    button->setObjectName(QLatin1String(name));
    // Return in the window closes it through the default button; a button acts only when it has focus.
    button->setAutoDefault(false);
    return button;
}

// A button and its help, the button left-aligned rather than stretched across the form.
void addButton(QVBoxLayout* layout, QPushButton* button, const QString& help) {
    auto* row = new QHBoxLayout;
    row->addWidget(button);
    row->addStretch(1);
    layout->addLayout(row);
    layout->addWidget(describe(button, help));
}

QIcon themed(const char* name, QStyle::StandardPixmap fallback, const QWidget* w) {
    return QIcon::fromTheme(QLatin1String(name), w->style()->standardIcon(fallback));
}

} // namespace

PreferencesWindow::PreferencesWindow(std::shared_ptr<PreferencesViewModel> model, QWidget* parent)
    : QDialog(parent), model_(std::move(model)) {
    setWindowTitle(QCoreApplication::translate("PreferencesWindow", "Spacemarquee Preferences"));
    setObjectName(QStringLiteral("preferences"));

    tabs_ = new QTabWidget(this);
    tabs_->setMinimumWidth(kTabWidth);
    // Icons only from the desktop's theme: the style's stock pictures fit none of the three tabs.
    tabs_->addTab(buildGeneralTab(), QIcon::fromTheme(QStringLiteral("preferences-system")),
                  QCoreApplication::translate("PreferencesWindow", "General"));
    tabs_->addTab(buildVisibilityTab(), QIcon::fromTheme(QStringLiteral("preferences-desktop-display")),
                  QCoreApplication::translate("PreferencesWindow", "Visibility"));
    tabs_->addTab(buildAdvancedTab(), QIcon::fromTheme(QStringLiteral("preferences-other")),
                  QCoreApplication::translate("PreferencesWindow", "Advanced"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* close = buttons->button(QDialogButtonBox::Close);
    close->setDefault(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_, 1);
    layout->addWidget(buttons);
    setMaximumHeight(kMaxHeight);
    resize(kTabWidth + 40, kMaxHeight);

    // A hidden window need not follow every last-seen stamp of a desktop switch: show() syncs it.
    changed_ = model_->changed.connect([this] {
        if (isVisible()) sync();
    });
    sync();
}

PreferencesWindow::~PreferencesWindow() = default;

QCheckBox* PreferencesWindow::settingCheckBox(const QString& text, const char* name,
                                              bool AppSettings::*field) {
    auto* box = new QCheckBox(text);
    box->setObjectName(QLatin1String(name));
    connect(box, &QCheckBox::toggled, this, [this, field](bool on) { model_->set(field, on); });
    checkBoxes_.append({box, field});
    return box;
}

ValueSlider* PreferencesWindow::settingSlider(double min, double max, double step, const QString& minText,
                                              const QString& maxText, const QString& accessibleName,
                                              const char* name, double AppSettings::*field) {
    auto* slider = new ValueSlider(min, max, step, minText, maxText, accessibleName);
    slider->setObjectName(QLatin1String(name));
    if (field) {
        slider->onEdited = [this, field](double v) { model_->set(field, v); };
        sliders_.append({slider, field});
    }
    return slider;
}

static QWidget* scrollingPage(QWidget* content) {
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // Not a tab stop of its own: it scrolls to whichever control takes the keyboard.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(content);
    return scroll;
}

QWidget* PreferencesWindow::buildGeneralTab() {
    auto* content = new QWidget;
    auto* page = new QVBoxLayout(content);
    // Above everything: while the desktop's own backend is missing, the rest works only in part.
    page->addWidget(unavailableRow(QStringLiteral("backend")));

    auto* startup = layoutOf(section(page, QCoreApplication::translate("PreferencesWindow", "Startup")));
    launchAtLogin_ = new QCheckBox(QCoreApplication::translate("PreferencesWindow", "Launch at login"));
    launchAtLogin_->setObjectName(QStringLiteral("launchAtLogin"));
    connect(launchAtLogin_, &QCheckBox::toggled, this, [this](bool on) { model_->setLaunchAtLogin(on); });
    startup->addWidget(launchAtLogin_);
    approvalRow_ = new QWidget;
    approvalRow_->setObjectName(QStringLiteral("approvalRow"));
    auto* approval = new QHBoxLayout(approvalRow_);
    approval->setContentsMargins(0, 0, 0, 0);
    approval->addWidget(
        new QLabel(QCoreApplication::translate("PreferencesWindow", "Turned off in your session settings.")));
    auto* reveal = actionButton(QCoreApplication::translate("PreferencesWindow", "Open Startup Settings"),
                                "openLoginItems");
    connect(reveal, &QPushButton::clicked, this, [this] { model_->revealLoginItems(); });
    approval->addWidget(reveal);
    approval->addStretch(1);
    startup->addWidget(approvalRow_);
    reveal->setToolTip(QCoreApplication::translate(
        "PreferencesWindow", "Opens your desktop's startup applications settings, or the autostart "
                             "folder (~/.config/autostart) when it has none."));
    startup->addWidget(describe(
        launchAtLogin_,
        QCoreApplication::translate(
            "PreferencesWindow",
            "Opens Spacemarquee automatically when you log in, so your labels are running without "
            "you starting the app. After a restart each desktop gets its name back on its own label; "
            "a desktop that is gone leaves its name for Restore name in a label's right-click "
            "menu. You can also change this in your "
            "session's autostart settings; this checkbox shows what your desktop actually has.")));

    auto* autoCreate =
        settingCheckBox(QCoreApplication::translate("PreferencesWindow",
                                                    "Automatically add a tag when entering a new desktop"),
                        "autoCreateOnNewSpace", &AppSettings::autoCreateOnNewSpace);
    startup->addWidget(autoCreate);
    startup->addWidget(describe(
        autoCreate, QCoreApplication::translate(
                        "PreferencesWindow", "If off, you can still add tags manually from the tray menu.")));
    auto* sync = settingCheckBox(
        QCoreApplication::translate("PreferencesWindow", "Sync label position across desktops"),
        "syncPositionsAcrossSpaces", &AppSettings::syncPositionsAcrossSpaces);
    startup->addWidget(sync);
    startup->addWidget(
        describe(sync, QCoreApplication::translate(
                           "PreferencesWindow",
                           "When on (default), all labels share one position: drag any label and the others "
                           "move to that spot when you enter their desktop, and new labels are created "
                           "there. Turn off to position each desktop's label independently (your "
                           "per-desktop positions are kept).")));

    auto* share =
        settingCheckBox(QCoreApplication::translate("PreferencesWindow",
                                                    "Show desktop names in the panel and desktop switcher"),
                        "shareDesktopNames", &AppSettings::shareDesktopNames);
    startup->addWidget(share);
    startup->addWidget(
        describe(share, QCoreApplication::translate(
                            "PreferencesWindow",
                            "Your labels' names also name the desktops in pagers, panels and the window "
                            "manager's switcher. Desktops without a name keep the window manager's; its own "
                            "names come back when this is off or Spacemarquee quits.")));

    auto* naming =
        layoutOf(section(page, QCoreApplication::translate("PreferencesWindow", "Behavior for new tags")));
    auto* guessRow = new QFormLayout;
    guessing_ = new QComboBox;
    guessing_->setObjectName(QStringLiteral("windowNameGuessing"));
    guessing_->addItem(QCoreApplication::translate("PreferencesWindow", "No"),
                       rawValue(WindowNameGuessing::off));
    guessing_->addItem(QCoreApplication::translate("PreferencesWindow", "Terminal"),
                       rawValue(WindowNameGuessing::terminalOnly));
    guessing_->addItem(QCoreApplication::translate("PreferencesWindow", "Any app"),
                       rawValue(WindowNameGuessing::anyApp));
    connect(guessing_, &QComboBox::activated, this, [this](int index) {
        const auto level = windowNameGuessingFromRawValue(guessing_->itemData(index).toInt());
        model_->set(&AppSettings::windowNameGuessing, level.value_or(WindowNameGuessing::off));
    });
    auto* guessLabel =
        new QLabel(QCoreApplication::translate("PreferencesWindow", "Guess desktop name from open windows:"));
    guessLabel->setBuddy(guessing_);
    guessRow->addRow(guessLabel, guessing_);
    naming->addLayout(guessRow);
    // On X11 every window's title is readable, so there is no permission to ask for and no degraded mode.
    naming->addWidget(unavailableRow(QStringLiteral("windowNames")));
    naming->addWidget(describe(
        guessing_, QCoreApplication::translate(
                       "PreferencesWindow",
                       "No: labels stay manual. Terminal: names the desktop after the frontmost terminal app "
                       "(GNOME Terminal, Konsole, Ghostty, ...) - no permission needed. Any app: reads any "
                       "frontmost window's title (no permission needed on X11). A label you edit by hand is "
                       "always kept.")));

    auto* font = layoutOf(section(page, QCoreApplication::translate("PreferencesWindow", "Font size")));
    fontSize_ =
        settingSlider(20, 200, 1, QStringLiteral("20"), QStringLiteral("200"),
                      QCoreApplication::translate("PreferencesWindow", "Font size"), "fontSize", nullptr);
    fontSize_->onEdited = [this](double v) { model_->setFontSizeHere(v); };
    font->addWidget(fontSize_);
    fontSizeCaption_ = new QLabel;
    fontSizeCaption_->setObjectName(QStringLiteral("fontSizeCaption"));
    font->addWidget(fontSizeCaption_);

    auto* voice =
        layoutOf(section(page, QCoreApplication::translate("PreferencesWindow", "Voice announcement")));
    auto* speak =
        settingCheckBox(QCoreApplication::translate("PreferencesWindow", "Speak the desktop name on change"),
                        "speakSpaceNameOnChange", &AppSettings::speakSpaceNameOnChange);
    voice->addWidget(speak);
    voice->addWidget(describe(
        speak, QCoreApplication::translate("PreferencesWindow",
                                           "When you switch to a desktop, its label is read aloud using "
                                           "the system voice. Empty titles and 'Untitled' are skipped.")));
    auto* voiceForm = new QFormLayout;
    voiceForm->addRow(QCoreApplication::translate("PreferencesWindow", "Rate"),
                      settingSlider(0.1, 1.0, 0.05, QCoreApplication::translate("PreferencesWindow", "slow"),
                                    QCoreApplication::translate("PreferencesWindow", "fast"),
                                    QCoreApplication::translate("PreferencesWindow", "Speech rate"),
                                    "speechRate", &AppSettings::speechRate));
    voiceForm->addRow(QCoreApplication::translate("PreferencesWindow", "Volume"),
                      settingSlider(0, 1, 0.01, QStringLiteral("0%"), QStringLiteral("100%"),
                                    QCoreApplication::translate("PreferencesWindow", "Speech volume"),
                                    "speechVolume", &AppSettings::speechVolume));
    voice->addLayout(voiceForm);
    voice->addWidget(unavailableRow(QStringLiteral("speech")));
    page->addStretch(1);
    return scrollingPage(content);
}

QWidget* PreferencesWindow::buildVisibilityTab() {
    auto* content = new QWidget;
    auto* page = new QVBoxLayout(content);

    auto* mode = layoutOf(section(page, QCoreApplication::translate("PreferencesWindow", "Display mode")));
    visibilityMode_ = new QButtonGroup(this);
    const std::pair<VisibilityMode, QString> modes[] = {
        {VisibilityMode::always, QCoreApplication::translate("PreferencesWindow", "Always visible")},
        {VisibilityMode::onChange,
         QCoreApplication::translate("PreferencesWindow", "Visible on desktop change (auto-fade)")},
        {VisibilityMode::onCtrl,
         QCoreApplication::translate("PreferencesWindow", "Visible only while Ctrl is held")},
    };
    for (const auto& [value, text] : modes) {
        auto* radio = new QRadioButton(text);
        radio->setObjectName(QStringLiteral("visibilityMode.") + rawValue(value));
        visibilityMode_->addButton(radio, static_cast<int>(value));
        mode->addWidget(radio);
    }
    mode->addWidget(unavailableRow(QStringLiteral("ctrl")));
    connect(visibilityMode_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on) model_->set(&AppSettings::visibilityMode, static_cast<VisibilityMode>(id));
    });

    auto* opacity = layoutOf(section(page, QCoreApplication::translate("PreferencesWindow", "Opacity")));
    baseOpacityCaption_ = new QLabel;
    baseOpacityCaption_->setObjectName(QStringLiteral("baseOpacityCaption"));
    opacity->addWidget(baseOpacityCaption_);
    opacity->addWidget(settingSlider(0, 1, 0.01, QStringLiteral("0%"), QStringLiteral("100%"),
                                     QCoreApplication::translate("PreferencesWindow", "Visible opacity"),
                                     "baseOpacity", &AppSettings::baseOpacity));
    auto* withCtrl = new QLabel(QCoreApplication::translate("PreferencesWindow", "With Ctrl held"));
    QFont bold = withCtrl->font();
    bold.setBold(true);
    withCtrl->setFont(bold);
    opacity->addWidget(withCtrl);
    boostOpacityCaption_ = new QLabel;
    boostOpacityCaption_->setObjectName(QStringLiteral("ctrlBoostOpacityCaption"));
    opacity->addWidget(boostOpacityCaption_);
    opacity->addWidget(settingSlider(0, 1, 0.01, QStringLiteral("0%"), QStringLiteral("100%"),
                                     QCoreApplication::translate("PreferencesWindow", "Boosted opacity"),
                                     "ctrlBoostOpacity", &AppSettings::ctrlBoostOpacity));

    auto* fade =
        layoutOf(section(page, QCoreApplication::translate("PreferencesWindow", "Auto-fade timing")));
    auto* fadeForm = new QFormLayout;
    fadeForm->addRow(QCoreApplication::translate("PreferencesWindow", "Duration"),
                     settingSlider(0.5, 10, 0.1, QStringLiteral("0.5s"), QStringLiteral("10s"),
                                   QCoreApplication::translate("PreferencesWindow", "Auto-fade duration"),
                                   "onChangeDurationSec", &AppSettings::onChangeDurationSec));
    fade->addLayout(fadeForm);
    durationCaption_ = new QLabel;
    durationCaption_->setObjectName(QStringLiteral("durationCaption"));
    fade->addWidget(durationCaption_);

    auto* magnify =
        layoutOf(section(page, QCoreApplication::translate("PreferencesWindow", "Magnify when unfocused")));
    auto* enlarge = settingCheckBox(
        QCoreApplication::translate("PreferencesWindow", "Enlarge labels of inactive desktops"),
        "magnifyWhenUnfocused", &AppSettings::magnifyWhenUnfocused);
    magnify->addWidget(enlarge);
    magnify->addWidget(describe(
        enlarge, QCoreApplication::translate(
                     "PreferencesWindow",
                     "Makes labels easier to read when previewing desktops in the workspace overview.")));
    auto* magnifyForm = new QFormLayout;
    magnifyScale_ = settingSlider(1, 10, 0.1, QStringLiteral("1x"), QStringLiteral("10x"),
                                  QCoreApplication::translate("PreferencesWindow", "Magnification scale"),
                                  "magnifyScale", nullptr);
    magnifyScale_->onEdited = [this](double v) { model_->setMagnifyScaleHere(v); };
    magnifyForm->addRow(QCoreApplication::translate("PreferencesWindow", "Scale"), magnifyScale_);
    magnifyScaleCaption_ = new QLabel;
    magnifyScaleCaption_->setObjectName(QStringLiteral("magnifyScaleCaption"));
    magnifyForm->addRow(QString(), magnifyScaleCaption_);
    magnifyForm->addRow(QCoreApplication::translate("PreferencesWindow", "Opacity"),
                        settingSlider(0, 1, 0.01, QStringLiteral("0%"), QStringLiteral("100%"),
                                      QCoreApplication::translate("PreferencesWindow", "Magnified opacity"),
                                      "magnifyOpacity", &AppSettings::magnifyOpacity));
    magnifyOpacityCaption_ = new QLabel;
    magnifyOpacityCaption_->setObjectName(QStringLiteral("magnifyOpacityCaption"));
    magnifyForm->addRow(QString(), magnifyOpacityCaption_);
    magnify->addLayout(magnifyForm);
    magnify->addWidget(new HelpLabel(
        QCoreApplication::translate("PreferencesWindow", "Size and position are saved per screen.")));
    page->addStretch(1);
    return scrollingPage(content);
}

QWidget* PreferencesWindow::buildAdvancedTab() {
    auto* content = new QWidget;
    auto* page = new QVBoxLayout(content);

    auto* tags = layoutOf(section(page, QCoreApplication::translate("PreferencesWindow", "Tag management")));
    auto* reassign =
        actionButton(QCoreApplication::translate("PreferencesWindow", "Reassign tags…"), "reassignTags");
    connect(reassign, &QPushButton::clicked, this, [this] { openReassignSheet(); });
    addButton(tags, reassign,
              QCoreApplication::translate("PreferencesWindow",
                                          "Useful if you reordered desktops in your workspace settings."));
    auto* positions = actionButton(QCoreApplication::translate("PreferencesWindow", "Reset all positions"),
                                   "resetAllPositions");
    connect(positions, &QPushButton::clicked, this, [this] { model_->resetAllPositions(); });
    addButton(tags, positions,
              QCoreApplication::translate("PreferencesWindow",
                                          "Restores the default centered-top position for every label."));
    auto* duplicates = actionButton(
        QCoreApplication::translate("PreferencesWindow", "Remove duplicates here"), "removeDuplicates");
    connect(duplicates, &QPushButton::clicked, this, [this] { model_->removeDuplicates(); });
    addButton(tags, duplicates,
              QCoreApplication::translate(
                  "PreferencesWindow",
                  "Use this if multiple tags accidentally stacked on the same desktop due to a "
                  "desktop-change race. Keeps the active one and removes the rest."));
    duplicatesToast_ = new QLabel;
    duplicatesToast_->setObjectName(QStringLiteral("duplicatesToast"));
    tags->addWidget(duplicatesToast_);
    auto* reset = actionButton(QCoreApplication::translate("PreferencesWindow", "Reset settings to defaults"),
                               "resetSettings");
    connect(reset, &QPushButton::clicked, this, [this] { model_->resetSettingsToDefaults(); });
    auto* resetRow = new QHBoxLayout;
    resetRow->addWidget(reset);
    resetRow->addStretch(1);
    tags->addLayout(resetRow);

    staleRow_ = new QWidget;
    staleRow_->setObjectName(QStringLiteral("staleRow"));
    auto* stale = new QHBoxLayout(staleRow_);
    stale->setContentsMargins(0, 0, 0, 0);
    auto* clock = new QLabel;
    const int icon = style()->pixelMetric(QStyle::PM_SmallIconSize);
    clock->setPixmap(themed("appointment-missed", QStyle::SP_MessageBoxWarning, this).pixmap(icon, icon));
    stale->addWidget(clock);
    staleText_ = new QLabel;
    staleText_->setObjectName(QStringLiteral("staleText"));
    stale->addWidget(staleText_, 1);
    auto* deleteStale =
        actionButton(QCoreApplication::translate("PreferencesWindow", "Delete stale"), "deleteStale");
    connect(deleteStale, &QPushButton::clicked, this, [this] { model_->deleteStaleTags(); });
    stale->addWidget(deleteStale);
    tags->addWidget(staleRow_);

    auto* diagnostics =
        layoutOf(section(page, QCoreApplication::translate("PreferencesWindow", "Diagnostics")));
    diagnostics_ = new QCheckBox(QCoreApplication::translate("PreferencesWindow", "Enable diagnostics log"));
    diagnostics_->setObjectName(QStringLiteral("diagnosticsLogging"));
    connect(diagnostics_, &QCheckBox::toggled, this, [this](bool on) { model_->setDiagnosticsLogging(on); });
    diagnostics->addWidget(diagnostics_);
    diagnostics->addWidget(describe(
        diagnostics_, QCoreApplication::translate(
                          "PreferencesWindow", "Writes a detailed activity log, kept on this computer only "
                                               "(recent sessions). Takes effect after relaunching "
                                               "Spacemarquee.")));
    auto* logs =
        actionButton(QCoreApplication::translate("PreferencesWindow", "Show log files…"), "showLogFiles");
    connect(logs, &QPushButton::clicked, this, [this] { model_->showLogFiles(); });
    addButton(diagnostics, logs,
              QCoreApplication::translate("PreferencesWindow",
                                          "Opens the folder with the diagnostics log in your file manager."));
    page->addStretch(1);
    return scrollingPage(content);
}

void PreferencesWindow::sync() {
    const AppSettings s = model_->settings();
    {
        const QSignalBlocker quiet(launchAtLogin_);
        launchAtLogin_->setChecked(model_->launchAtLoginOn());
    }
    approvalRow_->setVisible(model_->showsApprovalRow());
    for (const auto& [box, field] : checkBoxes_) {
        const QSignalBlocker quiet(box);
        box->setChecked(s.*field);
    }
    for (const auto& [slider, field] : sliders_)
        slider->setValue(s.*field);
    {
        const QSignalBlocker quiet(guessing_);
        guessing_->setCurrentIndex(guessing_->findData(rawValue(s.windowNameGuessing)));
    }
    {
        const QSignalBlocker quiet(visibilityMode_);
        if (auto* radio = visibilityMode_->button(static_cast<int>(s.visibilityMode)))
            radio->setChecked(true);
    }
    fontSize_->setValue(model_->fontSizeHere());
    magnifyScale_->setValue(model_->magnifyScaleHere());
    fontSizeCaption_->setText(model_->fontSizeCaption());
    baseOpacityCaption_->setText(model_->baseOpacityCaption());
    boostOpacityCaption_->setText(model_->ctrlBoostOpacityCaption());
    durationCaption_->setText(model_->durationCaption());
    magnifyScaleCaption_->setText(model_->magnifyScaleCaption());
    magnifyOpacityCaption_->setText(model_->magnifyOpacityCaption());
    duplicatesToast_->setText(model_->duplicatesRemovedToast());
    duplicatesToast_->setVisible(!model_->duplicatesRemovedToast().isEmpty());
    const QString stale = model_->staleRowText();
    staleText_->setText(stale);
    staleRow_->setVisible(!stale.isEmpty());
    {
        const QSignalBlocker quiet(diagnostics_);
        diagnostics_->setChecked(model_->diagnosticsLogging());
    }
    for (auto& [row, text] : unavailable_)
        row->hide();
    for (const auto& cause : model_->unavailableRows())
        if (const auto it = unavailable_.constFind(cause.identifier); it != unavailable_.cend()) {
            it->second->setText(cause.text);
            it->first->show();
        }
}

QWidget* PreferencesWindow::unavailableRow(const QString& identifier) {
    auto* row = new QWidget;
    row->setObjectName(QStringLiteral("unavailable.") + identifier);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* icon = new QLabel;
    const int size = style()->pixelMetric(QStyle::PM_SmallIconSize);
    icon->setPixmap(themed("dialog-information", QStyle::SP_MessageBoxInformation, this).pixmap(size, size));
    layout->addWidget(icon, 0, Qt::AlignTop);
    auto* text = new QLabel;
    text->setWordWrap(true);
    layout->addWidget(text, 1);
    row->hide();
    unavailable_.insert(identifier, {row, text});
    return row;
}

void PreferencesWindow::openReassignSheet() {
    if (!sheet_) sheet_ = new ReassignTagsSheet(model_, this);
    sheet_->sync();
    sheet_->open();
}

} // namespace sm
