#include "range/bridge/dynamic_bridge.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "numeric/fixed_chunks.h"
#include "range/bridge/triplet_likelihood.h"

namespace orvex::range {

namespace {

// Starting fixes per chunk of the parts' maxima: enough work per chunk (some 7 maxima per start)
// to outweigh the hand-out, and enough chunks to keep both threads busy on a few hundred fixes.
constexpr std::size_t kStartsPerChunk = 64;

struct PartMaximum {
  double sigma1 = 0.0;
  double log_likelihood = 0.0;
  bool held = false;  // the part holds a triplet; the others carry no model
};

void check_options(const DynamicOptions& options) {
  const std::string window = std::to_string(options.window);
  const std::string margin = std::to_string(options.margin);
  if (options.window % 2 == 0) throw std::invalid_argument("the window (" + window + " fixes) must be odd");
  if (options.margin % 2 == 0 || options.margin < 3)
    throw std::invalid_argument("the margin (" + margin + " fixes) must be odd and 3 or more");
  if (options.window <= 2 * options.margin)
    throw std::invalid_argument("the window (" + window + " fixes) must be longer than twice the margin (" +
                                margin + ")");
  if (!(options.max_gap >= 0.0))
    throw std::invalid_argument("the largest gap must be a number of seconds, 0 or more");
}

// The maxima of every part that starts at a fix and holds one of the lengths a window's sides
// and the window itself take: margin, margin + 2, ..., window - margin + 1, and window.
class PartTable {
 public:
  PartTable(const BridgeTrack& track, const DynamicOptions& options)
      : fixes_(track.size()),
        margin_(options.margin),
        window_(options.window),
        lengths_((options.window - 2 * options.margin + 1) / 2 + 2),
        parts_(fixes_ * lengths_) {
    std::vector<std::optional<Triplet>> observations(fixes_);
    for (std::size_t i = 1; i + 1 < fixes_; ++i) observations[i] = triplet_at(track, i, options.max_gap);
    const std::size_t chunks = (fixes_ + kStartsPerChunk - 1) / kStartsPerChunk;
    numeric::run_fixed_chunks(chunks, options.threads, [&](std::size_t chunk) {
      std::vector<Triplet> held;
      const std::size_t end = std::min(fixes_, (chunk + 1) * kStartsPerChunk);
      for (std::size_t start = chunk * kStartsPerChunk; start < end; ++start) {
        for (std::size_t k = 0; k < lengths_; ++k) {
          const std::size_t length = length_of(k);
          if (start + length > fixes_) continue;
          held.clear();
          for (std::size_t i = start + 1; i + 1 < start + length; i += 2)
            if (observations[i]) held.push_back(*observations[i]);
          if (held.empty()) continue;
          const TripletMaximum maximum = maximise_triplets(held, nullptr);
          parts_[start * lengths_ + k] = {maximum.sigma1, maximum.log_likelihood, true};
        }
      }
    });
  }

  // The part of `length` fixes (one of the table's lengths) from fix `start`.
  [[nodiscard]] const PartMaximum& at(std::size_t start, std::size_t length) const {
    const std::size_t k = length == window_ ? lengths_ - 1 : (length - margin_) / 2;
    return parts_[start * lengths_ + k];
  }

 private:
  [[nodiscard]] std::size_t length_of(std::size_t k) const {
    return k + 1 == lengths_ ? window_ : margin_ + 2 * k;
  }

  std::size_t fixes_;
  std::size_t margin_;
  std::size_t window_;
  std::size_t lengths_;
  std::vector<PartMaximum> parts_;
};

// Sums of s1^2 and counts per fix, window by window in order.
struct Coverage {
  std::vector<double> sum;
  std::vector<std::size_t> count;
};

void combine_windows(const PartTable& table, std::size_t fixes, const DynamicOptions& options,
                     Coverage& coverage, DynamicSigma1& result) {
  const std::size_t window = options.window;
  const std::size_t margin = options.margin;
  const double penalty = std::log(static_cast<double>(window));
  for (std::size_t w = 0; w + window <= fixes; ++w) {
    const PartMaximum& whole = table.at(w, window);
    if (!whole.held) continue;
    ++result.windows_used;
    double best_bic = -2.0 * whole.log_likelihood + penalty;
    std::optional<std::size_t> chosen;
    for (std::size_t k = margin - 1; k <= window - margin; k += 2) {
      const PartMaximum& before = table.at(w, k + 1);
      const PartMaximum& after = table.at(w + k, window - k);
      if (!before.held || !after.held) continue;
      const double bic = -2.0 * (before.log_likelihood + after.log_likelihood) + 2.0 * penalty;
      if (bic < best_bic) {
        best_bic = bic;
        chosen = k;
      }
    }
    const PartMaximum* before = &whole;
    const PartMaximum* after = &whole;
    std::size_t split = window;
    if (chosen) {
      split = *chosen;
      before = &table.at(w, split + 1);
      after = &table.at(w + split, window - split);
      result.breaks.push_back({w, w + split, before->sigma1, after->sigma1});
    }
    for (std::size_t j = margin - 1; j + margin < window; ++j) {
      const double s = j < split ? before->sigma1 : after->sigma1;
      coverage.sum[w + j] += s * s;
      ++coverage.count[w + j];
    }
  }
}

}  // namespace

DynamicSigma1 estimate_dynamic_sigma1(const BridgeTrack& track, const DynamicOptions& options) {
  check_options(options);
  check_track(track, options.window);
  const std::size_t fixes = track.size();
  const PartTable table(track, options);
  DynamicSigma1 result;
  Coverage coverage{std::vector<double>(fixes, 0.0), std::vector<std::size_t>(fixes, 0)};
  combine_windows(table, fixes, options, coverage, result);

  const auto first =
      std::find_if(coverage.count.begin(), coverage.count.end(), [](std::size_t count) { return count > 0; });
  if (first == coverage.count.end())
    throw std::invalid_argument("no window of " + std::to_string(options.window) +
                                " fixes holds a triplet to estimate sigma1 from");
  const auto first_fix = static_cast<std::size_t>(first - coverage.count.begin());
  std::vector<double> variance(fixes);
  for (std::size_t i = 0; i < fixes; ++i) {
    if (coverage.count[i] > 0) {
      variance[i] = coverage.sum[i] / static_cast<double>(coverage.count[i]);
    } else {
      variance[i] = i < first_fix ? coverage.sum[first_fix] / static_cast<double>(*first) : variance[i - 1];
    }
  }
  result.windows = std::move(coverage.count);
  result.sigma1_per_fix.resize(fixes);
  for (std::size_t i = 0; i < fixes; ++i) result.sigma1_per_fix[i] = std::sqrt(variance[i]);
  result.sigma1_per_interval.assign(result.sigma1_per_fix.begin(), result.sigma1_per_fix.end() - 1);
  return result;
}

}  // namespace orvex::range
