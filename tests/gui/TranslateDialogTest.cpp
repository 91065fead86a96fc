// TranslateDialog over a real Qt window (offscreen): which widgets it
// touches, the dictionary it records, and language switches.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QCheckBox>
#include <QCommandLinkButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "translation/TLanguage.h"
#include "translation/qt/TranslateDialog.h"

namespace {

using translation::TLanguage;
using translation::qt::TranslateDialog;

template <typename T>
T* Add(QWidget* parent, QLayout* layout, const char* name, const QString& text = {},
       const QString& tip = {}) {
  auto* widget = new T(parent);
  widget->setObjectName(QLatin1String(name));
  if constexpr (std::is_base_of_v<QAbstractButton, T> || std::is_same_v<T, QLabel> ||
                std::is_same_v<T, QLineEdit>) {
    widget->setText(text);
  }
  widget->setToolTip(tip);
  if (layout) layout->addWidget(widget);
  return widget;
}

QAction* AddAction(QMenu* menu, const char* name, const QString& text, const QString& tip = {}) {
  QAction* action = menu->addAction(text);
  action->setObjectName(QLatin1String(name));
  action->setStatusTip(tip);
  return action;
}

// A small window with one component of each kind, built the way the form
// description builds it: named objects, tags as dynamic properties.
struct Window {
  QMainWindow form;
  QGroupBox* group;
  QLabel *nameLabel, *nameField, *multiLine, *infoText, *keep;
  QPushButton* ok;
  QCheckBox* check;
  QRadioButton* radio;
  QToolButton* speed;
  QFrame* panel;
  QCommandLinkButton* derived;
  QLineEdit* edit;
  QTabWidget* tabs;
  QWidget* sheet;
  QTabBar* tabBar;
  QLabel* statusPanel;
  QMenu *file, *program, *language;
  QAction *multi, *quit, *german, *english;

  Window() {
    form.setObjectName("UpdateForm");
    form.setWindowTitle(QString::fromUtf8("Download :"));
    auto* menuBar = new QMenuBar(&form);
    menuBar->setObjectName("MainMenu1");
    file = menuBar->addMenu(QString::fromUtf8("&Datei"));
    file->setObjectName("Bearbeiten");
    program = file->addMenu(QString::fromUtf8("&Programmieren"));
    program->setObjectName("VE720dProgramming");
    multi = AddAction(program, "DevMulti720q", "&Multi 720q ...", QString::fromUtf8("Gerät im Boot-Loader"));
    file->addSeparator();
    quit = AddAction(file, "UpdateEnd", "&Beenden");
    quit->setProperty("Tag", -1);  // menu items ignore TagNoTranslate
    language = menuBar->addMenu(QString::fromUtf8("&Sprache"));
    language->setObjectName("Sprache");
    german = AddAction(language, "Deutsch", "&Deutsch");
    english = AddAction(language, "Englisch", "&Englisch");
    english->setProperty("Tag", 1);
    form.setMenuBar(menuBar);

    auto* central = new QWidget(&form);
    central->setObjectName("CentralWidget");
    auto* layout = new QVBoxLayout(central);
    group = Add<QGroupBox>(central, layout, "UpdateGroupBox");
    group->setTitle(QString::fromUtf8("Gerät"));
    auto* inGroup = new QVBoxLayout(group);
    nameLabel = Add<QLabel>(group, inGroup, "NameLabel", "Name:");
    nameField = Add<QLabel>(group, inGroup, "NameStaticText");
    nameField->setFrameShape(QFrame::Panel);
    multiLine = Add<QLabel>(central, layout, "WaitPanel", "Bitte\nwarten ...");
    ok = Add<QPushButton>(central, layout, "OkBitBtn", "OK", "Update starten");
    check = Add<QCheckBox>(central, layout, "CheckBox1", "Alle");
    radio = Add<QRadioButton>(central, layout, "RadioButton1", "Eine");
    speed = Add<QToolButton>(central, layout, "SpeedButton1", "", "Schnell");
    infoText = Add<QLabel>(central, layout, "InfoStaticText", QString::fromUtf8("Pfeil → rechts"));
    keep = Add<QLabel>(central, layout, "KeepLabel", "Bleibt", "Bleibt auch");
    keep->setProperty("Tag", -1);
    panel = Add<QFrame>(central, layout, "Panel1", {}, "Rahmen");
    derived = Add<QCommandLinkButton>(central, layout, "LinkButton", "Abgeleitet", "Tipp");
    edit = Add<QLineEdit>(central, layout, "Edit1", "Eingabe", "Tipp");
    tabs = Add<QTabWidget>(central, layout, "PageControl1");
    sheet = new QWidget;
    sheet->setObjectName("TabSheet1");
    sheet->setToolTip("Seitentipp");
    tabs->addTab(sheet, "Seite 1");
    tabBar = Add<QTabBar>(central, layout, "TabControl1");
    tabBar->addTab("Eins");
    tabBar->addTab("Zwei");
    form.setCentralWidget(central);

    auto* status = new QStatusBar(&form);
    status->setObjectName("UpdateStatusBar");
    statusPanel = new QLabel("Com X", status);
    statusPanel->setObjectName("StatusPanel0");
    status->addWidget(statusPanel);
    form.setStatusBar(status);
  }
};

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

ino_t Inode(const std::string& path) {
  struct stat s {};
  return stat(path.c_str(), &s) == 0 ? s.st_ino : 0;
}

class TranslateDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "iu-translate-XXXXXX").string();
    m_folder = mkdtemp(pattern.data());
    m_deu = (m_folder / "Update.Deu").string();
    m_eng = (m_folder / "Update.Eng").string();
  }
  void TearDown() override { std::filesystem::remove_all(m_folder); }

  std::filesystem::path m_folder;
  std::string m_deu, m_eng;
  Window m_window;
};

