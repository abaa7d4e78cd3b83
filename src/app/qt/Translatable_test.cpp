// Every text a window, a menu or a label shows goes through a translation the template offers.
// A translator that marks each text found in the build's template (spacemarquee.ts) is installed
// before the windows are made; a text shown without the mark was not translatable.
#include "support/PreferencesFixture.h"
#include "app/MenuBarItem.h"
#include "app/qt/QtShellUi.h"
#include "app/qt/Translations.h"
#include "dialogs/qt/PreferencesWindow.h"
#include "dialogs/qt/ReassignTagsSheet.h"
#include "dialogs/qt/SwitcherWindow.h"
#include "dialogs/qt/WelcomeWindow.h"
#include "overlay/LabelContextMenu.h"
#include "report/qt/ReportProblemView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSet>
#include <QTabWidget>
#include <QTranslator>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

namespace sm {
namespace {

const QString kOurs = QStringLiteral("⟦");    // in the template
const QString kQtsOwn = QStringLiteral("⟪"); // Qt's own texts (standard buttons), which qtbase translates

class MarkingTranslator final : public QTranslator {
public:
    explicit MarkingTranslator(const QString& templatePath) {
        QFile file(templatePath);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << templatePath.toStdString();
        QXmlStreamReader xml(&file);
        QString context;
        while (xml.readNextStartElement() || !xml.atEnd()) {
            if (!xml.isStartElement()) continue;
            if (xml.name() == QLatin1String("name")) {
                context = xml.readElementText();
                contexts_ << context;
            } else if (xml.name() == QLatin1String("source")) {
                messages_ << context + QLatin1Char('\n') + xml.readElementText();
            }
        }
    }
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* source, const char*, int) const override {
        const QString c = QString::fromUtf8(context), s = QString::fromUtf8(source);
        if (messages_.contains(c + QLatin1Char('\n') + s)) return kOurs + s;
        if (!contexts_.contains(c) && c.startsWith(QLatin1Char('Q'))) return kQtsOwn + s;
        return {};
    }
    qsizetype size() const { return messages_.size(); }

private:
    QSet<QString> contexts_, messages_;
};

// What a person reads in a widget tree: texts, titles, placeholders, tips, menu entries.
QStringList shownTexts(QWidget* window) {
    QStringList texts{window->windowTitle()};
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    widgets.prepend(window);
    for (QWidget* w : widgets) {
        texts << w->toolTip() << w->accessibleName();
        if (auto* label = qobject_cast<QLabel*>(w)) texts << label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(w)) texts << button->text();
        if (auto* box = qobject_cast<QGroupBox*>(w)) texts << box->title();
        if (auto* line = qobject_cast<QLineEdit*>(w)) texts << line->placeholderText();
        if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) texts << edit->placeholderText();
        if (auto* combo = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < combo->count(); ++i) texts << combo->itemText(i);
        if (auto* list = qobject_cast<QListWidget*>(w))
            for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
        if (auto* tabs = qobject_cast<QTabWidget*>(w))
            for (int i = 0; i < tabs->count(); ++i) texts << tabs->tabText(i);
        if (auto* menu = qobject_cast<QMenu*>(w))
            for (QAction* action : menu->actions()) texts << action->text();
    }
    return texts;
}

// Language, not data: a word of two letters at least ("0.5s", "100%" and "10x" are numbers).
bool isLanguage(const QString& text) {
    static const QRegularExpression word(QStringLiteral("\\p{L}{2,}"));
    return word.match(text).hasMatch();
}

class TranslatableTest : public ::testing::Test, protected test::PreferencesFixture {
protected:
    TranslatableTest() {
        EXPECT_GT(translator.size(), 100);
        QCoreApplication::installTranslator(&translator);
        model->setLimits([] { return PreferencesViewModel::Limits{QStringLiteral("no keyboard"), false, false}; });
        addTag(QStringLiteral("Mail"), 0);
        addTag(QStringLiteral("Old"), 1, 30 * 24 * 3600.0);
        refresh();
    }
    ~TranslatableTest() override { QCoreApplication::removeTranslator(&translator); }

