// P3: program start to the first painted window, on Qt's offscreen
// platform, with the peak resident memory.
//   bench_startup [--size=tiny] [--program-dir=DIR]
// The parent creates the library tables ("kyozai") in a scratch directory,
// then starts itself again there with --measure and waits for it; the
// child builds the window as the program does, shows it and exits at once
// after the first paint. The time runs from just before the child is
// started to that paint; the peak resident set is the child's. One JSON
// line (see workload_support.h), in milliseconds.
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QEvent>
#include <QTimer>
#include <cstdio>
#include <string>

#include "app/program_library.h"
#include "app/qt/application.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_services.h"
#include "bench/workload_support.h"
#include "main_form/main_form.h"

namespace sorabeku::bench {
namespace {

using kura::bench::Arg;

std::int64_t MonotonicNanoseconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Quits the application once the first paint has been delivered.
class FirstPaint final : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !seen_) {
      seen_ = true;
      QTimer::singleShot(0, [] {
        const char* t0 = std::getenv("BENCH_T0_NS");
        const std::int64_t start = t0 != nullptr ? std::atoll(t0) : 0;
        std::printf("painted_ns=%lld\n",
                    static_cast<long long>(MonotonicNanoseconds() - start));
        std::fflush(stdout);
        QCoreApplication::quit();
      });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool seen_ = false;
};

int Measure(int argc, char** argv) {
  const std::string dirArg = Arg(argc, argv, "program-dir");
  SorabekuApplication app(argc, argv);
  QtServices platform;
  // As the program: the data module over ./kyozai exists before the window.
  ProgramLibrary library;
  MainForm form(platform.services(), dirArg.empty() ? ProgramDirectory() : dirArg);
  library.Install(form);
  TForm2 window(form);
  platform.setWindow(&window);
  FirstPaint watcher;
  app.installEventFilter(&watcher);
  window.Run([&] { form.Create(); });
  window.show();
  return app.exec();
}

// Runs the measuring child in the current directory; returns its output.
int RunChild(char* self, const std::string& programDir, std::string& out, rusage& usage) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return -1;
  const std::string t0 = std::to_string(MonotonicNanoseconds());
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFds[1], 1);
    close(pipeFds[0]);
    setenv("BENCH_T0_NS", t0.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string dirArg = "--program-dir=" + programDir;
    execl(self, self, "--measure", dirArg.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeFds[1]);
  char buf[4096];
  ssize_t n;
  while ((n = read(pipeFds[0], buf, sizeof buf)) > 0) out.append(buf, std::size_t(n));
  close(pipeFds[0]);
  int status = 0;
  wait4(pid, &status, 0, &usage);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int Main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--measure") return Measure(argc, argv);
  }
  kura::bench::Sizes sizes = kura::bench::SizesFromArgs(argc, argv);
  std::string programDir = Arg(argc, argv, "program-dir");
  if (programDir.empty()) {
    // The program's assets are beside the program, not beside the benchmark.
    std::string self(argv[0]);
    programDir = self.substr(0, self.rfind('/') + 1) + "../app/qt/";
  }
  char selfPath[4096];
  const ssize_t len = readlink("/proc/self/exe", selfPath, sizeof selfPath - 1);
  if (len <= 0) return 1;
  selfPath[len] = 0;

  kura::bench::Workspace space;
  kura::bench::CreateKuraFigure(kura::bench::MakeFigureRows(sizes));
  kura::bench::CreateKuraMokuji(sizes.problems);
  std::string out;
  rusage usage{};
  const int status = RunChild(selfPath, programDir, out, usage);
  const auto at = out.find("painted_ns=");
  if (status != 0 || at == std::string::npos) {
    std::fprintf(stderr, "bench_startup: the window did not paint (status %d)\n%s", status,
                 out.c_str());
    return 1;
  }
  kura::bench::Result r{"P3", "ms"};
  r.operations = 1;
  r.kura = double(std::atoll(out.c_str() + at + 11)) / 1e6;
  r.kuraCpu = (double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
               double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3);
  r.note = "peak RSS " + std::to_string(usage.ru_maxrss / 1024) + " MiB";
  kura::bench::Print(r);
  return 0;
}

}  // namespace
}  // namespace sorabeku::bench

int main(int argc, char** argv) { return sorabeku::bench::Main(argc, argv); }