TEST_F(TranslateDialogTest, FirstRunRecordsEveryTextAndHintAndKeepsTheDesignTexts) {
  TLanguage language(m_deu);
  ASSERT_TRUE(TranslateDialog(language, m_window.form, false));
  EXPECT_TRUE(language.RecordMode());
  EXPECT_EQ(Read(m_deu),
            "[UpdateForm]=\r\n"
            "[Bearbeiten]=\r\n[Hint][Bearbeiten]:=\r\n"
            "[VE720dProgramming]=\r\n[Hint][VE720dProgramming]:=\r\n"
            "[DevMulti720q]=\r\n[Hint][DevMulti720q]Ger\xE4t im Boot-Loader:=\r\n"
            "[UpdateEnd]=\r\n[Hint][UpdateEnd]:=\r\n"
            "[Sprache]=\r\n[Hint][Sprache]:=\r\n"
            "[Deutsch]=\r\n[Hint][Deutsch]:=\r\n"
            "[Englisch]=\r\n[Hint][Englisch]:=\r\n"
            "[UpdateGroupBox]=\r\n[Hint][UpdateGroupBox]:=\r\n"
            "[NameLabel]=\r\n[Hint][NameLabel]:=\r\n"
            "[Hint][NameStaticText]:=\r\n"
            "[WaitPanel]=\r\n[Hint][WaitPanel]:=\r\n"
            "[OkBitBtn]=\r\n[Hint][OkBitBtn]Update starten:=\r\n"
            "[CheckBox1]=\r\n[Hint][CheckBox1]:=\r\n"
            "[RadioButton1]=\r\n[Hint][RadioButton1]:=\r\n"
            "[Hint][SpeedButton1]Schnell:=\r\n"
            "[InfoStaticText]=\r\n[Hint][InfoStaticText]:=\r\n"
            "[Hint][Panel1]Rahmen:=\r\n"
            "[TabSheet1]=\r\n[Hint][TabSheet1]Seitentipp:=\r\n"
            "[TabControl1]=\r\n[Hint][TabControl1]:=\r\n");
  // Captions as designed, hints of translated components cleared.
  EXPECT_EQ(m_window.ok->text(), "OK");
  EXPECT_EQ(m_window.ok->toolTip(), "");
  EXPECT_EQ(m_window.multi->statusTip(), "");
  EXPECT_EQ(m_window.infoText->text(), QString::fromUtf8("Pfeil → rechts"));
  EXPECT_EQ(m_window.keep->toolTip(), "Bleibt auch");
  EXPECT_EQ(m_window.edit->toolTip(), "Tipp");
}

