// Starts the window as the program does, presses OK, answers every message
// box with Yes (or OK), and after RUN_MS saves a picture of the window and
// prints what it shows: the log, the instrument fields, the status panels
// and the text of every box that came up. The first box is saved as well.
//   run-screenshot OUT.png RUN_MS [UNTIL_TEXT]
// With UNTIL_TEXT the run ends early, a second after the log shows it.
// While it runs it prints every change of the window title and the progress
// bar with its time, so a check can see both move.
// For checking runs against instrument-sim (docs/check-demo-runs).
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "ToolWindow.h"

namespace {

void Print(const char* label, const QString& text) {
  std::printf("%s%s\n", label, text.toUtf8().constData());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: run-screenshot OUT.png RUN_MS [UNTIL_TEXT]\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  const int runMs = std::atoi(argv[2]);
  const QString untilText = argc == 4 ? QString::fromUtf8(argv[3]) : QString();
  QApplication app(argc, argv);
  app::ToolWindow tool;
  if (!tool.Start()) return 1;
  update::qt::UpdateWindow& window = tool.window;

  int boxes = 0;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    Print("box: ", box->windowTitle() + " | " + box->text());
    if (boxes++ == 0) {
      QString boxFile = out;
      boxFile.replace(".png", "-box.png");
      box->grab().save(boxFile);
    }
    QAbstractButton* button = box->button(QMessageBox::Yes);
    if (!button) button = box->button(QMessageBox::Ok);
    if (button) button->click();
  });
  answer.start(300);

  // Every change of the title and the progress bar, with the seconds since start.
  QElapsedTimer clock;
  clock.start();
  auto trace = [&](const char* what, const QString& value) {
    const std::string label = "trace " + QString::number(clock.elapsed() / 1000.0, 'f', 1).toStdString() +
                              " s " + what + ": ";
    Print(label.c_str(), value);
  };
  QObject::connect(&window, &QWidget::windowTitleChanged, [&](const QString& title) { trace("title", title); });
  if (auto* bar = window.findChild<QProgressBar*>("WaitProgressBar")) {
    QObject::connect(bar, &QProgressBar::valueChanged,
                     [&, bar](int value) { trace("progress", QString("%1 of %2").arg(value).arg(bar->maximum())); });
  }

  QTimer::singleShot(800, &window, [&] {
    if (auto* ok = window.findChild<QPushButton*>("OkBitBtn")) ok->click();
  });
  int result = 1;
  bool finished = false;
  auto finish = [&] {
    if (std::exchange(finished, true)) return;
    result = window.grab().save(out) ? 0 : 1;
    for (const char* name : {"NameStaticText", "SerStaticText", "PCBStaticText", "SWStaticText"}) {
      if (auto* field = window.findChild<QLabel*>(name))
        Print((std::string(name) + ": ").c_str(), field->text());
    }
    for (int panel = 0; panel < update::kStatusPanelCount; ++panel) {
      if (QLabel* label = window.StatusPanelLabel(panel)) {
        Print(("panel " + std::to_string(panel) + ": ").c_str(), label->text());
      }
    }
    if (auto* memo = window.findChild<QPlainTextEdit*>("UpdateMemo")) Print("log:\n", memo->toPlainText());
    if (auto* ok = window.findChild<QPushButton*>("OkBitBtn"))
      std::printf("OK enabled: %d\n", ok->isEnabled());
    std::fflush(stdout);
    window.close();
  };
  QTimer::singleShot(800 + runMs, &window, finish);
  QTimer until;
  if (!untilText.isEmpty()) {
    QObject::connect(&until, &QTimer::timeout, [&] {
      auto* memo = window.findChild<QPlainTextEdit*>("UpdateMemo");
      if (!memo || !memo->toPlainText().contains(untilText)) return;
      until.stop();
      QTimer::singleShot(1000, &window, finish);
    });
    until.start(200);
  }
  app.exec();
  return result;
}
