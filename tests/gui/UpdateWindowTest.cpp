// The real main window offscreen: every component by name, the menu tree
// with its tags and start states, the status bar, the default button, and a
// start of the logic in the window.
#include <gtest/gtest.h>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QToolButton>

#include "PackageFolder.h"
#include "platform/sim/SimHost.h"
#include "platform/sim/SimPortSystem.h"
#include "update/TUpdateForm.h"
#include "update/qt/UpdateWindow.h"

namespace {

using update::Control;
using update::qt::UpdateWindow;

template <class T>
T* Child(QWidget& window, const char* name) {
  T* child = window.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(child, nullptr) << name;
  return child;
}

TEST(UpdateWindowTest, EveryComponentIsThereByNameAndKind) {
  UpdateWindow window;
  for (const char* name : {"UpdateMemo"}) EXPECT_NE(window.findChild<QPlainTextEdit*>(name), nullptr);
  EXPECT_NE(Child<QGroupBox>(window, "UpdateGroupBox"), nullptr);
  for (const char* name :
       {"NameStaticText", "SerStaticText", "PCBStaticText", "SWStaticText", "DLLabel", "InfoStaticText",
        "WaitPanel", "StopPanel", "NameLabel", "SerLabel", "PCBLabel", "SWLabel"}) {
    Child<QLabel>(window, name);
  }
  Child<QListWidget>(window, "DLListBox");
  Child<QPushButton>(window, "OkBitBtn");
  Child<QToolButton>(window, "SpeedButton1");
  Child<QStatusBar>(window, "UpdateStatusBar");
  EXPECT_EQ(Child<QProgressBar>(window, "WaitProgressBar")->maximum(), 40);
  EXPECT_EQ(Child<QProgressBar>(window, "WaitProgressBar")->value(), 0);
  for (const update::ControlInfo& info : update::kControls) {
    EXPECT_NE(window.findChild<QObject*>(QString::fromLatin1(info.name.data(), info.name.size())), nullptr)
        << info.name;
  }
  EXPECT_EQ(window.windowTitle(), "Download :");
  EXPECT_EQ(window.objectName(), "UpdateForm");
  EXPECT_EQ(Child<QGroupBox>(window, "UpdateGroupBox")->title(), QString::fromUtf8("Gerät"));
  EXPECT_EQ(Child<QLabel>(window, "PCBLabel")->text(), "PCB Nummer :");
  EXPECT_EQ(Child<QLabel>(window, "DLLabel")->text(), "Download-Liste");
  EXPECT_EQ(Child<QLabel>(window, "WaitPanel")->text(), "Bitte warten ...");
  EXPECT_EQ(Child<QLabel>(window, "StopPanel")->text(), "Update wird beendet ...");
}

TEST(UpdateWindowTest, MenuTreeCaptionsTagsAndStartStates) {
  UpdateWindow window;
  auto* bar = window.findChild<QMenuBar*>();
  ASSERT_NE(bar, nullptr);
  QStringList top;
  for (QAction* action : bar->actions()) top << action->menu()->objectName() + "=" + action->text();
  EXPECT_EQ(top, QStringList({"Bearbeiten=&Datei", "Sprache=&Sprache", "Help=&Hilfe"}));

  auto items = [&](const char* menu) {
    QStringList list;
    for (QAction* action : Child<QMenu>(window, menu)->actions()) {
      list << (action->menu() ? action->menu()->objectName() : action->objectName()) + "=" + action->text();
    }
    return list;
  };
  EXPECT_EQ(items("Bearbeiten"),
            QStringList({"VE720dProgramming=&Programmieren",
                         QString::fromUtf8("LoadProgFile=Programm-Datei öffnen ..."), "UpdateEnd=&Beenden"}));
  EXPECT_EQ(items("VE720dProgramming"),
            QStringList({"DevMulti720q=&Multi 720q ...", "DevpH720q=&pH 720q ...", "DevOxi720q=&Oxi 720q ...",
                         "DevCond720q=&Cond 720q ...", "LabXXX=Lab XXX"}));
  EXPECT_EQ(items("Sprache"), QStringList({"Deutsch=&Deutsch", "Englisch=&Englisch"}));
  EXPECT_EQ(items("Help"), QStringList({"Readme=&Read me ...", "SWVersion=&Version ..."}));

  const struct {
    const char* name;
    int tag;
    bool enabled;
  } tagged[] = {{"DevMulti720q", 0, false}, {"DevpH720q", 1, false}, {"DevOxi720q", 2, false},
                {"DevCond720q", 3, false},  {"LabXXX", 0, true},     {"Deutsch", 0, true},
                {"Englisch", 1, true}};
  for (const auto& item : tagged) {
    QAction* action = window.findChild<QAction*>(item.name);
    ASSERT_NE(action, nullptr) << item.name;
    EXPECT_EQ(action->property("Tag"), QVariant(item.tag)) << item.name;
    EXPECT_EQ(action->isEnabled(), item.enabled) << item.name;
  }
  EXPECT_FALSE(Child<QMenu>(window, "VE720dProgramming")->menuAction()->isVisible());
  EXPECT_FALSE(window.findChild<QAction*>("LoadProgFile")->isVisible());
  QAction* deutsch = window.findChild<QAction*>("Deutsch");
  QAction* englisch = window.findChild<QAction*>("Englisch");
  ASSERT_NE(deutsch->actionGroup(), nullptr);
  EXPECT_EQ(deutsch->actionGroup(), englisch->actionGroup());
  EXPECT_TRUE(deutsch->actionGroup()->isExclusive());
  englisch->setChecked(true);
  deutsch->setChecked(true);
  EXPECT_FALSE(englisch->isChecked()) << "radio items";
}

TEST(UpdateWindowTest, HiddenAtStartStatusPanelsAndDefaultButton) {
  UpdateWindow window;
  window.show();
  for (const char* name :
       {"DLListBox", "DLLabel", "InfoStaticText", "SpeedButton1", "WaitPanel", "StopPanel"}) {
    EXPECT_TRUE(window.findChild<QWidget*>(name)->isHidden()) << name;
  }
  std::vector<int> widths;
  for (int i = 0; i < update::kStatusPanelCount; ++i) widths.push_back(window.StatusPanelLabel(i)->width());
  EXPECT_EQ(widths, (std::vector<int>{200, 50, 50, 120, 80}));
  EXPECT_EQ(window.StatusPanel(0), "Com X");
  auto* ok = Child<QPushButton>(window, "OkBitBtn");
  EXPECT_TRUE(ok->isDefault());
  QApplication::processEvents();
  EXPECT_EQ(QApplication::focusWidget(), ok) << "OK has the focus at start";
  auto* panel = Child<QLabel>(window, "WaitPanel");
  EXPECT_TRUE(panel->font().bold() || panel->styleSheet().contains("bold"));
  EXPECT_EQ(window.centralWidget()->height() + window.statusBar()->height(), 494);
  EXPECT_EQ(window.width(), 547);
  const QPoint centre = window.screen()->availableGeometry().center();
  EXPECT_LE((window.geometry().center() - centre).manhattanLength(), 12) << "centred on the desktop";
}

TEST(UpdateWindowTest, BindingNamesTheMissingComponent) {
  UpdateWindow window;
  window.findChild<QLabel*>("SerStaticText")->setObjectName("Renamed");
  window.findChild<QAction*>("LabXXX")->setObjectName("");
  try {
    update::qt::FormBinding::Bind(window);
    FAIL() << "a form without SerStaticText must not bind";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("SerStaticText, LabXXX"), std::string::npos) << e.what();
  }
}