TEST_F(TranslateDialogTest, TranslatesByExactClassAndLeavesTheRestAlone) {
  std::ofstream(m_eng, std::ios::binary)
      << "[UpdateForm]Download :=Download\r\n"
         "[Bearbeiten]&Datei:=&File\r\n"
         "[VE720dProgramming]&Programmieren:=&Programming\r\n"
         "[DevMulti720q]&Multi 720q ...:=\r\n"
         "[Hint][DevMulti720q]Ger\xE4t im Boot-Loader:=Instrument in its boot loader\r\n"
         "[UpdateEnd]&Beenden:=E&xit\r\n"
         "[Sprache]&Sprache:=&Language\r\n"
         "[Deutsch]&Deutsch:=&German\r\n"
         "[Englisch]&Englisch:=&English\r\n"
         "[UpdateGroupBox]Ger\xE4t:=Instrument\r\n"
         "[NameLabel]Name:=\r\n"
         "[WaitPanel]Bitte\\\\warten ...:=Please\\\\wait ...\r\n"
         "[OkBitBtn]OK:=\r\n[Hint][OkBitBtn]Update starten:=Start the update\r\n"
         "[CheckBox1]Alle:=All\r\n"
         "[RadioButton1]Eine:=One\r\n"
         "[Hint][SpeedButton1]Schnell:=Fast\r\n"
         "[InfoStaticText]Pfeil:=\r\n"
         "[KeepLabel]Bleibt:=Stays\r\n"
         "[Hint][Panel1]Rahmen:=Frame\r\n"
         "[LinkButton]Abgeleitet:=Derived\r\n"
         "[Edit1]Eingabe:=Input\r\n"
         "[TabSheet1]Seite 1:=Page 1\r\n"
         "[TabControl1]Eins\\\\Zwei\\\\:=One\\\\Two\\\\Three\\\\\r\n"
         "[StatusPanel0]Com X:=Port X\r\n";
  const ino_t before = Inode(m_eng);
  TLanguage language(m_eng);
  ASSERT_TRUE(TranslateDialog(language, m_window.form, false));
  EXPECT_FALSE(language.DictionaryChanged());
  EXPECT_EQ(Inode(m_eng), before);  // complete: not rewritten

  const Window& w = m_window;
  EXPECT_EQ(w.form.windowTitle(), "Download");
  EXPECT_EQ(w.file->title(), "&File");
  EXPECT_EQ(w.program->title(), "&Programming");
  EXPECT_EQ(w.multi->text(), "&Multi 720q ...");
  EXPECT_EQ(w.multi->statusTip(), "Instrument in its boot loader");
  EXPECT_EQ(w.quit->text(), "E&xit");
  EXPECT_EQ(w.english->text(), "&English");
  EXPECT_EQ(w.group->title(), "Instrument");
  EXPECT_EQ(w.nameLabel->text(), "Name");
  EXPECT_EQ(w.multiLine->text(), "Please\nwait ...");
  EXPECT_EQ(w.ok->toolTip(), "Start the update");
  EXPECT_EQ(w.check->text(), "All");
  EXPECT_EQ(w.radio->text(), "One");
  EXPECT_EQ(w.speed->toolTip(), "Fast");
  EXPECT_EQ(w.infoText->text(), "Pfeil");
  EXPECT_EQ(w.panel->toolTip(), "Frame");
  EXPECT_EQ(w.tabs->tabText(0), "Page 1");
  EXPECT_EQ(w.sheet->toolTip(), "");
  ASSERT_EQ(w.tabBar->count(), 3);
  EXPECT_EQ(w.tabBar->tabText(2), "Three");
  // TagNoTranslate, a derived class, other classes, status-bar panels.
  EXPECT_EQ(w.keep->text(), "Bleibt");
  EXPECT_EQ(w.keep->toolTip(), "Bleibt auch");
  EXPECT_EQ(w.derived->text(), "Abgeleitet");
  EXPECT_EQ(w.edit->text(), "Eingabe");
  EXPECT_EQ(w.statusPanel->text(), "Com X");
}

TEST_F(TranslateDialogTest, SwitchingLanguagesBackAndForth) {
  std::ofstream(m_deu, std::ios::binary) << "[OkBitBtn]OK:=Los\r\n[UpdateGroupBox]Ger\xE4t:=\r\n";
  std::ofstream(m_eng, std::ios::binary)
      << "\xEF\xBB\xBF[OkBitBtn]OK:=Go\r\n[UpdateGroupBox]Ger\xC3\xA4t:=Instrument\r\n";
  TLanguage language("own.lng");
  for (int round = 0; round < 2; ++round) {
    language.SetDialogfile(m_eng);
    ASSERT_TRUE(TranslateDialog(language, m_window.form, false));
    EXPECT_EQ(m_window.ok->text(), "Go");
    EXPECT_EQ(m_window.group->title(), "Instrument");
    language.SetDialogfile(m_deu);
    ASSERT_TRUE(TranslateDialog(language, m_window.form, false));
    EXPECT_EQ(m_window.ok->text(), "Los");
    EXPECT_EQ(m_window.group->title(), QString::fromUtf8("Gerät"));
  }
  // Entries the dictionaries lacked were added, each file in its own encoding.
  EXPECT_TRUE(
      Read(m_eng).starts_with("\xEF\xBB\xBF[OkBitBtn]OK:=Go\r\n[UpdateGroupBox]Ger\xC3\xA4t:=Instrument\r\n"
                              "[UpdateForm]Download ::=\r\n"))
      << Read(m_eng);
  EXPECT_NE(Read(m_deu).find("[InfoStaticText]Pfeil ? rechts:=\r\n"), std::string::npos);
  EXPECT_EQ(m_window.infoText->text(), QString::fromUtf8("Pfeil → rechts"));
}

TEST_F(TranslateDialogTest, DisabledDoesNothingAndWriteFailuresAreReported) {
  TLanguage language(m_deu);
  language.SetEnabled(false);
  EXPECT_TRUE(TranslateDialog(language, m_window.form, false));
  EXPECT_FALSE(std::filesystem::exists(m_deu));
  EXPECT_EQ(m_window.ok->toolTip(), "Update starten");

  language.SetEnabled(true);
  language.SetDialogfile((m_folder / "no" / "Update.Deu").string());
  EXPECT_FALSE(TranslateDialog(language, m_window.form, false));
  EXPECT_NE(language.LastError().find("Update.Deu"), std::string::npos);
  EXPECT_EQ(m_window.ok->text(), "OK");
}

}  // namespace
