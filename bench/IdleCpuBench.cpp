// How much processor the waits cost on the real platform. The program spends
// nearly all its time waiting (for an instrument's answer, between blocks of
// a download); a wait must sleep in the event loop, not poll the clock.
//
// Figures: CPU seconds per wall second of
//  - a 2 s DelayTime with message processing, with a timer ticking every
//    50 ms meanwhile (so the wait really handles messages);
//  - 2 s of the programmer loop pattern: DrainEvents, then WaitForMessages,
//    with the same timer posting a TimerEvent per tick.
#include <sys/resource.h>
#include <time.h>

#include <QApplication>
#include <cstdio>
#include <memory>

#include "core/DrainEvents.h"
#include "core/TimerSlots.h"
#include "platform/qt/QtHost.h"
#include "serial/TDelay.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double WallSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

struct Counter {
  int ticks = 0;
  core::Event Handle(core::EventQueue&, core::Event event) {
    if (event.kind == core::kTimerEvent) {
      ++ticks;
      return core::ClearEvent();
    }
    return event;
  }
};

void Report(const char* name, double cpu, double wall, int ticks) {
  std::printf("%s: %.4f cpu-s/wall-s (goal <= 0.01) [%.2f s wall, %d ticks handled]\n", name, cpu / wall, wall,
              ticks);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  platform::qt::QtHost host;
  core::EventQueue queue;
  int guiBusy = 0;
  core::TimerSlots timerSlots(queue, [&] { core::DrainEvents(queue, guiBusy, host.Pump()); });
  auto timer = host.CreateTimer();
  timer->SetTag(1);
  timerSlots.RegisterTimers({timer.get()});
  Counter counter;
  queue.Subscribe(core::MakeHandler<&Counter::Handle>(&counter));
  serial::TDelay wait(host.GetClock(), host.Pump());
  wait.SetEnable(true);

  {
    const int slot = timerSlots.StartSlot(50);
    const double cpu0 = CpuSeconds(), wall0 = WallSeconds();
    wait.DelayTime(2000, true);
    const double cpu = CpuSeconds() - cpu0, wall = WallSeconds() - wall0;
    timerSlots.StopSlot(slot);
    Report("delay_time_2s_with_messages", cpu, wall, counter.ticks);
  }
  {
    counter.ticks = 0;
    const int slot = timerSlots.StartSlot(50);
    const uint32_t end = host.GetClock().TickCount() + 2000;
    const double cpu0 = CpuSeconds(), wall0 = WallSeconds();
    while (!platform::TickReached(host.GetClock().TickCount(), end)) {
      core::DrainEvents(queue, guiBusy, host.Pump());
      host.Pump().WaitForMessages();
    }
    const double cpu = CpuSeconds() - cpu0, wall = WallSeconds() - wall0;
    timerSlots.StopSlot(slot);
    Report("drain_and_wait_loop_2s", cpu, wall, counter.ticks);
  }
  return 0;
}