TEST(UpdateWindowTest, Latin1TextsAndTheViewState) {
  UpdateWindow window;
  window.SetCaption(Control::NameStaticText, "Ger\xE4t \xDC\xF6");
  EXPECT_EQ(window.findChild<QLabel*>("NameStaticText")->text(), QString::fromUtf8("Gerät Üö"));
  EXPECT_EQ(window.Caption(Control::NameStaticText), "Ger\xE4t \xDC\xF6");
  window.MemoAppend("eins\r\nzwei\rdrei");
  EXPECT_EQ(window.findChild<QPlainTextEdit*>("UpdateMemo")->toPlainText(), "eins\nzwei\ndrei");
  window.SetVisible(Control::VE720dProgramming, true);
  EXPECT_TRUE(window.Visible(Control::VE720dProgramming));
  window.SetEnabled(Control::DevpH720q, true);
  EXPECT_TRUE(window.findChild<QAction*>("DevpH720q")->isEnabled());
  window.SetProgress(30, 120);
  EXPECT_EQ(window.findChild<QProgressBar*>("WaitProgressBar")->value(), 30);
  EXPECT_EQ(window.findChild<QProgressBar*>("WaitProgressBar")->maximum(), 120);
  window.SetTitle("Update [ 42.5 %]");
  EXPECT_EQ(window.windowTitle(), "Update [ 42.5 %]");
  window.SetStatusPanel(4, " 42.5 %");
  EXPECT_EQ(window.StatusPanelLabel(4)->text(), " 42.5 %");
}

