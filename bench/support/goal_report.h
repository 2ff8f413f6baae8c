#pragma once

// The issue-level goals of a benchmark program, printed after the usual table as each median
// beside its yardstick, so that one run answers "met or not" without arithmetic by hand.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace lumarex::bench {

struct Goal {
  std::string run;        // the start of the benchmark's name as printed
  std::string what;       // one line of text naming the goal
  std::string counter;    // the counter that holds the figure
  bool atLeast = true;    // the figure must reach the limit (else: stay below it)
  double limit = 0;       //
  std::string yardstick;  // counter printed beside it ("" for none)
};

// A console reporter that keeps the medians and ends with the goals.
class GoalReporter : public benchmark::ConsoleReporter {
 public:
  explicit GoalReporter(std::vector<Goal> goals) : goals_(std::move(goals)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
        medians_[r.run_name.str()] = r;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    bool header = false;
    for (const Goal& g : goals_) {
      // Matched by prefix: the printed names carry suffixes such as "/manual_time".
      auto found = medians_.lower_bound(g.run);
      if (found == medians_.end() || found->first.rfind(g.run, 0) != 0) continue;
      const auto& counters = found->second.counters;
      const auto figure = counters.find(g.counter);
      if (figure == counters.end()) continue;
      if (!header) {
        std::printf("\nGoals (medians of %lld repetitions):\n",
                    static_cast<long long>(found->second.repetitions));
        header = true;
      }
      const double value = figure->second.value;
      const bool met = g.atLeast ? value >= g.limit : value < g.limit;
      std::string beside;
      if (const auto y = counters.find(g.yardstick); y != counters.end()) {
        char text[96];
        std::snprintf(text, sizeof text, " (%s %.3g)", g.yardstick.c_str(), y->second.value);
        beside = text;
      }
      std::printf("  %-52s %s = %.3g%s, goal %s %.3g: %s\n", g.what.c_str(), g.counter.c_str(),
                  value, beside.c_str(), g.atLeast ? ">=" : "<", g.limit, met ? "met" : "NOT met");
    }
    std::fflush(stdout);
  }

 private:
  std::vector<Goal> goals_;
  std::map<std::string, Run> medians_;
};

}  // namespace lumarex::bench
