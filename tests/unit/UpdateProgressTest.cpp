// Percentage in the title and the status bar, the progress commands, the
// title-timer estimate, and reports from another thread.
#include <gtest/gtest.h>

#include <thread>

#include "PackageFolder.h"
#include "RecordingView.h"
#include "platform/sim/SimHost.h"
#include "platform/sim/SimPortSystem.h"
#include "update/TUpdateForm.h"

namespace {

using testing_support::MakeEnvironment;
using testing_support::RecordingView;
using testing_support::TempFolder;
using update::TUpdateForm;

class UpdateProgressTest : public ::testing::Test {
 protected:
  UpdateProgressTest() : m_form(m_host, m_portSystem, m_view, MakeEnvironment(m_folder.Path())) {}

  TempFolder m_folder;
  platform::sim::SimHost m_host;
  platform::sim::SimPortSystem m_portSystem{m_host.Time()};
  RecordingView m_view;
  TUpdateForm m_form;
};

TEST_F(UpdateProgressTest, ShowPercentCases) {
  EXPECT_EQ(m_form.ShowPercent("", 42.5f), " 42.5 %");
  EXPECT_EQ(m_view.title, "Update [ 42.5 %]");
  EXPECT_EQ(m_view.panels[4], " 42.5 %");

  EXPECT_EQ(m_form.ShowPercent("Flash", 250), " 100.0 %");
  EXPECT_EQ(m_view.panels[4], "Flash 100.0 %");
  EXPECT_EQ(m_view.title, "Update [ 100.0 %]");

  EXPECT_EQ(m_form.ShowPercent("", 3), " 3.0 %") << "at least three characters wide";

  m_form.ShowPercent("", -1);
  EXPECT_EQ(m_view.title, "Update");
  EXPECT_EQ(m_view.panels[4], "");

  m_form.ShowPercent("", -1000);
  EXPECT_EQ(m_view.title, "Update [beendet]");
  EXPECT_EQ(m_view.panels[4], "Update [beendet]");

  m_form.ShowPercent("", -5);
  EXPECT_EQ(m_view.title, "Update [ -5.0 %]") << "not a special value: shown as it is";
}

TEST_F(UpdateProgressTest, EnglishEndText) {
  m_folder.Write("Update.ini", "Language=1\r\n");
  ASSERT_EQ(m_form.ReadUpdateIni("Update.ini"), 0);
  m_form.ShowPercent("", -1000);
  EXPECT_EQ(m_view.title, "Update [ready]");
  EXPECT_EQ(m_view.panels[4], "Update [ready]");
}

TEST_F(UpdateProgressTest, ReportProgressCommands) {
  m_form.ReportProgress(2, 120);
  m_form.ReportProgress(0, 30);
  m_form.ReportProgress(3, 10);
  EXPECT_EQ(m_form.ProgressPosition(), 40);
  EXPECT_EQ(m_view.progressPosition, 40);
  EXPECT_EQ(m_view.progressMax, 120);
  EXPECT_EQ(m_view.panels[4], " 33.3 %");

  m_form.ReportProgress(23, 50);
  EXPECT_EQ(m_view.panels[4], " 52.5 %");
  m_form.ReportProgress(10, 7);
  EXPECT_EQ(m_view.panels[4], " 7.0 %");
  m_form.ReportProgress(22, 99);
  EXPECT_EQ(m_view.panels[4], " 99.0 %");

  m_form.ReportProgress(20, 5);
  m_form.ReportProgress(1, m_form.ProgressPosition() + 1);
  EXPECT_EQ(m_form.ProgressPosition(), 46);
  m_form.ReportProgress(21, 500);
  EXPECT_EQ(m_form.ProgressPosition(), 120) << "held at the maximum as the bar holds it";

  const auto titles = m_view.titles.size();
  m_form.ReportProgress(7, 1);
  EXPECT_EQ(m_form.ProgressPosition(), 120);
  EXPECT_EQ(m_view.titles.size(), titles) << "an unknown command does nothing";

  m_form.ReportProgress(2, 0);
  m_form.ReportProgress(3, 1);
  EXPECT_EQ(m_view.panels[4], " 0.0 %") << "an empty bar shows 0 instead of dividing by zero";
}

TEST_F(UpdateProgressTest, TitleTimerEstimate) {
  m_form.ResetTitleEstimate(50);
  m_form.TitleTimer().SetEnabled(true);
  m_host.Time().RunFor(25 * 300);
  EXPECT_EQ(m_form.Run().TitleTicks, 25);
  EXPECT_EQ(m_view.title, "Update [ 50.0 %]");
  m_host.Time().RunFor(35 * 300);
  EXPECT_EQ(m_form.Run().TitleTicks, 60);
  EXPECT_EQ(m_view.title, "Update [ 100.0 %]");
  m_form.TitleTimer().SetEnabled(false);

  m_form.ResetTitleEstimate(0);
  m_form.TitleTimerTimer(m_form.TitleTimer());
  EXPECT_EQ(m_view.title, "Update [ 100.0 %]") << "no basis: full from the first tick";
}

TEST_F(UpdateProgressTest, ReportsFromAnotherThreadRunOnTheGuiThread) {
  m_form.ReportProgress(2, 105);
  std::thread worker([this] {
    m_form.ReportProgress(20, 1);
    m_form.ReportProgress(23, 50);
  });
  worker.join();
  EXPECT_EQ(m_form.ProgressPosition(), 0) << "nothing touched the display from the worker";
  EXPECT_EQ(m_host.Time().PendingMessages(), 2u);
  m_host.Time().ProcessMessages();
  EXPECT_EQ(m_form.ProgressPosition(), 1);
  EXPECT_EQ(m_view.panels[4], " 52.5 %");
}

TEST(UpdateProgressLifetimeTest, AReportPostedAfterTheFormIsGoneIsDropped) {
  TempFolder folder;
  platform::sim::SimHost host;
  platform::sim::SimPortSystem ports(host.Time());
  RecordingView view;
  {
    TUpdateForm form(host, ports, view, MakeEnvironment(folder.Path()));
    std::thread([&form] { form.ReportProgress(10, 5); }).join();
  }
  host.Time().ProcessMessages();
  EXPECT_TRUE(view.titles.empty());
}

}  // namespace