// A handler at the end of the chain that counts the KeyEvents of OK.
struct KeyCounter {
  int keys = 0;
  core::Event Handle(core::EventQueue&, core::Event event) {
    if (event.kind == core::kKeyEvent && event.code == core::keys::kReturn) {
      ++keys;
      return core::ClearEvent();
    }
    return event;
  }
};

TEST(UpdateWindowTest, StartInTheWindowAndReturnPressesOk) {
  testing_support::TempFolder folder;
  folder.Write("Update.ini", "Language=0\r\n");
  folder.Write("ProgDevice.ini",
               "StarttextD=Bitte das Ger\xE4t anschlie\xDF"
               "en\r\nStarttextE=x\r\nAbbruchtextD=\r\nAbbruchtextE=\r\n");
  folder.Write("fw.hex", "");
  platform::sim::SimHost host;
  platform::sim::SimPortSystem ports(host.Time());
  ports.AddLine(1);
  UpdateWindow window;
  update::TUpdateForm form(host, ports, window, testing_support::MakeEnvironment(folder.Path()));
  window.Attach(&form);
  ASSERT_TRUE(form.FormCreate());
  window.show();
  EXPECT_EQ(window.findChild<QPlainTextEdit*>("UpdateMemo")->toPlainText(),
            QString::fromUtf8("Bitte das Gerät anschließen"));
  EXPECT_TRUE(window.findChild<QAction*>("Deutsch")->isChecked());
  EXPECT_EQ(window.findChild<QListWidget*>("DLListBox")->count(), 1);

  KeyCounter counter;
  form.Queue().Subscribe(core::MakeHandler<&KeyCounter::Handle>(&counter));
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(window.findChild<QPlainTextEdit*>("UpdateMemo"), &press);
  EXPECT_EQ(counter.keys, 1) << "Return in the read-only log reaches the default button";
  EXPECT_FALSE(window.findChild<QMenu*>("Sprache")->menuAction()->isEnabled());

  window.close();
  EXPECT_FALSE(window.findChild<QLabel*>("StopPanel")->isHidden()) << "closing shows the stop panel";
  window.Attach(nullptr);
}

// The dictionaries of the demo package: complete for the window (a start in
// either language writes nothing), with the umlauts shown right.
class DemoDictionaryTest : public ::testing::TestWithParam<int> {};

