// Runs every workload in its own process and prints one table: workload,
// our figure, SQLite's in its three journal modes (default rollback journal,
// journal_mode=MEMORY, journal_mode=WAL), the ratios of CPU times and the
// goal, judged against the MEMORY column.
//   bench_report [--size=tiny] [--problems=N] [--scaling=N,M,...] [--out=FILE]
//                [--bin=DIR] [--strace=auto|off]
// --problems sets the table size of every workload (default 3 000
// problems); --scaling runs W3, W7 and P1 again at each of the given
// numbers of problems and adds a table of their growth. --bin is the
// folder of the benchmark programs (default: this program's); --out also
// writes the tables (Markdown) to FILE. With strace present, the system
// calls per operation of W1 and W5 are counted in extra runs.
// Exit status 0 when every workload ran and printed its figures (goals
// missed do not count), 1 otherwise; 2 for a bad argument.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace {

using nlohmann::json;

struct Workload {
  const char* id;
  const char* program;
  const char* what;
  const char* goal;     // text shown
  double limit;         // the goal's number
  bool ratioGoal;       // the limit applies to the ratio, else to our figure
};

const Workload kWorkloads[] = {
    {"W1", "bench_workloads", "append one row per post, live result", "ratio ≤ 1.0", 1.0, true},
    {"W2", "bench_workloads", "100 000 appends in one transaction", "ratio ≤ 1.0", 1.0, true},
    {"W3", "bench_workloads", "problem statement, random MNB, all rows", "ratio ≤ 0.5", 0.5,
     true},
    {"W4", "bench_workloads", "full scan, unindexed condition", "rows/s ≥ SQLite", 1.0, true},
    {"W5", "bench_workloads", "edit one field and post, random row", "ratio ≤ 0.5", 0.5, true},
    {"W6", "bench_workloads", "Locate TNB in an open problem result", "< 5 µs", 5.0, false},
    {"W7", "bench_workloads", "contents statement of a section", "ratio ≤ 1.0", 1.0, true},
    {"W2D", "bench_workloads", "W2 with durability on (SQLite synchronous=FULL)", "—", 0, true},
    {"R3", "bench_workloads", "registration: 3 figure rows + 1 mokuji row, one transaction", "—", 0, true},
    {"R3D", "bench_workloads", "R3 with durability on (SQLite synchronous=FULL)", "—", 0, true},
    {"P1", "bench_program", "LoadProblem, a 300-row problem", "< 1 ms", 1.0, false},
    {"P2", "bench_program", "one AdvanceOneMove", "—", 0, false},
    {"P3", "bench_startup", "start to first painted window", "< 500 ms", 500.0, false},
};

struct Child {
  int status = -1;
  std::string out;
  double wall = 0, cpu = 0;
};

Child Run(const std::vector<std::string>& argv) {
  Child c;
  int fds[2];
  if (pipe(fds) != 0) return c;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  char buf[4096];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) c.out.append(buf, std::size_t(n));
  close(fds[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  c.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  c.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
          double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
  c.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return c;
}

std::string Arg(int argc, char** argv, const std::string& name, const std::string& fallback) {
  const std::string prefix = "--" + name + "=";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind(prefix, 0) == 0) return a.substr(prefix.size());
  }
  return fallback;
}

std::string Format(double v) {
  char b[32];
  if (v < 0) return "—";
  if (v >= 100000) {
    std::snprintf(b, sizeof b, "%.3g", v);
  } else if (v >= 100) {
    std::snprintf(b, sizeof b, "%.0f", v);
  } else if (v >= 1) {
    std::snprintf(b, sizeof b, "%.2f", v);
  } else {
    std::snprintf(b, sizeof b, "%.3f", v);
  }
  return b;
}

// The first JSON object line of a child's output.
bool ParseResult(const std::string& out, json& result) {
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line[0] == '{') {
      result = json::parse(line, nullptr, false);
      return !result.is_discarded();
    }
  }
  return false;
}

// Ratio of times, ours ÷ SQLite's (for rows per second: SQLite's rate ÷
// ours); -1 without a SQLite figure.
double Ratio(const json& r, const char* ours, const char* theirs) {
  const double k = r.value(ours, -1.0), s = r.value(theirs, -1.0);
  if (k <= 0 || s <= 0) return -1;
  return r.value("unit", "") == "rows/s" ? s / k : k / s;
}

// The same workloads at other sizes: one line per workload, our CPU figure
// at each size and its growth over the first size.
const char* const kScaled[][2] = {{"W3", "bench_workloads"},
                                  {"W7", "bench_workloads"},
                                  {"P1", "bench_program"}};