    MarkingTranslator translator{QStringLiteral(SM_TRANSLATION_TEMPLATE)};
};

TEST_F(TranslatableTest, EveryTextTheWindowsAndMenusShowIsTranslatable) {
    PreferencesWindow preferences(model);
    ReassignTagsSheet reassign(model, nullptr);
    WelcomeWindow welcomeWithTray(true), welcomeWithout(false);
    ReportProblemView report(true, {}, clock, QUrl(QStringLiteral("https://support.example/")));
    SwitcherWindow switcher(
        std::make_shared<SwitcherViewModel>(QList<SwitcherViewModel::Entry>{{QStringLiteral("Mail"), 1}}), {});
    SwitcherWindow emptySwitcher(std::make_shared<SwitcherViewModel>(QList<SwitcherViewModel::Entry>{}), {});
    // Another window shown over them closes them; here that must not delete what the stack owns.
    for (SwitcherWindow* w : {&switcher, &emptySwitcher})
        w->setAttribute(Qt::WA_DeleteOnClose, false);
    QtShellUi shell;
    shell.installStatusMenu(MenuBarItem::entries(), [] {}, [](const QString&) {});
    QMenu labelMenu;
    for (const bool owned : {true, false})
        for (const MenuItem& item : LabelContextMenu::build(owned, {{QUuid::createUuid(), QStringLiteral("Mail")}}))
            labelMenu.addAction(item.text);

    const struct {
        const char* window;
        QWidget* widget;
    } windows[] = {{"preferences", &preferences}, {"reassign", &reassign},
                   {"welcome", &welcomeWithTray},  {"welcome without tray", &welcomeWithout},
                   {"report", &report},            {"tray menu", shell.menu()},
                   {"label menu", &labelMenu},     {"switcher", &switcher},
                   {"switcher without names", &emptySwitcher}};
    for (const auto& [name, widget] : windows)
        if (!qobject_cast<QMenu*>(widget)) widget->show();
    refresh(); // the reassign sheet fills its rows on a change while shown
    for (const auto& [name, widget] : windows) {
        int checked = 0;
        for (const QString& text : shownTexts(widget)) {
            if (!isLanguage(text) || text == QLatin1String("Mail")) continue;
            ++checked;
            EXPECT_TRUE(text.contains(kOurs) || text.contains(kQtsOwn)) << name << ": \"" << text.toStdString() << '"';
        }
        EXPECT_GT(checked, 0) << name;
    }
}

// The user's language is loaded when a translation of it is installed, and only then.
TEST(Translations, LoadTheUsersLanguageWhenInstalled) {
    const struct {
        const char* locale;
        const char* directory;
        bool loaded;
        const char* quit;
    } cases[] = {
        {"de_DE", SM_TEST_TRANSLATIONS, true, "Spacemarquee beenden"},
        {"de_AT", SM_TEST_TRANSLATIONS, true, "Spacemarquee beenden"}, // the language without the country
        {"fr_FR", SM_TEST_TRANSLATIONS, false, "Quit Spacemarquee"},
        {"de_DE", "/nonexistent", false, "Quit Spacemarquee"},
    };
    for (const auto& c : cases) {
        QLocale::setDefault(QLocale(QString::fromLatin1(c.locale)));
        const QString loaded = installTranslations(QString::fromLatin1(c.directory));
        EXPECT_EQ(!loaded.isEmpty(), c.loaded) << c.locale << ' ' << c.directory;
        EXPECT_EQ(QCoreApplication::translate("MenuBarItem", "Quit Spacemarquee"), QLatin1String(c.quit)) << c.locale;
        for (QTranslator* t : QCoreApplication::instance()->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(t);
            delete t;
        }
    }
    QLocale::setDefault(QLocale::c());
}

} // namespace
} // namespace sm

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
