// Side-by-side timing for `make bench`: the library's figure and its reference are measured
// alternately in the same run, round after round, and reported as medians with the spread of
// the ratio, because one measurement on a shared machine says little.
#ifndef MIVRA_TOOLS_BENCH_SIDE_BY_SIDE_H_
#define MIVRA_TOOLS_BENCH_SIDE_BY_SIDE_H_

#include <functional>
#include <string>
#include <vector>

namespace mivra_bench {

// Seconds since an arbitrary start, from a steady clock.
double Now();

// Seconds taken by one call of `work`.
double TimeOnce(const std::function<void()>& work);

struct Figure {
  std::string name;
  std::string unit;
  double value = 0;      // median of the library's measurements
  double reference = 0;  // median of the reference's measurements
  double ratio = 0;      // median of the per-round ratios
  double ratioLow = 0;
  double ratioHigh = 0;
  int rounds = 0;
  double goal = 0;  // the ratio the figure must not exceed; 0: none, only held
};

// How a round's two measurements become a ratio.
enum class RatioOf {
  kValueOverReference,  // times: the library's time over the reference's
  kReferenceOverValue,  // rates from times: how many times as fast as the reference
};

// Runs `rounds` rounds of `library` and `reference`, which return one measurement each (seconds,
// or whatever `unit` says), the one that goes first alternating between rounds. `setup`, when
// given, runs untimed before each measurement.
Figure CompareSideBySide(const std::string& name, const std::string& unit, int rounds, RatioOf ratioOf,
                         const std::function<double()>& library, const std::function<double()>& reference,
                         const std::function<void()>& setup = nullptr);

// Builds a figure from pairs measured elsewhere (value, reference), one pair per round.
Figure FigureFromPairs(const std::string& name, const std::string& unit, RatioOf ratioOf,
                       const std::vector<std::pair<double, double>>& pairs);

// Turns every measurement of a figure from seconds into a rate: `amount` / seconds.
Figure AsRate(Figure figure, double amount, const std::string& unit);

// Scales value and reference (for instance seconds to milliseconds) without touching the ratio.
Figure Scaled(Figure figure, double factor, const std::string& unit);

// The same figure with the ratio it must reach.
Figure WithGoal(Figure figure, double goal);

// "name: value unit (reference: value unit) ratio R (spread L-H over N rounds)", then, with a goal,
// "goal <= G: met" or "goal <= G: NOT met".
std::string FormatFigure(const Figure& figure);
void PrintFigure(const Figure& figure);

// A positive integer from the environment, or `fallback` when unset or not a number.
long SettingFromEnvironment(const char* name, long fallback);

double Median(std::vector<double> values);

}  // namespace mivra_bench

#endif  // MIVRA_TOOLS_BENCH_SIDE_BY_SIDE_H_