std::vector<int> Numbers(const std::string& list) {
  std::vector<int> out;
  std::istringstream in(list);
  std::string item;
  while (std::getline(in, item, ',')) {
    const int n = std::atoi(item.c_str());
    if (n < 20) return {};
    out.push_back(n);
  }
  return out;
}

std::string Thousands(int n) {
  std::string s = std::to_string(n);
  for (int i = int(s.size()) - 3; i > 0; i -= 3) s.insert(std::size_t(i), " ");
  return s;
}

// Total system calls in a `strace -c` summary (the "total" line).
long StraceTotal(const std::string& file) {
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::vector<std::string> f;
    std::string w;
    while (fields >> w) f.push_back(w);
    if (!f.empty() && f.back() == "total" && f.size() >= 4) return std::stol(f[3]);
  }
  return -1;
}

// System calls per operation of one side of a workload: the difference of
// two runs on the small table, with N operations and with none.
double SyscallsPerOp(const std::string& bin, const char* workload, const char* side, int ops) {
  long totals[2];
  for (int i = 0; i < 2; ++i) {
    const std::string file = "/tmp/kura-bench-strace-" + std::to_string(getpid());
    const Child c = Run({"strace", "-f", "-c", "-e", "trace=!clock_gettime", "-o", file,
                         bin + "/bench_workloads", std::string("--workload=") + workload,
                         "--size=tiny", "--journals=default", std::string("--side=") + side,
                         "--ops=" + std::to_string(i == 0 ? ops : 0)});
    totals[i] = c.status == 0 ? StraceTotal(file) : -1;
    std::remove(file.c_str());
    if (totals[i] < 0) return -1;
  }
  return double(totals[0] - totals[1]) / ops;
}

