#include "side_by_side.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace mivra_bench {

double Now() {
  using Clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

double TimeOnce(const std::function<void()>& work) {
  const double start = Now();
  work();
  return Now() - start;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

Figure FigureFromPairs(const std::string& name, const std::string& unit, RatioOf ratioOf,
                       const std::vector<std::pair<double, double>>& pairs) {
  Figure figure;
  figure.name = name;
  figure.unit = unit;
  figure.rounds = static_cast<int>(pairs.size());
  std::vector<double> values, references, ratios;
  for (const auto& [value, reference] : pairs) {
    values.push_back(value);
    references.push_back(reference);
    const double ratio = ratioOf == RatioOf::kValueOverReference ? value / reference : reference / value;
    ratios.push_back(ratio);
  }
  figure.value = Median(values);
  figure.reference = Median(references);
  figure.ratio = Median(ratios);
  if (!ratios.empty()) {
    figure.ratioLow = *std::min_element(ratios.begin(), ratios.end());
    figure.ratioHigh = *std::max_element(ratios.begin(), ratios.end());
  }
  return figure;
}

Figure CompareSideBySide(const std::string& name, const std::string& unit, int rounds, RatioOf ratioOf,
                         const std::function<double()>& library, const std::function<double()>& reference,
                         const std::function<void()>& setup) {
  std::vector<std::pair<double, double>> pairs;
  for (int round = 0; round < rounds; ++round) {
    double value = 0, ref = 0;
    const auto measure = [&setup](const std::function<double()>& what) {
      if (setup) setup();
      return what();
    };
    if (round % 2 == 0) {
      value = measure(library);
      ref = measure(reference);
    } else {
      ref = measure(reference);
      value = measure(library);
    }
    pairs.emplace_back(value, ref);
  }
  return FigureFromPairs(name, unit, ratioOf, pairs);
}

Figure AsRate(Figure figure, double amount, const std::string& unit) {
  figure.value = amount / figure.value;
  figure.reference = amount / figure.reference;
  figure.unit = unit;
  return figure;
}

Figure Scaled(Figure figure, double factor, const std::string& unit) {
  figure.value *= factor;
  figure.reference *= factor;
  figure.unit = unit;
  return figure;
}

Figure WithGoal(Figure figure, double goal) {
  figure.goal = goal;
  return figure;
}

std::string FormatFigure(const Figure& figure) {
  char line[640];
  int length = std::snprintf(line, sizeof(line),
                             "%s: %.4g %s (reference: %.4g %s) ratio %.2f (spread %.2f-%.2f over %d rounds)",
                             figure.name.c_str(), figure.value, figure.unit.c_str(), figure.reference,
                             figure.unit.c_str(), figure.ratio, figure.ratioLow, figure.ratioHigh, figure.rounds);
  if (figure.goal > 0 && length > 0 && static_cast<size_t>(length) < sizeof(line)) {
    std::snprintf(line + length, sizeof(line) - length, " goal <= %.2f: %s", figure.goal,
                  figure.ratio <= figure.goal ? "met" : "NOT met");
  }
  return line;
}

void PrintFigure(const Figure& figure) {
  std::printf("%s\n", FormatFigure(figure).c_str());
  std::fflush(stdout);
}

long SettingFromEnvironment(const char* name, long fallback) {
  const char* text = std::getenv(name);
  if (!text || !*text) return fallback;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  return (*end == '\0' && value > 0) ? value : fallback;
}

}  // namespace mivra_bench