TEST_P(DemoDictionaryTest, CompleteForTheWindow) {
  const int language = GetParam();
  testing_support::TempFolder folder;
  const std::filesystem::path demo = IU_DEMO_DIR;
  for (const char* name : {"ProgDevice.ini", "Update.Deu", "Update.Eng"}) {
    std::filesystem::copy_file(demo / name, folder.Path() / name);
  }
  folder.Write("Update.ini", "Language=" + std::to_string(language) + "\r\n");
  const std::string before = folder.Read(language == 1 ? "Update.Eng" : "Update.Deu");

  platform::sim::SimHost host;
  platform::sim::SimPortSystem ports(host.Time());
  ports.AddLine(1);
  UpdateWindow window;
  update::TUpdateForm form(host, ports, window, testing_support::MakeEnvironment(folder.Path()));
  window.Attach(&form);
  ASSERT_TRUE(form.FormCreate());
  EXPECT_FALSE(form.UpdateSprachDialog().RecordMode());
  EXPECT_FALSE(form.UpdateSprachDialog().DictionaryChanged()) << "an entry is missing";
  EXPECT_EQ(folder.Read(language == 1 ? "Update.Eng" : "Update.Deu"), before);

  auto* group = window.findChild<QGroupBox*>("UpdateGroupBox");
  auto* open = window.findChild<QAction*>("LoadProgFile");
  auto* memo = window.findChild<QPlainTextEdit*>("UpdateMemo");
  if (language == 1) {
    EXPECT_EQ(group->title(), "Device");
    EXPECT_EQ(window.findChild<QMenu*>("Bearbeiten")->title(), "&File");
    EXPECT_EQ(open->text(), "Open program file ...");
    EXPECT_EQ(window.findChild<QPushButton*>("OkBitBtn")->toolTip(), "Start the update");
    EXPECT_TRUE(memo->toPlainText().startsWith("Connect the instrument"));
  } else {
    EXPECT_EQ(group->title(), QString::fromUtf8("Gerät"));
    EXPECT_EQ(open->text(), QString::fromUtf8("Programm-Datei öffnen ..."));
    EXPECT_TRUE(memo->toPlainText().startsWith(QString::fromUtf8("Schließen Sie das Gerät an")));
  }

  // Switching back and forth goes through both dictionaries and changes neither.
  form.LanguageClick(1 - language);
  form.LanguageClick(language);
  EXPECT_EQ(group->title(), language == 1 ? QString("Device") : QString::fromUtf8("Gerät"));
  EXPECT_EQ(folder.Read("Update.Deu"), testing_support::TempFolder::ReadFile(demo / "Update.Deu"));
  EXPECT_EQ(folder.Read("Update.Eng"), testing_support::TempFolder::ReadFile(demo / "Update.Eng"));
  window.Attach(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Languages, DemoDictionaryTest, ::testing::Values(0, 1));

TEST(UpdateWindowTest, WithoutADictionaryTheWindowRecordsOne) {
  testing_support::TempFolder folder;
  folder.Write("Update.ini", "Language=1\r\n");
  folder.Write("ProgDevice.ini", "");
  platform::sim::SimHost host;
  platform::sim::SimPortSystem ports(host.Time());
  ports.AddLine(1);
  UpdateWindow window;
  update::TUpdateForm form(host, ports, window, testing_support::MakeEnvironment(folder.Path()));
  ASSERT_TRUE(form.FormCreate());
  EXPECT_EQ(window.findChild<QGroupBox*>("UpdateGroupBox")->title(), QString::fromUtf8("Gerät"))
      << "captions stay as designed";
  const std::string recorded = folder.Read("Update.Eng");
  EXPECT_NE(recorded.find("[OkBitBtn]=\r\n[Hint][OkBitBtn]:=\r\n"), std::string::npos) << recorded;
  EXPECT_NE(recorded.find("[DevpH720q]=\r\n"), std::string::npos);
  EXPECT_EQ(recorded.find("[UpdateMemo]"), std::string::npos) << "the log is not translated";
}

}  // namespace