std::string SelfDir(const char* argv0) {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string self = n > 0 ? std::string(path, std::size_t(n)) : std::string(argv0);
  return self.substr(0, self.rfind('/'));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string size = Arg(argc, argv, "size", "full");
  const std::string bin = Arg(argc, argv, "bin", SelfDir(argv[0]));
  const std::string outFile = Arg(argc, argv, "out", "");
  const bool tryStrace = Arg(argc, argv, "strace", "auto") != "off";
  const std::string problems = Arg(argc, argv, "problems", "");
  const std::string scalingArg = Arg(argc, argv, "scaling", "");
  const std::vector<int> scaling = Numbers(scalingArg);
  if ((!problems.empty() && Numbers(problems).size() != 1) ||
      (!scalingArg.empty() && scaling.empty())) {
    std::fprintf(stderr, "bench_report: --problems wants a number, --scaling a list of "
                         "numbers (each at least 20)\n");
    return 2;
  }
  const auto begin = std::chrono::steady_clock::now();

  std::ostringstream table;
  table << "| workload | what | unit | Kura CPU | SQLite CPU default | MEMORY | WAL "
           "| ratio default | ratio MEMORY | ratio WAL | ratio MEMORY (wall) | goal | met? |\n"
        << "| --- | --- | --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: "
           "| --- | --- |\n";
  bool allRan = true;
  for (const Workload& w : kWorkloads) {
    std::vector<std::string> args = {bin + "/" + w.program, std::string("--workload=") + w.id};
    if (size == "tiny") args.push_back("--size=tiny");
    if (!problems.empty()) args.push_back("--problems=" + problems);
    const Child c = Run(args);
    json r;
    // Every workload must give our figure, and SQLite's where it has one.
    const bool printed = ParseResult(c.out, r) && r.value("kura", -1.0) > 0 &&
                         (w.id[0] != 'W' || r.value("sqlite", -1.0) > 0);
    if (c.status != 0 || !printed) {
      std::fprintf(stderr, "bench_report: %s failed (status %d)\n%s", w.id, c.status,
                   c.out.c_str());
      table << "| " << w.id << " | " << w.what << " | | failed | | | | | | | | " << w.goal
            << " | no |\n";
      allRan = false;
      continue;
    }
    const double kuraCpu = r.value("kura_cpu", -1.0);
    const double memoryRatio = Ratio(r, "kura_cpu", "sqlite_memory_cpu");
    std::string met = "—";
    if (w.limit > 0) {
      // CPU times: the machine may be shared, and a wait is not our cost.
      const double v = w.ratioGoal ? memoryRatio : kuraCpu;
      // Ratio goals are "at most", figures "under".
      const bool ok = v >= 0 && (w.ratioGoal ? v <= w.limit : v < w.limit);
      met = ok ? "yes" : "no";
    }
    std::string what = w.what;
    const std::string note = r.value("note", "");
    if (!note.empty()) what += " (" + note + ")";
    table << "| " << w.id << " | " << what << " | " << r.value("unit", "") << " | "
          << Format(kuraCpu) << " | " << Format(r.value("sqlite_cpu", -1.0)) << " | "
          << Format(r.value("sqlite_memory_cpu", -1.0)) << " | "
          << Format(r.value("sqlite_wal_cpu", -1.0)) << " | "
          << Format(Ratio(r, "kura_cpu", "sqlite_cpu")) << " | " << Format(memoryRatio)
          << " | " << Format(Ratio(r, "kura_cpu", "sqlite_wal_cpu")) << " | "
          << Format(Ratio(r, "kura", "sqlite_memory")) << " | " << w.goal << " | " << met
          << " |\n";
    std::fprintf(stderr, "%s done in %.1f s wall, %.1f s CPU\n", w.id, c.wall, c.cpu);
  }

  std::ostringstream scaled;
  if (!scaling.empty()) {
    const int base = problems.empty() ? 3000 : std::atoi(problems.c_str());
    std::vector<int> sizes = {base};
    sizes.insert(sizes.end(), scaling.begin(), scaling.end());
    scaled << "\nThe same workloads on larger tables (CPU time per operation; the "
              "problems and results keep their size; growth is the figure over the one "
              "at "
           << Thousands(base) << " problems, goal ≤ 1.2):\n\n| workload | side";
    for (int n : sizes) scaled << " | " << Thousands(n);
    for (std::size_t i = 1; i < sizes.size(); ++i) scaled << " | growth " << Thousands(sizes[i]);
    scaled << " |\n| --- | ---";
    for (std::size_t i = 0; i < 2 * sizes.size() - 1; ++i) scaled << " | ---:";
    scaled << " |\n";
    for (const auto& w : kScaled) {
      std::vector<double> ours, theirs;
      for (int n : sizes) {
        const Child c = Run({bin + "/" + w[1], std::string("--workload=") + w[0],
                             "--problems=" + std::to_string(n), "--journals=default"});
        json r;
        const bool ok = c.status == 0 && ParseResult(c.out, r);
        if (!ok) allRan = false;
        ours.push_back(ok ? r.value("kura_cpu", -1.0) : -1);
        theirs.push_back(ok ? r.value("sqlite_cpu", -1.0) : -1);
        std::fprintf(stderr, "%s at %d problems done in %.1f s wall\n", w[0], n, c.wall);
      }
      for (int side = 0; side < 2; ++side) {
        const std::vector<double>& v = side == 0 ? ours : theirs;
        if (side == 1 && v[0] <= 0) continue;  // no SQLite figure (P1)
        scaled << "| " << w[0] << " | " << (side == 0 ? "Kura" : "SQLite");
        for (double x : v) scaled << " | " << Format(x);
        for (std::size_t i = 1; i < v.size(); ++i) {
          scaled << " | " << Format(v[0] > 0 && v[i] > 0 ? v[i] / v[0] : -1);
        }
        scaled << " |\n";
      }
    }
  }

  std::ostringstream syscalls;
  const bool haveStrace = tryStrace && Run({"strace", "-V"}).status == 0;
  if (haveStrace) {
    const int ops = size == "tiny" ? 20 : 500;
    syscalls << "\nSystem calls per operation (strace -c -f, clock_gettime of the stopwatch "
                "left out, "
             << ops << " operations on the small table minus a run with none):\n\n"
             << "| workload | Kura | SQLite |\n| --- | ---: | ---: |\n";
    for (const char* id : {"W1", "W5"}) {
      syscalls << "| " << id << " | " << Format(SyscallsPerOp(bin, id, "kura", ops)) << " | "
               << Format(SyscallsPerOp(bin, id, "sqlite", ops)) << " |\n";
    }
  } else {
    syscalls << "\nSystem calls per operation: not counted ("
             << (tryStrace ? "strace is not available" : "--strace=off") << ").\n";
  }

  const double total =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  char stamp[64];
  const std::time_t now = std::time(nullptr);
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
  std::ostringstream all;
  all << "Measured " << stamp << " on " << sysconf(_SC_NPROCESSORS_ONLN) << " cores, size "
      << size << (problems.empty() ? "" : ", " + Thousands(std::atoi(problems.c_str())) +
                                              " problems")
      << "; whole command " << Format(total) << " s.\n\n"
      << table.str() << scaled.str() << syscalls.str();
  std::printf("%s", all.str().c_str());
  if (!outFile.empty()) std::ofstream(outFile) << all.str();
  return allRan ? 0 : 1;
}
